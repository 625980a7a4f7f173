#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pelvar::platform {

namespace {

class FileKindCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "file kind"; }
  std::string message(int) const override { return "Not a regular file"; }
  // Compares equal to std::errc::invalid_argument, as EINVAL did.
  std::error_condition default_error_condition(int) const noexcept override {
    return std::errc::invalid_argument;
  }
};

}  // namespace

std::error_code NotRegularFile() {
  static const FileKindCategory category;
  return {1, category};
}

namespace {

class DanglingLinkCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "link"; }
  std::string message(int) const override {
    return "Not writing through a symbolic link that points to nothing";
  }
  std::error_condition default_error_condition(int) const noexcept override {
    return std::errc::no_such_file_or_directory;
  }
};

}  // namespace

std::error_code DanglingLink() {
  static const DanglingLinkCategory category;
  return {1, category};
}

std::error_code ReadHostFile(const std::string& host_path, std::string& out) {
  out.clear();
  // Only a regular file is read: a FIFO or a device could block or never end
  // (O_NONBLOCK keeps the open itself from waiting for a FIFO's writer).
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {errno, std::system_category()};
  // The text is read straight into `out`, sized one byte beyond the file (it
  // doubles while reads fill it).
  size_t capacity = size_t{1} << 14;
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      if (S_ISDIR(st.st_mode)) return {EISDIR, std::system_category()};
      return NotRegularFile();
    }
    if (st.st_size > 0) capacity = static_cast<size_t>(st.st_size) + 1;
  }
  std::error_code result;
  size_t used = 0;
  out.resize(capacity);
  while (true) {
    const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.assign(errno, std::system_category());
      break;
    }
    // Only a read that gives nothing is the end: a single read returns at
    // most about 2 GiB, whatever the size of the file.
    if (n == 0) break;
    used += static_cast<size_t>(n);
    if (used == out.size()) out.resize(out.size() * 2);
  }
  ::close(fd);
  out.resize(result ? 0 : used);
  return result;
}

}  // namespace pelvar::platform
