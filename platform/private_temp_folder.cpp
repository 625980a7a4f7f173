#include "platform/private_temp_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/system_folders.h"

namespace pelvar::platform {

PrivateTempFolder::~PrivateTempFolder() {
  Remove();
}

std::error_code PrivateTempFolder::Create() {
  Remove();
  const std::string templ = HostTempDir() + "pelvar-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) return {errno, std::system_category()};
  path_ = name.data();
  return {};
}

void PrivateTempFolder::Remove() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  path_.clear();
}

}  // namespace pelvar::platform
