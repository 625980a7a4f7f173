#include "platform/absolute_path.h"

#include <algorithm>

namespace pelvar::platform {

std::string PathParent(const std::string& key) {
  const size_t slash = key.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : key.substr(0, slash);
}

std::string PathName(const std::string& key) {
  return key.substr(key.rfind('/') + 1);
}

std::string PathJoin(const std::string& folder, std::string_view name) {
  return (folder == "/" ? folder : folder + "/") + std::string(name);
}

bool PathIsBelow(const std::string& key, const std::string& folder) {
  return key == folder || folder == "/" ||
         (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
          key[folder.size()] == '/');
}

std::error_code StringReader::ReadOnce(uint64_t offset, char* buffer, size_t count, size_t& got) {
  got = 0;
  if (offset >= data_.size()) return {};
  got = std::min<size_t>(count, data_.size() - static_cast<size_t>(offset));
  if (piece_ != 0) got = std::min(got, piece_);
  std::copy_n(data_.data() + offset, got, buffer);
  return {};
}

}  // namespace pelvar::platform
