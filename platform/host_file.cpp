#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pelvar::platform {

std::error_code ReadHostFile(const std::string& host_path, std::string& out) {
  out.clear();
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {errno, std::system_category()};
  // The text is read straight into `out`, sized one byte beyond the file (it
  // doubles while reads fill it).
  size_t capacity = size_t{1} << 14;
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      return {EISDIR, std::system_category()};
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
