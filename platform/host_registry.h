// The registry of this system: the host store, with registry hive files
// mounted below HKEY_LOCAL_MACHINE. A key path below HKEY_LOCAL_MACHINE
// whose first name is a mounted hive's (in any letter case) goes to that
// hive file; every other key lives in the store.
//
// A hive file written to stays open (and locked) with its changes in
// memory. They are committed, the file written whole and atomically, when
// the hive is unloaded, on CommitPending (the end of a run, and before
// another program starts), and otherwise at most every few seconds, at the
// first write after the oldest uncommitted change has waited that long. A
// crash loses at most the uncommitted changes and never damages the hive.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace pelvar::platform {

class HiveFile;

class HostRegistry : public Registry {
 public:
  // `store_path`: host path of the store's database file, created on first
  // use with ProgramFilesDir set to `program_files_dir` (never when
  // `read_only`: then only reads succeed, on a store that exists; a
  // read-only one without a path reads as a new store holds).
  HostRegistry(std::string store_path, std::string program_files_dir, bool read_only = false);

  RegistryResult CreateKey(const RegistryKey& key) override;
  RegistryResult SetValue(const RegistryKey& key, KeyOpen open,
                          const RegistryValue& value) override;
  RegistryResult DeleteKey(const RegistryKey& key, KeyOpen open, std::string_view name) override;
  RegistryResult DeleteValue(const RegistryKey& key, std::string_view name) override;
  RegistryResult GetValue(const RegistryKey& key, std::string_view name,
                          RegistryValue& out) override;
  RegistryResult ListKey(const RegistryKey& key, RegistryKeyContents& out) override;
  // A tree of the store is read in one transaction, a tree of a hive with
  // the hive opened once; the mounts are looked up once.
  RegistryResult WalkTree(const RegistryKey& key, const KeyVisitor& visit) override;
  // Commits every open hive and closes it. The first failure of a commit
  // since the last call is reported (also one made before a program start).
  RegistryResult CommitPending() override;
  // All or nothing: the store's changes make one transaction, and each
  // mounted hive's one commit, made while that transaction is still open
  // (so a hive that cannot be written leaves the store as it was). Hives
  // already open are committed first.
  RegistryResult ApplyChanges(const std::vector<RegistryChange>& changes, size_t& failed) override;
  // CommitPending before another program starts: a failure is kept for the
  // next CommitPending to report.
  void CommitBeforeStart();
  ~HostRegistry() override;
  HostRegistry(const HostRegistry&) = delete;
  HostRegistry& operator=(const HostRegistry&) = delete;

  // How long a change may wait in memory before a write commits it.
  static constexpr std::chrono::milliseconds kCommitAfter{3000};
  void set_commit_after(std::chrono::milliseconds wait) { commit_after_ = wait; }

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
  // Runs `fn` on the mounted hive: the open one, or for a write one opened
  // and kept, or for a read one opened for the call.
  template <typename Fn>
  RegistryResult InHive(const HiveMount& mount, bool write, Fn&& fn);
  // WalkTree in a mounted hive, from the key at `names` below its root;
  // `relative` is that key's path below the key walked.
  RegistryResult WalkHive(const HiveMount& mount, KeyNames names, std::string relative,
                          const KeyVisitor& visit);
  // Commits and closes the open hive of the file, if any.
  RegistryResult CloseHive(const std::string& file);

  struct OpenHive {
    std::unique_ptr<HiveFile> file;
    std::chrono::steady_clock::time_point changed_since;
  };

  RegistryStore store_;
  std::map<std::string, OpenHive> open_;  // by host path
  RegistryResult pending_failure_;
  std::chrono::milliseconds commit_after_ = kCommitAfter;
};

}  // namespace pelvar::platform
