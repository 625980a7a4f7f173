#include "platform/file_system.h"

#include "platform/case_resolver.h"
#include "platform/host_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pelvar::platform {

std::error_code FileReader::ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) {
  for (;;) {
    got = 0;
    const std::error_code ec = ReadOnce(offset, buffer, count, got);
    if (ec != std::errc::interrupted) return ec;
  }
}

std::error_code WriteFully(std::string_view data, const WriteOnceFn& write_once) {
  while (!data.empty()) {
    size_t written = 0;
    const std::error_code ec = write_once(data, written);
    if (ec == std::errc::interrupted) continue;
    if (ec) return ec;
    if (written == 0) return {EIO, std::system_category()};
    data.remove_prefix(std::min(written, data.size()));
  }
  return {};
}

std::error_code FileReader::ReadRest(uint64_t offset, std::string& out) {
  out.clear();
  constexpr size_t kPiece = size_t{1} << 20;
  // Room for one piece more than the size, so that the read that finds the
  // end needs no larger buffer (a copy of the whole content).
  if (offset < size()) out.reserve(static_cast<size_t>(size() - offset) + kPiece);
  // The size may have changed since the file was opened: read until a read
  // gives nothing, however many reads that takes.
  size_t used = 0;
  for (;;) {
    if (out.size() - used < kPiece) out.resize(std::max(out.capacity(), used + kPiece));
    size_t got = 0;
    if (auto ec = ReadAt(offset, out.data() + used, out.size() - used, got)) {
      out.clear();
      return ec;
    }
    if (got == 0) break;
    used += got;
    offset += got;
  }
  out.resize(used);
  return {};
}

std::error_code FileSystem::ReadAll(std::string_view path, std::string& out) {
  out.clear();
  std::unique_ptr<FileReader> reader;
  if (auto ec = OpenRead(path, reader)) return ec;
  return reader->ReadRest(0, out);
}

std::error_code FileSystem::DeleteFileEntry(std::string_view path, bool& found) {
  const FileStatus status = Status(path);
  found = status.exists() && !status.is_folder();
  return found ? Delete(path) : std::error_code();
}

std::error_code FileSystem::WriteAll(std::string_view path, std::string_view content,
                                     Durability durability) {
  std::unique_ptr<FileWriter> writer;
  if (auto ec = OpenReplace(path, durability, writer)) return ec;
  if (auto ec = writer->Write(content)) return ec;
  return writer->Commit();
}

std::string HostPath(std::string_view script_path) {
  CaseResolver resolver;
  return resolver.Resolve(script_path);
}

bool IsFile(std::string_view script_path) {
  struct stat st;
  return ::stat(HostPath(script_path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(std::string_view script_path) {
  struct stat st;
  return ::stat(HostPath(script_path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(std::string_view script_path) {
  struct stat st;
  return ::lstat(HostPath(script_path).c_str(), &st) == 0;
}

std::error_code ReadWholeFile(std::string_view script_path, std::string& out) {
  return ReadHostFile(HostPath(script_path), out);
}

std::string SystemMessage(std::error_code ec) {
  if (ec.category() != std::system_category() && ec.category() != std::generic_category()) {
    return ec.message();
  }
  std::string m = std::strerror(ec.value());
  return m;
}

}  // namespace pelvar::platform
