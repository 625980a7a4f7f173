// The one-line text of a long operation's progress, as the windows and the
// terminal show it: "Copying: 1234 files, 56.7 MB"; an operation that counts
// no files (a download) shows its bytes alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelvar::app {

std::string OperationProgressText(std::string_view operation, uint64_t files, uint64_t bytes);

}  // namespace pelvar::app
