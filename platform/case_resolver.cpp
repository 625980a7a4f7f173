#include "platform/case_resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/absolute_path.h"
#include "platform/letter_case.h"
#include "platform/temp_names.h"

namespace pelvar::platform {

namespace {

bool Lexists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Whether `name` folds to `folded` (a FoldCase result).
bool FoldsTo(std::string_view name, std::string_view folded) {
  if (!IsAscii(name)) return FoldCase(name) == folded;
  if (name.size() != folded.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != folded[i]) return false;
  }
  return true;
}

// Calls `on_name` for each entry of `folder` (without "." and "..").
template <typename OnName>
bool ReadNames(const std::string& folder, OnName on_name) {
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (d == nullptr) return false;
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
    if (!on_name(std::string_view(n))) break;
  }
  ::closedir(d);
  return true;
}

}  // namespace

void CaseResolver::Remember(bool on) {
  remembering_ = on;
  if (!on) listings_.clear();
}

void CaseResolver::AddName(Listing& listing, std::string_view name) {
  listing.names[FoldCase(name)].emplace_back(name);
  if (IsTemporaryFileName(name)) listing.leftovers.emplace_back(name);
}

CaseResolver::Listing* CaseResolver::Remembered(const std::string& folder) {
  const std::string key = FolderKey(folder);
  auto it = listings_.find(key);
  if (it != listings_.end()) return &it->second;
  Listing listing;
  ++folder_reads_;
  const bool ok = ReadNames(key, [&listing](std::string_view n) {
    AddName(listing, n);
    return true;
  });
  if (!ok) return nullptr;
  return &listings_.emplace(key, std::move(listing)).first->second;
}

std::string CaseResolver::FindFolded(const std::string& folder, std::string_view name) {
  if (remembering_) {
    Listing* listing = Remembered(folder);
    if (listing == nullptr) return {};
    auto it = listing->names.find(FoldCase(name));
    return it == listing->names.end() || it->second.size() != 1 ? std::string()
                                                                : it->second.front();
  }
  std::string found;
  bool several = false;
  ++folder_reads_;
  const std::string folded = FoldCase(name);
  ReadNames(FolderKey(folder), [&](std::string_view n) {
    if (!FoldsTo(n, folded)) return true;
    several = !found.empty();
    found = n;
    return !several;
  });
  return several ? std::string() : found;
}

std::string WalkLetterCase(
    std::string_view absolute, const std::function<bool(const std::string& path)>& exists,
    const std::function<std::string(const std::string& folder, const std::string& folded)>&
        find_folded) {
  std::string out = "/";
  size_t pos = 1;
  bool resolving = true;
  while (pos < absolute.size()) {
    size_t next = absolute.find('/', pos);
    if (next == std::string_view::npos) next = absolute.size();
    const std::string_view comp = absolute.substr(pos, next - pos);
    std::string candidate = PathJoin(out, comp);
    if (resolving && !exists(candidate)) {
      const std::string found = find_folded(out, FoldCase(comp));
      if (found.empty()) {
        resolving = false;
      } else {
        candidate = PathJoin(out, found);
      }
    }
    out = std::move(candidate);
    pos = next + 1;
  }
  return out;
}

std::string CaseResolver::Resolve(std::string_view script_path) {
  std::string path(script_path);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const size_t slash = path.rfind('/');
  const bool plain_name = slash != std::string::npos && slash > 0 && slash + 1 < path.size() &&
                          path.find("//") == std::string::npos;
  // A name in a folder whose listing is remembered needs no look at the
  // disk unless only other spellings of it are known.
  if (remembering_ && plain_name) {
    const std::string_view name = std::string_view(path).substr(slash + 1);
    auto listing = listings_.find(FolderKey(path.substr(0, slash)));
    if (listing != listings_.end() && name != "." && name != "..") {
      auto names = listing->second.names.find(FoldCase(name));
      if (names == listing->second.names.end() || names->second.empty() ||
          std::find(names->second.begin(), names->second.end(), name) != names->second.end()) {
        return path;
      }
    }
  }
  if (path.empty() || Lexists(path)) return path;

  // Most often only the last component is missing (a file about to be
  // made): when its folder exists as written, only that name is matched.
  if (plain_name) {
    const std::string folder = path.substr(0, slash);
    const std::string_view name = std::string_view(path).substr(slash + 1);
    if (name != "." && name != ".." && Lexists(folder)) {
      const std::string found = FindFolded(folder, name);
      return found.empty() ? path : folder + "/" + found;
    }
  }

  // Walk the components, matching each missing one against its folder.
  std::string out;
  size_t pos = 0;
  if (path[0] == '/') {
    out = "/";
    pos = 1;
  }
  bool resolving = true;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    const std::string_view comp(path.data() + pos, next - pos);
    const bool has_sep = next < path.size();
    if (!comp.empty()) {
      std::string candidate = out + std::string(comp);
      if (resolving && comp != "." && comp != ".." && !Lexists(candidate)) {
        std::string folder = out;
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const std::string found = FindFolded(folder, comp);
        if (!found.empty()) {
          candidate = out + found;
        } else {
          resolving = false;
        }
      }
      out = std::move(candidate);
    }
    if (has_sep && (out.empty() || out.back() != '/')) out += '/';
    if (!has_sep) break;
    pos = next + 1;
  }
  return out;
}

std::string CaseResolver::ResolveFolderOf(std::string_view script_path) {
  size_t end = script_path.size();
  while (end > 1 && IsSeparator(script_path[end - 1])) --end;
  size_t cut = end;
  while (cut > 0 && !IsSeparator(script_path[cut - 1])) --cut;
  if (cut == 0) return Resolve(script_path);
  std::string name(script_path.substr(cut, end - cut));
  std::string folder = Resolve(script_path.substr(0, cut));
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + name;
}

void CaseResolver::Added(const std::string& folder, const std::string& name) {
  auto it = listings_.find(FolderKey(folder));
  if (it == listings_.end()) return;
  auto& names = it->second.names[FoldCase(name)];
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

void CaseResolver::Removed(const std::string& folder, const std::string& name) {
  auto it = listings_.find(FolderKey(folder));
  if (it == listings_.end()) return;
  auto names = it->second.names.find(FoldCase(name));
  if (names != it->second.names.end()) {
    auto& v = names->second;
    v.erase(std::remove(v.begin(), v.end(), name), v.end());
    if (v.empty()) it->second.names.erase(names);
  }
  auto& left = it->second.leftovers;
  left.erase(std::remove(left.begin(), left.end(), name), left.end());
}

void CaseResolver::ForgetTree(const std::string& folder) {
  const std::string key = FolderKey(folder);
  for (auto it = listings_.begin(); it != listings_.end();) {
    const std::string& k = it->first;
    const bool below =
        k == key || key == "/" ||
        (k.size() > key.size() && k.compare(0, key.size(), key) == 0 && k[key.size()] == '/');
    it = below ? listings_.erase(it) : std::next(it);
  }
}

std::vector<std::string> CaseResolver::Leftovers(const std::string& folder) {
  std::vector<std::string> out;
  if (remembering_) {
    if (Listing* listing = Remembered(folder)) {
      for (const auto& n : listing->leftovers) {
        if (IsLeftoverFileName(n)) out.push_back(n);
      }
    }
    return out;
  }
  ReadNames(FolderKey(folder), [&out](std::string_view n) {
    if (IsLeftoverFileName(n)) out.emplace_back(n);
    return true;
  });
  return out;
}

}  // namespace pelvar::platform
