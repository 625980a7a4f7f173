// The registry of this system: the host store, with registry hive files
// mounted below HKEY_LOCAL_MACHINE. A key path below HKEY_LOCAL_MACHINE
// whose first name is a mounted hive's (in any letter case) goes to that
// hive file; every other key lives in the store.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace pelvar::platform {

class HostRegistry : public Registry {
 public:
  // `store_path`: host path of the store's database file, created on first
  // use with ProgramFilesDir set to `program_files_dir` (never when
  // `read_only`: then only reads succeed, on a store that exists).
  HostRegistry(std::string store_path, std::string program_files_dir, bool read_only = false);

  RegistryResult CreateKey(const RegistryKey& key) override;
  RegistryResult SetValue(const RegistryKey& key, KeyOpen open,
                          const RegistryValue& value) override;
  RegistryResult DeleteKey(const RegistryKey& key, KeyOpen open, std::string_view name) override;
  RegistryResult DeleteValue(const RegistryKey& key, std::string_view name) override;
  RegistryResult GetValue(const RegistryKey& key, std::string_view name,
                          RegistryValue& out) override;
  RegistryResult ListKey(const RegistryKey& key, RegistryKeyContents& out) override;

  // Mounts the hive file (a script path) as HKEY_LOCAL_MACHINE\name. Refused
  // when the file is not a hive, was not closed cleanly, or the name or the
  // file is mounted already. Mounts whose files no longer exist are dropped
  // first.
  RegistryResult LoadHive(std::string_view name, std::string_view file);
  // Removes the mount of that name.
  RegistryResult UnloadHive(std::string_view name);
  RegistryResult Mounts(std::vector<HiveMount>& out) { return store_.Mounts(out); }

  const std::string& store_path() const { return store_.path(); }

 private:
  // Where a key lives: in a mounted hive (names below its root) or in the
  // store (names below the root key).
  struct Route {
    bool in_hive = false;
    HiveMount mount;
    KeyNames names;
  };
  RegistryResult Resolve(const RegistryKey& key, Route& out);

  RegistryStore store_;
};

}  // namespace pelvar::platform
