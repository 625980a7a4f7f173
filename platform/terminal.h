// Whether the program's error stream is a terminal the platform pieces may
// draw on (download progress, the bell).
#pragma once

#include <cstdio>

namespace pelvar::platform {

// The error stream's descriptor when it is a terminal, else -1.
int ErrorTerminalFd();

// True when the stream is connected to a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace pelvar::platform
