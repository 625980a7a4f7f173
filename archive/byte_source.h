// Bytes an archive is read from: its file, or a copy held in memory (a small
// archive decoded from a script needs no scratch file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include <memory>

#include "platform/file_system.h"

namespace pelvar::archive {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads up to `count` bytes at `offset`; `got` is short only at the end.
  virtual std::error_code ReadAt(uint64_t offset, char* buffer, size_t count,
                                 size_t& got) const = 0;
};

class FileSource : public ByteSource {
 public:
  std::error_code Open(platform::FileSystem& files, std::string_view path) {
    return files.OpenRead(path, file_);
  }
  uint64_t size() const override { return file_ ? file_->size() : 0; }
  std::error_code ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) const override;

 private:
  std::unique_ptr<platform::FileReader> file_;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  std::error_code ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) const override;

 private:
  std::string bytes_;
};

}  // namespace pelvar::archive
