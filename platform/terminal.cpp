#include "platform/terminal.h"

#include <unistd.h>

namespace pelvar::platform {

int ErrorTerminalFd() {
  return ::isatty(STDERR_FILENO) == 1 ? STDERR_FILENO : -1;
}

bool IsTerminal(std::FILE* stream) {
  return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}

}  // namespace pelvar::platform
