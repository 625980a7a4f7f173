#include "app/operation_progress.h"

#include <cstdio>

namespace pelvar::app {

std::string OperationProgressText(std::string_view operation, uint64_t files, uint64_t bytes) {
  char amount[64];
  const double mb = static_cast<double>(bytes) / 1e6;
  if (files == 0) {
    std::snprintf(amount, sizeof amount, "%.1f MB", mb);
  } else if (bytes == 0) {
    std::snprintf(amount, sizeof amount, "%llu %s", static_cast<unsigned long long>(files),
                  files == 1 ? "file" : "files");
  } else {
    std::snprintf(amount, sizeof amount, "%llu %s, %.1f MB", static_cast<unsigned long long>(files),
                  files == 1 ? "file" : "files", mb);
  }
  return std::string(operation) + ": " + amount;
}

}  // namespace pelvar::app
