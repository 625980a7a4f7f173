#include "platform/overlay_registry.h"

#include <algorithm>

#include "platform/hive_file.h"
#include "platform/overlay_file_system.h"
#include "platform/registry_text.h"

namespace pelvar::platform {

namespace {

constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";

bool SealedRoot(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine || root == RegistryRoot::kUsers;
}

}  // namespace

OverlayRegistry::OverlayRegistry(Registry& base, std::vector<HiveMount> base_mounts,
                                 OverlayFileSystem& files, std::string scratch_folder,
                                 ChangeJournal* journal)
    : base_(base), files_(files), scratch_(std::move(scratch_folder)), journal_(journal) {
  mounts_.reserve(base_mounts.size() + 8);
  for (HiveMount& m : base_mounts) mounts_.push_back({m.name, m.file, m.file, true});
}

OverlayRegistry::~OverlayRegistry() = default;

const OverlayRegistry::Mount* OverlayRegistry::FindMount(const std::string& utf8_name) const {
  for (const Mount& m : mounts_) {
    if (NamesEqual(m.name, utf8_name)) return &m;
  }
  return nullptr;
}

RegistryResult OverlayRegistry::MakeRoute(const RegistryKey& key, Route& out) {
  out = {};
  out.key = key;
  if (!SplitKeyPath(key.path, out.names)) {
    return {RegistryStatus::kKeyRefused, "invalid key path \"" + key.path + "\""};
  }
  if (out.names.size() > kMaxKeyDepth) {
    return {RegistryStatus::kKeyRefused,
            "the key path is deeper than " + std::to_string(kMaxKeyDepth) + " levels"};
  }
  out.root_display = RootName(key.root);
  if (key.root != RegistryRoot::kLocalMachine || out.names.empty()) return {};
  if (const Mount* m = FindMount(out.names.front())) {
    out.mount = m;
    out.root_display = std::string(kLocalMachine) + "\\" + m->name;
    out.names.erase(out.names.begin());
  } else if (removed_.count(NameFoldText(out.names.front())) != 0) {
    out.gone = true;
  }
  return {};
}

std::string OverlayRegistry::StateKey(const Route& route, size_t depth) const {
  std::string key = route.mount != nullptr ? "H" + route.mount->file
                                           : "S" + std::to_string(static_cast<int>(route.key.root));
  for (size_t i = 0; i < depth; ++i) key += "\\" + NameFoldText(route.names[i]);
  return key;
}

std::string OverlayRegistry::Display(const Route& route, size_t depth) const {
  std::string text = route.root_display;
  for (size_t i = 0; i < depth; ++i) text += "\\" + route.names[i];
  return text;
}

bool OverlayRegistry::BaseShows(const Route& route, size_t depth) const {
  if (route.gone) return false;
  for (size_t i = 0; i <= depth; ++i) {
    const auto it = keys_.find(StateKey(route, i));
    if (it != keys_.end() && (it->second.deleted || it->second.opaque)) return false;
  }
  return true;
}

HiveFile* OverlayRegistry::OpenHive(const std::string& real) {
  auto it = hives_.find(real);
  if (it == hives_.end()) {
    std::unique_ptr<HiveFile> hive;
    if (!HiveFile::Open(real, /*write=*/false, hive).ok()) return nullptr;
    it = hives_.emplace(real, std::move(hive)).first;
  }
  return it->second.get();
}

bool OverlayRegistry::BaseList(const Route& route, size_t depth, RegistryKeyContents& out) {
  out = {};
  if (!BaseShows(route, depth)) return false;
  const std::vector<std::string> names(route.names.begin(),
                                       route.names.begin() + static_cast<long>(depth));
  if (route.mount != nullptr && !route.mount->from_base) {
    HiveFile* hive = OpenHive(route.mount->real);
    HiveFile::Node node = 0;
    return hive != nullptr && hive->FindKey(names, KeyOpen::kExisting, node).ok() &&
           hive->List(node, out).ok();
  }
  RegistryKey key{route.key.root, {}};
  if (route.mount != nullptr) key.path = route.mount->name;
  for (const std::string& n : names) key.path += (key.path.empty() ? "" : "\\") + n;
  return base_.ListKey(key, out).ok();
}

bool OverlayRegistry::Exists(const Route& route, size_t depth) {
  if (route.gone) return false;
  if (depth == 0) return true;
  for (size_t i = 1; i <= depth; ++i) {
    const auto it = keys_.find(StateKey(route, i));
    if (it != keys_.end() && it->second.deleted) return false;
  }
  // Made here, or else the base's when it still shows.
  if (const auto it = keys_.find(StateKey(route, depth)); it != keys_.end() && it->second.opaque) {
    return true;
  }
  RegistryKeyContents ignored;
  return BaseList(route, depth, ignored);
}

RegistryResult OverlayRegistry::Missing(const Route& route) {
  for (size_t i = 1; i <= route.names.size(); ++i) {
    if (!Exists(route, i)) {
      return {RegistryStatus::kKeyNotFound, "no key \"" + route.names[i - 1] + "\""};
    }
  }
  return {};
}

RegistryResult OverlayRegistry::MakeKeys(const Route& route) {
  for (size_t i = 1; i <= route.names.size(); ++i) {
    if (Exists(route, i)) continue;
    const std::string& name = route.names[i - 1];
    if (const std::string problem = KeyNameProblem(name); !problem.empty()) {
      return {RegistryStatus::kKeyRefused, problem};
    }
    if (i == 1 && route.mount == nullptr && SealedRoot(route.key.root)) {
      return {RegistryStatus::kKeyRefused,
              std::string("keys cannot be created directly below ") + RootName(route.key.root)};
    }
    KeyState& state = keys_[StateKey(route, i)];
    state = {};
    state.name = name;
    state.opaque = true;
    if (journal_ != nullptr) journal_->KeyChanged(Display(route, i), false, true);
  }
  return {};
}

std::optional<RegistryValue> OverlayRegistry::Current(const Route& route, const std::string& name) {
  const size_t depth = route.names.size();
  const std::string fold = NameFoldText(name);
  if (const auto it = keys_.find(StateKey(route, depth)); it != keys_.end()) {
    if (const auto v = it->second.values.find(fold); v != it->second.values.end()) {
      return v->second;
    }
  }
  if (!BaseShows(route, depth)) return std::nullopt;
  RegistryKeyContents contents;
  if (!BaseList(route, depth, contents)) return std::nullopt;
  for (RegistryValue& v : contents.values) {
    if (NameFoldText(v.name) == fold) return std::move(v);
  }
  return std::nullopt;
}

RegistryResult OverlayRegistry::CreateKey(const RegistryKey& key) {
  Route route;
  if (auto r = MakeRoute(key, route); !r.ok()) return r;
  if (route.gone) return Missing(route);
  return MakeKeys(route);
}

RegistryResult OverlayRegistry::SetValue(const RegistryKey& key, KeyOpen open,
                                         const RegistryValue& value) {
  Route route;
  if (auto r = MakeRoute(key, route); !r.ok()) return r;
  if (open == KeyOpen::kCreate && !route.gone) {
    if (auto r = MakeKeys(route); !r.ok()) return r;
  } else if (!Exists(route, route.names.size())) {
    return Missing(route);
  }
  RegistryValue named = value;
  named.name = ScriptTextToUtf8(value.name);
  if (route.mount == nullptr && route.names.empty() && SealedRoot(key.root)) {
    return {RegistryStatus::kValueRefused,
            std::string("values cannot be written directly into ") + RootName(key.root)};
  }
  if (const std::string problem = ValueNameProblem(named.name); !problem.empty()) {
    return {RegistryStatus::kValueRefused, problem};
  }
  const std::optional<RegistryValue> before = Current(route, named.name);
  if (before) named.name = before->name;
  KeyState& state = keys_[StateKey(route, route.names.size())];
  const std::string fold = NameFoldText(named.name);
  if (state.values.count(fold) == 0) state.order.push_back(fold);
  state.values[fold] = named;
  if (journal_ != nullptr) {
    journal_->ValueChanged(Display(route, route.names.size()), named.name, before, named);
  }
  return {};
}

RegistryResult OverlayRegistry::DeleteKey(const RegistryKey& key, KeyOpen open,
                                          std::string_view name) {
  RegistryKey parent;
  std::string_view last;
  if (SplitSubkeyPath(key, name, parent, last)) {
    if (open == KeyOpen::kCreate) {
      if (auto r = CreateKey(key); !r.ok()) return r;
    }
    return DeleteKey(parent, KeyOpen::kExisting, last);
  }
  Route route;
  if (auto r = MakeRoute(key, route); !r.ok()) return r;
  const std::string subkey = ScriptTextToUtf8(name);
  if (route.mount == nullptr && key.root == RegistryRoot::kLocalMachine && route.names.empty() &&
      !subkey.empty()) {
    if (const Mount* m = FindMount(subkey)) {
      return {RegistryStatus::kKeyRefused, std::string(kLocalMachine) + "\\" + m->name +
                                               " is a mounted hive; unload it instead"};
    }
  }
  if (open == KeyOpen::kCreate && !route.gone) {
    if (auto r = MakeKeys(route); !r.ok()) return r;
  } else if (!Exists(route, route.names.size())) {
    return Missing(route);
  }
  Route child = route;
  child.names.push_back(subkey);
  if (subkey.empty() || !Exists(child, child.names.size())) {
    return {RegistryStatus::kKeyNotFound, "no key \"" + subkey + "\""};
  }
  if (route.mount == nullptr && route.names.empty() && SealedRoot(key.root)) {
    return {RegistryStatus::kKeyRefused,
            std::string("keys directly below ") + RootName(key.root) + " cannot be deleted"};
  }
  const std::string state_key = StateKey(child, child.names.size());
  keys_.erase(keys_.lower_bound(state_key + "\\"), keys_.lower_bound(state_key + "]"));
  KeyState& state = keys_[state_key];
  state = {};
  state.deleted = true;
  if (journal_ != nullptr) journal_->KeyChanged(Display(child, child.names.size()), true, false);
  return {};
}

RegistryResult OverlayRegistry::DeleteValue(const RegistryKey& key, std::string_view name) {
  Route route;
  if (auto r = MakeRoute(key, route); !r.ok()) return r;
  if (!Exists(route, route.names.size())) return Missing(route);
  const std::string value = ScriptTextToUtf8(name);
  const std::optional<RegistryValue> before = Current(route, value);
  if (!before) return {RegistryStatus::kValueNotFound, "no value \"" + value + "\""};
  KeyState& state = keys_[StateKey(route, route.names.size())];
  state.values[NameFoldText(value)] = std::nullopt;
  if (journal_ != nullptr) {
    journal_->ValueChanged(Display(route, route.names.size()), before->name, before, std::nullopt);
  }
  return {};
}

RegistryResult OverlayRegistry::GetValue(const RegistryKey& key, std::string_view name,
                                         RegistryValue& out) {
  Route route;
  if (auto r = MakeRoute(key, route); !r.ok()) return r;
  if (!Exists(route, route.names.size())) return Missing(route);
  const std::string value = ScriptTextToUtf8(name);
  std::optional<RegistryValue> found = Current(route, value);
  if (!found) return {RegistryStatus::kValueNotFound, "no value \"" + value + "\""};
  out = std::move(*found);
  return {};
}

RegistryResult OverlayRegistry::ListKey(const RegistryKey& key, RegistryKeyContents& out) {
  Route route;
  if (auto r = MakeRoute(key, route); !r.ok()) return r;
  const size_t depth = route.names.size();
  if (!Exists(route, depth)) return Missing(route);
  out = {};
  RegistryKeyContents base;
  if (BaseShows(route, depth)) BaseList(route, depth, base);
  // Subkeys: the base's that still exist, and those made here.
  std::vector<std::string> subkeys;
  Route child = route;
  child.names.push_back({});
  for (const std::string& name : base.subkeys) {
    child.names.back() = name;
    if (Exists(child, depth + 1)) subkeys.push_back(name);
  }
  const std::string prefix = StateKey(route, depth) + "\\";
  for (auto it = keys_.lower_bound(prefix);
       it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    const std::string rest = it->first.substr(prefix.size());
    if (rest.find('\\') != std::string::npos || it->second.deleted || !it->second.opaque) continue;
    const bool listed = std::any_of(subkeys.begin(), subkeys.end(),
                                    [&](const std::string& s) { return NameFoldText(s) == rest; });
    if (!listed) subkeys.push_back(it->second.name);
  }
  if (route.mount == nullptr && key.root == RegistryRoot::kLocalMachine && depth == 0) {
    subkeys.erase(
        std::remove_if(subkeys.begin(), subkeys.end(),
                       [&](const std::string& s) { return removed_.count(NameFoldText(s)) != 0; }),
        subkeys.end());
    for (const Mount& m : mounts_) {
      if (!m.from_base) subkeys.push_back(m.name);
    }
  }
  std::sort(subkeys.begin(), subkeys.end(),
            [](const auto& a, const auto& b) { return NameFoldKey(a) < NameFoldKey(b); });
  out.subkeys = std::move(subkeys);
  // Values: the base's as changed here, then those made here.
  const auto state = keys_.find(StateKey(route, depth));
  for (RegistryValue& v : base.values) {
    if (state != keys_.end()) {
      const auto it = state->second.values.find(NameFoldText(v.name));
      if (it != state->second.values.end()) {
        if (it->second) out.values.push_back(*it->second);
        continue;
      }
    }
    out.values.push_back(std::move(v));
  }
  if (state != keys_.end()) {
    for (const std::string& fold : state->second.order) {
      const auto it = state->second.values.find(fold);
      if (!it->second) continue;
      const bool listed =
          std::any_of(out.values.begin(), out.values.end(),
                      [&](const RegistryValue& v) { return NameFoldText(v.name) == fold; });
      if (!listed) out.values.push_back(*it->second);
    }
  }
  return {};
}

RegistryResult OverlayRegistry::LoadHive(std::string_view name, std::string_view file) {
  const std::string utf8 = ScriptTextToUtf8(name);
  std::string real;
  if (const std::error_code ec = files_.RealFileFor(file, scratch_, real)) {
    return {RegistryStatus::kKeyRefused, "\"" + std::string(file) + "\": " + SystemMessage(ec)};
  }
  if (const std::string problem = HiveMountProblem(real); !problem.empty()) {
    return {RegistryStatus::kKeyRefused, "\"" + std::string(file) + "\": " + problem};
  }
  if (const std::string problem = KeyNameProblem(utf8); !problem.empty()) {
    return {RegistryStatus::kKeyRefused, problem};
  }
  if (const Mount* m = FindMount(utf8)) {
    return {RegistryStatus::kKeyRefused,
            std::string("a hive is already mounted as ") + kLocalMachine + "\\" + m->name};
  }
  const std::string path = files_.Resolve(file);
  for (const Mount& m : mounts_) {
    if (m.file == path) {
      return {RegistryStatus::kKeyRefused,
              std::string("the file is already mounted as ") + kLocalMachine + "\\" + m.name};
    }
  }
  if (removed_.count(NameFoldText(utf8)) == 0) {
    RegistryKeyContents root;
    if (base_.ListKey({RegistryRoot::kLocalMachine, {}}, root).ok()) {
      for (const std::string& s : root.subkeys) {
        if (NamesEqual(s, utf8)) {
          return {RegistryStatus::kKeyRefused,
                  std::string(kLocalMachine) + "\\" + utf8 + " exists already"};
        }
      }
    }
  }
  mounts_.push_back({utf8, path, real, false});
  if (journal_ != nullptr) {
    journal_->Note("reg mount " + std::string(kLocalMachine) + "\\" + utf8 + " from " + path);
  }
  return {};
}

RegistryResult OverlayRegistry::UnloadHive(std::string_view name) {
  const std::string utf8 = ScriptTextToUtf8(name);
  const auto it = std::find_if(mounts_.begin(), mounts_.end(),
                               [&](const Mount& m) { return NamesEqual(m.name, utf8); });
  if (it == mounts_.end()) {
    return {RegistryStatus::kKeyNotFound,
            std::string("no hive is mounted as ") + kLocalMachine + "\\" + utf8};
  }
  const std::string prefix = "H" + it->file;
  const bool changed = std::any_of(keys_.begin(), keys_.end(), [&](const auto& k) {
    return k.first.compare(0, prefix.size(), prefix) == 0 &&
           (k.first.size() == prefix.size() || k.first[prefix.size()] == '\\');
  });
  if (journal_ != nullptr) {
    journal_->Note("reg unmount " + std::string(kLocalMachine) + "\\" + it->name +
                   (changed ? " (its changes are written into " + it->file + ")" : ""));
  }
  if (it->from_base) removed_.insert(NameFoldText(it->name));
  mounts_.erase(it);
  return {};
}

RegistryResult OverlayRegistry::ApplyChanges(const std::vector<RegistryChange>& changes,
                                             size_t& failed) {
  const std::map<std::string, KeyState> keys = keys_;
  std::optional<ChangeJournal> journal;
  if (journal_ != nullptr) journal = *journal_;
  RegistryResult r = Registry::ApplyChanges(changes, failed);
  if (!r.ok()) {
    keys_ = keys;
    if (journal) *journal_ = std::move(*journal);
  }
  return r;
}

}  // namespace pelvar::platform
