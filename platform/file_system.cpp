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
  if (offset < size()) out.reserve(static_cast<size_t>(size() - offset));
  // The size may have changed since the file was opened: read until a read
  // gives nothing, however many reads that takes.
  constexpr size_t kPiece = size_t{1} << 20;
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

unsigned ReplacementFileMode(const std::string& host_target) {
  struct stat st;
  if (::stat(host_target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

AtomicFileWriter::~AtomicFileWriter() {
  Abort();
}

std::error_code AtomicFileWriter::Open(const std::string& host_target) {
  Abort();
  error_.clear();
  target_ = host_target;
  // A link is kept: its target file is the one replaced.
  struct stat lst;
  if (::lstat(target_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = ::realpath(target_.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  // A file without any write permission is read-only: it is not replaced.
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) {
    return {EACCES, std::system_category()};
  }
  const size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::string templ = dir + "." + base + ".XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) return {errno, std::system_category()};
  temp_ = name.data();
  ::fchmod(fd_, ReplacementFileMode(target_));
  buffer_.reserve(1 << 16);
  return {};
}

void AtomicFileWriter::FlushBuffer() {
  size_t off = 0;
  while (off < buffer_.size() && !error_) {
    const ssize_t n = ::write(fd_, buffer_.data() + off, buffer_.size() - off);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = {errno, std::system_category()};
      break;
    }
    off += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void AtomicFileWriter::Write(std::string_view data) {
  if (fd_ < 0 || error_) return;
  if (buffer_.size() + data.size() > (1 << 16)) {
    FlushBuffer();
    if (data.size() >= (1 << 16)) {
      buffer_.assign(data);
      FlushBuffer();
      return;
    }
  }
  buffer_.append(data);
}

std::error_code AtomicFileWriter::Commit() {
  if (fd_ < 0) return error_ ? error_ : std::error_code(EBADF, std::system_category());
  FlushBuffer();
  if (!error_ && ::close(fd_) != 0) error_ = {errno, std::system_category()};
  fd_ = -1;
  if (!error_ && ::rename(temp_.c_str(), target_.c_str()) != 0) {
    error_ = {errno, std::system_category()};
  }
  if (error_) {
    ::unlink(temp_.c_str());
  }
  temp_.clear();
  return error_;
}

void AtomicFileWriter::Abort() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
  buffer_.clear();
}

std::error_code ReplaceFileAtomically(std::string_view script_path, std::string_view content) {
  AtomicFileWriter writer;
  if (auto ec = writer.Open(HostPath(script_path))) return ec;
  writer.Write(content);
  return writer.Commit();
}

}  // namespace pelvar::platform
