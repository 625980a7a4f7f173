#include "platform/registry.h"

namespace pelvar::platform {

const char* RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegistryRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegistryRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kUsers:
      return "HKEY_USERS";
    case RegistryRoot::kCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
  }
  return "";
}

bool SplitSubkeyPath(const RegistryKey& key, std::string_view subkey, RegistryKey& parent,
                     std::string_view& last) {
  const size_t slash = subkey.rfind('\\');
  if (slash == std::string_view::npos || slash == 0) return false;
  parent = key;
  if (!parent.path.empty() && parent.path.back() != '\\') parent.path += '\\';
  parent.path += subkey.substr(0, slash);
  last = subkey.substr(slash + 1);
  return true;
}

}  // namespace pelvar::platform
