// Reading a file named by a host path as it stands: no separator or letter
// case resolution, for paths that a directory listing has just produced.
#pragma once

#include <string>
#include <system_error>

#include "platform/file_system.h"

namespace pelvar::platform {

// Reads the whole file at `host_path` into `out` with as few system calls as
// a file allows. A folder gives EISDIR, any other file that is not a regular
// one (a FIFO, a device, a socket) NotRegularFile(), without waiting on it.
std::error_code ReadHostFile(const std::string& host_path, std::string& out);

}  // namespace pelvar::platform
