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

RegistryResult ApplyChange(Registry& registry, const RegistryChange& change) {
  switch (change.kind) {
    case RegistryChange::Kind::kCreateKey:
      return registry.CreateKey(change.key);
    case RegistryChange::Kind::kSetValue:
      return registry.SetValue(change.key, KeyOpen::kCreate, change.value);
    case RegistryChange::Kind::kDeleteValue: {
      RegistryResult r = registry.DeleteValue(change.key, change.value.name);
      if (r.status == RegistryStatus::kKeyNotFound || r.status == RegistryStatus::kValueNotFound) {
        return {};
      }
      return r;
    }
    case RegistryChange::Kind::kDeleteKey: {
      const size_t slash = change.key.path.rfind('\\');
      if (change.key.path.empty()) {
        return {RegistryStatus::kKeyRefused, "a root key cannot be deleted"};
      }
      const RegistryKey parent{change.key.root, slash == std::string::npos
                                                    ? std::string()
                                                    : change.key.path.substr(0, slash)};
      const std::string name =
          slash == std::string::npos ? change.key.path : change.key.path.substr(slash + 1);
      RegistryResult r = registry.DeleteKey(parent, KeyOpen::kExisting, name);
      if (r.status == RegistryStatus::kKeyNotFound) return {};
      return r;
    }
  }
  return {};
}

namespace {

RegistryResult WalkByListing(Registry& registry, const RegistryKey& key, std::string& relative,
                             const KeyVisitor& visit) {
  RegistryKeyContents contents;
  if (auto r = registry.ListKey(key, contents); !r.ok()) return r;
  std::vector<std::string> subkeys = std::move(contents.subkeys);
  contents.subkeys = subkeys;
  if (auto r = visit(relative, contents); !r.ok()) return r;
  const size_t length = relative.size();
  for (const std::string& name : subkeys) {
    const RegistryKey sub{key.root, key.path.empty() ? name : key.path + "\\" + name};
    if (length > 0) relative += '\\';
    relative += name;
    if (auto r = WalkByListing(registry, sub, relative, visit); !r.ok()) return r;
    relative.resize(length);
  }
  return {};
}

}  // namespace

RegistryResult Registry::WalkTree(const RegistryKey& key, const KeyVisitor& visit) {
  std::string relative;
  return WalkByListing(*this, key, relative, visit);
}

RegistryResult Registry::ApplyChanges(const std::vector<RegistryChange>& changes, size_t& failed) {
  for (size_t i = 0; i < changes.size(); ++i) {
    if (RegistryResult r = ApplyChange(*this, changes[i]); !r.ok()) {
      failed = i;
      return r;
    }
  }
  return {};
}

}  // namespace pelvar::platform
