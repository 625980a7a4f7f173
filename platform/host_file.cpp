#include "platform/host_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace pelvar::platform {

std::error_code ReadHostFile(const std::string& host_path, std::string& out) {
  out.clear();
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {errno, std::system_category()};
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return {err, std::system_category()};
    }
    out.append(buf, static_cast<size_t>(n));
    // A regular file's short read is its end; the next read would return 0.
    if (static_cast<size_t>(n) < sizeof buf) break;
  }
  ::close(fd);
  return {};
}

}  // namespace pelvar::platform
