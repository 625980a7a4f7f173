// Files read and written by offset and in large blocks, for data that is
// streamed rather than held whole (archives and their entries). Paths are
// script paths; the host path is resolved once when the file is opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace pelvar::platform {

// A file opened for reading; others may keep reading it meanwhile.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens an existing regular file. A folder gives EISDIR.
  std::error_code Open(std::string_view script_path);
  bool is_open() const { return fd_ >= 0; }
  // Size when opened.
  uint64_t size() const { return size_; }
  // Reads up to `count` bytes at `offset` into `buffer`; `got` is short only
  // at the end of the file.
  std::error_code ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) const;
  void Close();

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// A new file written in place of a target: the bytes go to a fresh file with
// a unique name beside the target, which Commit renames over the target (an
// existing target keeps its permissions). Until then the target is untouched;
// Abort, or destruction without Commit, removes the new file.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::error_code Open(std::string_view script_target);
  bool is_open() const { return fd_ >= 0; }
  // Appends bytes at the current end.
  std::error_code Write(std::string_view data);
  // Cuts the file to `size` bytes (not more than written); writing goes on there.
  std::error_code Truncate(uint64_t size);
  // Bytes written so far.
  uint64_t size() const { return size_; }
  // Closes the file and renames it over the target.
  std::error_code Commit();
  void Abort();

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string temp_;
  std::string target_;
};

}  // namespace pelvar::platform
