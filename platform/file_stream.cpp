#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/host_file.h"

namespace pelvar::platform {

namespace {

std::error_code LastError() {
  return {errno, std::system_category()};
}

}  // namespace

InputFile::~InputFile() {
  Close();
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

std::error_code InputFile::Open(std::string_view script_path) {
  Close();
  const std::string host = HostPath(script_path);
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused
  // below like every other file that is not a regular one.
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return LastError();
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const std::error_code ec = LastError();
    ::close(fd);
    return ec;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? std::error_code(EISDIR, std::system_category()) : NotRegularFile();
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return {};
}

std::error_code InputFile::ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) const {
  got = 0;
  if (fd_ < 0) return {EBADF, std::system_category()};
  while (got < count) {
    const ssize_t n = ::pread(fd_, buffer + got, count - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return {};
}

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

OutputFile::~OutputFile() {
  Abort();
}

std::error_code OutputFile::Open(std::string_view script_target) {
  Abort();
  target_ = HostPath(script_target);
  const std::string templ = target_ + ".XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return LastError();
  ::fchmod(fd, static_cast<mode_t>(ReplacementFileMode(target_)));
  fd_ = fd;
  temp_ = name.data();
  size_ = 0;
  return {};
}

std::error_code OutputFile::Write(std::string_view data) {
  if (fd_ < 0) return {EBADF, std::system_category()};
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    done += static_cast<size_t>(n);
  }
  size_ += data.size();
  return {};
}

std::error_code OutputFile::Truncate(uint64_t size) {
  if (fd_ < 0) return {EBADF, std::system_category()};
  if (size > size_) return {EINVAL, std::system_category()};
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return LastError();
  if (::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) return LastError();
  size_ = size;
  return {};
}

std::error_code OutputFile::Commit() {
  if (fd_ < 0) return {EBADF, std::system_category()};
  std::error_code ec;
  if (::close(fd_) != 0) ec = LastError();
  fd_ = -1;
  if (!ec && ::rename(temp_.c_str(), target_.c_str()) != 0) ec = LastError();
  if (ec) ::unlink(temp_.c_str());
  temp_.clear();
  return ec;
}

void OutputFile::Abort() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  size_ = 0;
}

}  // namespace pelvar::platform
