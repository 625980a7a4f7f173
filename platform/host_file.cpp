#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pelvar::platform {

namespace {

// A refusal of our own: its message, and the system error it compares equal
// to (so that callers testing for that error still see it).
class RefusalCategory : public std::error_category {
 public:
  RefusalCategory(const char* name, const char* message, std::errc like)
      : name_(name), message_(message), like_(like) {}
  const char* name() const noexcept override { return name_; }
  std::string message(int) const override { return message_; }
  std::error_condition default_error_condition(int) const noexcept override { return like_; }

 private:
  const char* name_;
  const char* message_;
  std::errc like_;
};

}  // namespace

std::error_code NotRegularFile() {
  // Compares equal to std::errc::invalid_argument, as EINVAL did.
  static const RefusalCategory category("file kind", "Not a regular file",
                                        std::errc::invalid_argument);
  return {1, category};
}

std::error_code DanglingLink() {
  static const RefusalCategory category(
      "link", "Not writing through a symbolic link that points to nothing",
      std::errc::no_such_file_or_directory);
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
