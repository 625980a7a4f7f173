#include "platform/folder_seed.h"

#include <filesystem>

namespace pelvar::platform {

bool SeedFolder(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(to, ec);
  if (ec) return false;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
  return !ec;
}

}  // namespace pelvar::platform
