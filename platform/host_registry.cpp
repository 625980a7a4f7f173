#include "platform/host_registry.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/file_system.h"
#include "platform/hive_file.h"
#include "platform/registry_text.h"

namespace pelvar::platform {

namespace {

// The absolute host path of a script path.
std::string AbsoluteHostPath(std::string_view script_path) {
  const std::string host = HostPath(script_path);
  char buf[PATH_MAX];
  if (::realpath(host.c_str(), buf) != nullptr) return buf;
  return host;
}

// One change in an open hive; `names` are the key's below the hive's root.
RegistryResult ChangeInHive(HiveFile& hive, const RegistryChange& change,
                            const std::vector<std::string>& names) {
  HiveFile::Node node = 0;
  switch (change.kind) {
    case RegistryChange::Kind::kCreateKey:
      return hive.FindKey(names, KeyOpen::kCreate, node);
    case RegistryChange::Kind::kSetValue: {
      if (auto r = hive.FindKey(names, KeyOpen::kCreate, node); !r.ok()) return r;
      RegistryValue named = change.value;
      named.name = ScriptTextToUtf8(change.value.name);
      return hive.SetValue(node, named);
    }
    case RegistryChange::Kind::kDeleteValue: {
      RegistryResult r = hive.FindKey(names, KeyOpen::kExisting, node);
      if (r.ok()) r = hive.DeleteValue(node, ScriptTextToUtf8(change.value.name));
      const bool absent =
          r.status == RegistryStatus::kKeyNotFound || r.status == RegistryStatus::kValueNotFound;
      return absent ? RegistryResult{} : r;
    }
    case RegistryChange::Kind::kDeleteKey: {
      if (names.empty()) {
        return {RegistryStatus::kKeyRefused,
                "the root key of a mounted hive cannot be deleted; unload the hive instead"};
      }
      const std::vector<std::string> parent(names.begin(), names.end() - 1);
      RegistryResult r = hive.FindKey(parent, KeyOpen::kExisting, node);
      if (r.ok()) r = hive.DeleteSubkey(node, names.back());
      return r.status == RegistryStatus::kKeyNotFound ? RegistryResult{} : r;
    }
  }
  return {};
}

}  // namespace

HostRegistry::HostRegistry(std::string store_path, std::string program_files_dir, bool read_only)
    : store_(std::move(store_path), std::move(program_files_dir), read_only) {}

HostRegistry::~HostRegistry() {
  CommitPending();
}

template <typename Fn>
RegistryResult HostRegistry::InHive(const HiveMount& mount, bool write, Fn&& fn) {
  auto it = open_.find(mount.file);
  if (it == open_.end()) {
    std::unique_ptr<HiveFile> hive;
    if (auto r = HiveFile::Open(mount.file, write, hive); !r.ok()) return r;
    if (!write) return fn(*hive);
    it = open_.emplace(mount.file, OpenHive{std::move(hive), {}}).first;
  }
  OpenHive& open = it->second;
  const bool was_changed = open.file->changed();
  RegistryResult result = fn(*open.file);
  if (!open.file->changed()) return result;
  const auto now = std::chrono::steady_clock::now();
  if (!was_changed) open.changed_since = now;
  if (now - open.changed_since >= commit_after_) {
    // A commit on the way is not this write's outcome. A failed one keeps
    // the changes in memory for the next commit, whose outcome the unload
    // or the run's end reports; it is tried again after the same wait.
    if (!open.file->Commit().ok()) open.changed_since = now;
  }
  return result;
}

RegistryResult HostRegistry::CloseHive(const std::string& file) {
  const auto it = open_.find(file);
  if (it == open_.end()) return {};
  RegistryResult r = it->second.file->Commit(/*keep_open=*/false);
  open_.erase(it);
  return r;
}

void HostRegistry::CommitBeforeStart() {
  RegistryResult held = std::move(pending_failure_);
  pending_failure_ = {};
  RegistryResult r = CommitPending();
  pending_failure_ = held.ok() ? std::move(r) : std::move(held);
}

RegistryResult HostRegistry::CommitPending() {
  RegistryResult first = std::move(pending_failure_);
  pending_failure_ = {};
  while (!open_.empty()) {
    RegistryResult r = CloseHive(open_.begin()->first);
    if (first.ok() && !r.ok()) first = std::move(r);
  }
  return first;
}

RegistryResult HostRegistry::Resolve(const RegistryKey& key, Route& out) {
  out = {};
  if (!SplitKeyPath(key.path, out.names)) {
    return {RegistryStatus::kKeyRefused, "invalid key path \"" + key.path + "\""};
  }
  // As on Windows, a key lies at most 512 levels below its root.
  if (out.names.size() > kMaxKeyDepth) {
    return {RegistryStatus::kKeyRefused,
            "the key path is deeper than " + std::to_string(kMaxKeyDepth) + " levels"};
  }
  if (key.root != RegistryRoot::kLocalMachine || out.names.empty()) return {};
  bool found = false;
  if (auto r = store_.FindMount(out.names.front(), out.mount, found); !r.ok()) return r;
  if (found) {
    out.in_hive = true;
    out.names.erase(out.names.begin());
  }
  return {};
}

RegistryResult HostRegistry::CreateKey(const RegistryKey& key) {
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  if (!route.in_hive) return store_.CreateKey(key.root, route.names);
  return InHive(route.mount, true, [&](HiveFile& hive) {
    HiveFile::Node node = 0;
    return hive.FindKey(route.names, KeyOpen::kCreate, node);
  });
}

RegistryResult HostRegistry::SetValue(const RegistryKey& key, KeyOpen open,
                                      const RegistryValue& value) {
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  RegistryValue named = value;
  named.name = ScriptTextToUtf8(value.name);
  if (!route.in_hive) return store_.SetValue(key.root, route.names, open, named);
  return InHive(route.mount, true, [&](HiveFile& hive) {
    HiveFile::Node node = 0;
    if (auto r = hive.FindKey(route.names, open, node); !r.ok()) return r;
    return hive.SetValue(node, named);
  });
}

RegistryResult HostRegistry::DeleteKey(const RegistryKey& key, KeyOpen open,
                                       std::string_view name) {
  // A subkey given as a path ("Vendor\App") is deleted in the key above it;
  // only `key` itself is created, never the keys on the way to the subkey.
  RegistryKey parent;
  std::string_view last;
  if (SplitSubkeyPath(key, name, parent, last)) {
    if (open == KeyOpen::kCreate) {
      if (auto r = CreateKey(key); !r.ok()) return r;
    }
    return DeleteKey(parent, KeyOpen::kExisting, last);
  }
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  const std::string subkey = ScriptTextToUtf8(name);
  if (!route.in_hive) {
    if (key.root == RegistryRoot::kLocalMachine && route.names.empty() && !subkey.empty()) {
      HiveMount mount;
      bool found = false;
      if (auto r = store_.FindMount(subkey, mount, found); !r.ok()) return r;
      if (found) {
        return {RegistryStatus::kKeyRefused,
                "HKEY_LOCAL_MACHINE\\" + mount.name + " is a mounted hive; unload it instead"};
      }
    }
    return store_.DeleteKey(key.root, route.names, open, subkey);
  }
  // Keys made on the way stay, also when there was nothing to delete.
  return InHive(route.mount, true, [&](HiveFile& hive) {
    HiveFile::Node node = 0;
    if (auto r = hive.FindKey(route.names, open, node); !r.ok()) return r;
    return hive.DeleteSubkey(node, subkey);
  });
}

RegistryResult HostRegistry::DeleteValue(const RegistryKey& key, std::string_view name) {
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  const std::string value = ScriptTextToUtf8(name);
  if (!route.in_hive) return store_.DeleteValue(key.root, route.names, value);
  return InHive(route.mount, true, [&](HiveFile& hive) {
    HiveFile::Node node = 0;
    if (auto r = hive.FindKey(route.names, KeyOpen::kExisting, node); !r.ok()) return r;
    return hive.DeleteValue(node, value);
  });
}

RegistryResult HostRegistry::GetValue(const RegistryKey& key, std::string_view name,
                                      RegistryValue& out) {
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  const std::string value = ScriptTextToUtf8(name);
  if (!route.in_hive) return store_.GetValue(key.root, route.names, value, out);
  return InHive(route.mount, false, [&](HiveFile& hive) {
    HiveFile::Node node = 0;
    if (auto r = hive.FindKey(route.names, KeyOpen::kExisting, node); !r.ok()) return r;
    return hive.GetValue(node, value, out);
  });
}

RegistryResult HostRegistry::ListKey(const RegistryKey& key, RegistryKeyContents& out) {
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  if (route.in_hive) {
    return InHive(route.mount, false, [&](HiveFile& hive) {
      HiveFile::Node node = 0;
      if (auto r = hive.FindKey(route.names, KeyOpen::kExisting, node); !r.ok()) return r;
      return hive.List(node, out);
    });
  }
  if (auto r = store_.ListKey(key.root, route.names, out); !r.ok()) return r;
  if (key.root == RegistryRoot::kLocalMachine && route.names.empty()) {
    // Mounted hives are keys of HKEY_LOCAL_MACHINE too.
    std::vector<HiveMount> mounts;
    if (auto r = store_.Mounts(mounts); !r.ok()) return r;
    for (HiveMount& m : mounts) out.subkeys.push_back(std::move(m.name));
    std::sort(out.subkeys.begin(), out.subkeys.end(),
              [](const auto& a, const auto& b) { return NameFoldKey(a) < NameFoldKey(b); });
  }
  return {};
}

RegistryResult HostRegistry::WalkHive(const HiveMount& mount, KeyNames names, std::string relative,
                                      const KeyVisitor& visit) {
  return InHive(mount, false, [&](HiveFile& hive) {
    // Depth first; `names` and `relative` grow and shrink with the walk.
    const std::function<RegistryResult()> walk = [&]() -> RegistryResult {
      HiveFile::Node node = 0;
      if (auto r = hive.FindKey(names, KeyOpen::kExisting, node); !r.ok()) return r;
      RegistryKeyContents contents;
      if (auto r = hive.List(node, contents); !r.ok()) return r;
      std::vector<std::string> subkeys = contents.subkeys;
      if (auto r = visit(relative, contents); !r.ok()) return r;
      const size_t length = relative.size();
      for (std::string& name : subkeys) {
        if (length > 0) relative += '\\';
        relative += name;
        names.push_back(std::move(name));
        if (auto r = walk(); !r.ok()) return r;
        names.pop_back();
        relative.resize(length);
      }
      return RegistryResult{};
    };
    return walk();
  });
}

RegistryResult HostRegistry::WalkTree(const RegistryKey& key, const KeyVisitor& visit) {
  Route route;
  if (auto r = Resolve(key, route); !r.ok()) return r;
  if (route.in_hive) return WalkHive(route.mount, std::move(route.names), "", visit);
  if (key.root != RegistryRoot::kLocalMachine || !route.names.empty()) {
    return store_.WalkTree(key.root, route.names, visit);
  }
  // HKEY_LOCAL_MACHINE itself: its keys in the store and the mounted hives,
  // in the one order of its listing.
  RegistryKeyContents contents;
  if (auto r = ListKey(key, contents); !r.ok()) return r;
  std::vector<HiveMount> mounts;
  if (auto r = store_.Mounts(mounts); !r.ok()) return r;
  const std::vector<std::string> subkeys = contents.subkeys;
  if (auto r = visit("", contents); !r.ok()) return r;
  for (const std::string& name : subkeys) {
    const auto mount = std::find_if(mounts.begin(), mounts.end(),
                                    [&](const HiveMount& m) { return m.name == name; });
    if (mount != mounts.end()) {
      if (auto r = WalkHive(*mount, {}, name, visit); !r.ok()) return r;
      continue;
    }
    const RegistryResult r = store_.WalkTree(
        key.root, {name}, [&](std::string_view relative, RegistryKeyContents& below) {
          std::string path = name;
          if (!relative.empty()) path.append("\\").append(relative);
          return visit(path, below);
        });
    if (!r.ok()) return r;
  }
  return {};
}

RegistryResult HostRegistry::LoadHive(std::string_view name, std::string_view file) {
  const std::string host = AbsoluteHostPath(file);
  // A mount whose file is gone (a target folder deleted while its hive was
  // mounted) would refuse its name for ever: it is dropped.
  std::vector<HiveMount> mounts;
  if (auto r = store_.Mounts(mounts); !r.ok()) return r;
  for (const HiveMount& m : mounts) {
    if (::access(m.file.c_str(), F_OK) != 0 && errno == ENOENT) (void)store_.RemoveMount(m.name);
  }
  if (const std::string problem = HiveMountProblem(host); !problem.empty()) {
    return {RegistryStatus::kKeyRefused, "\"" + std::string(file) + "\": " + problem};
  }
  return store_.AddMount({ScriptTextToUtf8(name), host});
}

RegistryResult HostRegistry::UnloadHive(std::string_view name) {
  HiveMount mount;
  bool found = false;
  if (auto r = store_.FindMount(ScriptTextToUtf8(name), mount, found); !r.ok()) return r;
  // The hive's changes are written before it is let go; a hive whose
  // changes cannot be written stays mounted.
  if (found) {
    if (auto r = CloseHive(mount.file); !r.ok()) return r;
  }
  return store_.RemoveMount(ScriptTextToUtf8(name));
}

RegistryResult HostRegistry::ApplyChanges(const std::vector<RegistryChange>& changes,
                                          size_t& failed) {
  // The hives' changes are made in memory first, each hive opened afresh
  // (after what an earlier command left open is committed).
  std::map<std::string, std::unique_ptr<HiveFile>> hives;  // by host path
  std::vector<bool> in_store(changes.size(), true);
  for (size_t i = 0; i < changes.size(); ++i) {
    failed = i;
    Route route;
    if (auto r = Resolve(changes[i].key, route); !r.ok()) return r;
    if (!route.in_hive) continue;
    in_store[i] = false;
    auto it = hives.find(route.mount.file);
    if (it == hives.end()) {
      if (auto r = CloseHive(route.mount.file); !r.ok()) return r;
      std::unique_ptr<HiveFile> hive;
      if (auto r = HiveFile::Open(route.mount.file, /*write=*/true, hive); !r.ok()) return r;
      it = hives.emplace(route.mount.file, std::move(hive)).first;
    }
    if (auto r = ChangeInHive(*it->second, changes[i], route.names); !r.ok()) return r;
  }
  return store_.InOneTransaction([&]() -> RegistryResult {
    for (size_t i = 0; i < changes.size(); ++i) {
      if (!in_store[i]) continue;
      failed = i;
      if (auto r = ApplyChange(*this, changes[i]); !r.ok()) return r;
    }
    failed = changes.size();
    for (auto& [file, hive] : hives) {
      if (auto r = hive->Commit(/*keep_open=*/false); !r.ok()) return r;
    }
    return {};
  });
}

}  // namespace pelvar::platform
