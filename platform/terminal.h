// Whether the program's error stream is a terminal the platform pieces may
// draw on (download progress, the bell).
#pragma once

namespace pelvar::platform {

// The error stream's descriptor when it is a terminal, else -1.
int ErrorTerminalFd();

}  // namespace pelvar::platform
