// A registry that reads another one (the real one) and changes nothing in
// it: writes are kept in memory on top of it, later reads see them, and
// every change is told to a change journal with the value before and after.
// Hive files can be mounted and unmounted in it as the registry tool would:
// a mounted file is read as it stands in the overlay file system (a hive
// copied earlier in the same run is read from its source), never written.
//
// The store's rules are kept: no keys or values directly below
// HKEY_LOCAL_MACHINE and HKEY_USERS, the names the system accepts, keys at
// most 512 levels deep.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/change_journal.h"
#include "platform/registry.h"
#include "platform/registry_store.h"

namespace pelvar::platform {

class HiveFile;
class OverlayFileSystem;

class OverlayRegistry : public Registry {
 public:
  // `base` is only read; `base_mounts` are the hives mounted in it. Hive
  // files named by LoadHive are looked up in `files`; one whose bytes exist
  // only there is written into `scratch_folder` (a private host folder) to
  // be read.
  OverlayRegistry(Registry& base, std::vector<HiveMount> base_mounts, OverlayFileSystem& files,
                  std::string scratch_folder, ChangeJournal* journal);
  ~OverlayRegistry() override;
  OverlayRegistry(const OverlayRegistry&) = delete;
  OverlayRegistry& operator=(const OverlayRegistry&) = delete;

  RegistryResult CreateKey(const RegistryKey& key) override;
  RegistryResult SetValue(const RegistryKey& key, KeyOpen open,
                          const RegistryValue& value) override;
  RegistryResult DeleteKey(const RegistryKey& key, KeyOpen open, std::string_view name) override;
  RegistryResult DeleteValue(const RegistryKey& key, std::string_view name) override;
  RegistryResult GetValue(const RegistryKey& key, std::string_view name,
                          RegistryValue& out) override;
  RegistryResult ListKey(const RegistryKey& key, RegistryKeyContents& out) override;
  // All or nothing: after a failure the overlay and the journal are as
  // they were before.
  RegistryResult ApplyChanges(const std::vector<RegistryChange>& changes, size_t& failed) override;

  // Mounts the hive file (a script path) as HKEY_LOCAL_MACHINE\name, with the
  // refusals of the real registry.
  RegistryResult LoadHive(std::string_view name, std::string_view file);
  RegistryResult UnloadHive(std::string_view name);

 private:
  struct Mount {
    std::string name;  // UTF-8
    std::string file;  // the hive file's path in the overlay file system
    std::string real;  // a host file holding its bytes
    bool from_base = false;
  };
  // Where a key lives: the store, or a mounted hive (names below its root).
  struct Route {
    RegistryKey key;
    std::vector<std::string> names;  // UTF-8, below the root or the hive
    std::string root_display;        // "HKEY_...", or "HKEY_LOCAL_MACHINE\\hive"
    const Mount* mount = nullptr;
    bool gone = false;  // below a hive of the base that was unloaded
  };
  struct KeyState {
    std::string name;  // as made
    bool deleted = false;
    bool opaque = false;             // made here: the base shows nothing at or below it
    std::vector<std::string> order;  // folded names of values made here
    std::map<std::string, std::optional<RegistryValue>> values;  // by folded name
  };

  RegistryResult MakeRoute(const RegistryKey& key, Route& out);
  const Mount* FindMount(const std::string& utf8_name) const;
  std::string StateKey(const Route& route, size_t depth) const;
  std::string Display(const Route& route, size_t depth) const;
  // Whether the key at the first `depth` names exists.
  bool Exists(const Route& route, size_t depth);
  // Whether the base's content at the first `depth` names shows.
  bool BaseShows(const Route& route, size_t depth) const;
  bool BaseList(const Route& route, size_t depth, RegistryKeyContents& out);
  std::optional<RegistryValue> Current(const Route& route, const std::string& name);
  // The first missing name's "no key" result when the key does not exist.
  RegistryResult Missing(const Route& route);
  RegistryResult MakeKeys(const Route& route);
  HiveFile* OpenHive(const std::string& real);

  Registry& base_;
  OverlayFileSystem& files_;
  std::string scratch_;
  ChangeJournal* journal_;
  std::vector<Mount> mounts_;
  std::set<std::string> removed_;  // folded names of the base's mounts unloaded
  std::map<std::string, KeyState> keys_;
  std::map<std::string, std::unique_ptr<HiveFile>> hives_;
};

}  // namespace pelvar::platform
