#include "commands/file_finder.h"

#include <algorithm>
#include <set>

#include "engine/text.h"
#include "platform/directory_listing.h"
#include "platform/letter_case.h"
#include "platform/posix_file_system.h"

namespace pelvar::commands {

namespace {

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back());
}

// Wildcard match with backtracking over the last "*", over bytes (folded
// here, A-Z) or over the characters of folded names (already folded).
template <typename Text, typename Fold>
bool WildcardMatch(const Text& name, const Text& mask, Fold fold) {
  size_t n = 0;
  size_t m = 0;
  size_t star = std::string_view::npos;
  size_t star_n = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || fold(mask[m]) == fold(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      star = m++;
      star_n = n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool MaskMatch(std::string_view name, std::string_view mask) {
  if (IsAscii(name) && IsAscii(mask)) {
    return WildcardMatch(name, mask, [](char c) { return AsciiLower(c); });
  }
  return WildcardMatch(platform::FoldedCharacters(name), platform::FoldedCharacters(mask),
                       [](char32_t c) { return c; });
}

// Keys a path by its collation order. Names that differ only in letter case
// collate alike; on this file system they are separate entries, kept in the
// order of their bytes.
struct SortedEntry {
  std::string key;
  std::string path;
  bool operator<(const SortedEntry& other) const {
    const int c = key.compare(other.key);
    return c != 0 ? c < 0 : path < other.path;
  }
};

}  // namespace

std::vector<std::string> SplitMasks(const std::string& filter) {
  std::vector<std::string> masks;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t end = filter.find(';', start);
    if (end == std::string::npos) end = filter.size();
    std::string_view mask(filter.data() + start, end - start);
    while (!mask.empty() && mask.front() == ' ') mask.remove_prefix(1);
    while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
    if (!mask.empty()) masks.emplace_back(mask);
    start = end + 1;
  }
  return masks;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  if (!mask.empty() && mask.back() == '.') {
    if (name.find('.') != std::string_view::npos) return false;
    mask.remove_suffix(1);
  }
  return MaskMatch(name, mask);
}

void FileFinder::SearchFolder(const std::string& folder, const std::vector<std::string>& masks,
                              std::vector<std::string>* subfolders) {
  std::vector<platform::DirectoryEntry> entries;
  platform::FileSystem& fs = files != nullptr ? *files : platform::ThreadFileSystem();
  if (fs.List(folder, entries)) return;
  if (subfolders != nullptr) {
    for (const auto& e : entries) {
      if (e.is_directory && !e.is_link) subfolders->push_back(folder + e.name);
    }
  }
  const bool allow_hidden = (attributes & kFfHidden) != 0;
  const bool allow_dirs = (attributes & kFfDirectory) != 0;
  auto path_of = [&folder](const platform::DirectoryEntry& e) {
    return e.is_directory ? folder + e.name + "\\" : folder + e.name;
  };
  if (!sorted) {
    for (const auto& mask : masks) {
      for (const auto& e : entries) {
        if ((e.hidden && !allow_hidden) || (e.is_directory && !allow_dirs)) continue;
        if (MatchesMask(e.name, mask)) results_.push_back(path_of(e));
      }
    }
    return;
  }
  // Every path found here shares the folder, so the names (with a folder's
  // "\\") decide the order. Names of printable ASCII take the cheap key;
  // the collator's key is made only when a name needs it.
  std::vector<SortedEntry> found;
  for (const auto& mask : masks) {
    for (const auto& e : entries) {
      if ((e.hidden && !allow_hidden) || (e.is_directory && !allow_dirs)) continue;
      if (!MatchesMask(e.name, mask)) continue;
      found.push_back(SortedEntry{e.is_directory ? e.name + "\\" : e.name, path_of(e)});
    }
  }
  const platform::PathCollator& collator = platform::DefaultPathCollator();
  bool ascii = true;
  std::string key;
  for (auto& f : found) {
    if (!collator.AsciiKey(f.key, key)) {
      ascii = false;
      break;
    }
    f.key.swap(key);
  }
  if (!ascii) {
    for (auto& f : found) {
      f.key = f.path.substr(folder.size());
      f.key = collator.SortKey(f.key);
    }
  }
  std::sort(found.begin(), found.end());
  // The same entry matched by two masks is listed once.
  const auto last =
      std::unique(found.begin(), found.end(),
                  [](const SortedEntry& a, const SortedEntry& b) { return a.path == b.path; });
  for (auto it = found.begin(); it != last; ++it) results_.push_back(std::move(it->path));
}

void FileFinder::Execute() {
  results_.clear();
  if (directory.empty()) return;
  const std::vector<std::string> masks = SplitMasks(filter);
  std::string start = directory;
  if (!EndsWithSeparator(start)) start += '\\';
  if (!recurse) {
    SearchFolder(start, masks, nullptr);
    return;
  }
  std::vector<std::string> subfolders;
  if (!sorted) {
    // Breadth-first in the file system's order.
    std::vector<std::string> pending{start};
    for (size_t i = 0; i < pending.size(); ++i) {
      std::string folder = pending[i];
      if (!EndsWithSeparator(folder)) folder += '\\';
      subfolders.clear();
      SearchFolder(folder, masks, &subfolders);
      pending.insert(pending.end(), subfolders.begin(), subfolders.end());
    }
    return;
  }
  // Depth-first in name order: the smallest pending path is searched next.
  const platform::PathCollator& collator = platform::DefaultPathCollator();
  std::multiset<SortedEntry> pending{SortedEntry{collator.SortKey(start), start}};
  while (!pending.empty()) {
    std::string folder = pending.begin()->path;
    pending.erase(pending.begin());
    if (!EndsWithSeparator(folder)) folder += '\\';
    subfolders.clear();
    SearchFolder(folder, masks, &subfolders);
    for (auto& sub : subfolders) {
      std::string key = collator.SortKey(sub);
      pending.insert(SortedEntry{std::move(key), std::move(sub)});
    }
  }
}

bool FindMatchingFiles(const std::string& folder, const std::string& masks,
                       std::vector<std::string>& out, platform::FileSystem* files) {
  FileFinder finder;
  finder.files = files;
  finder.directory = folder;
  finder.filter = masks;
  finder.Execute();
  out = finder.Results();
  return !out.empty();
}

bool FindArgumentFiles(std::string_view argument, std::vector<std::string>& out,
                       std::string* folder_prefix, platform::FileSystem* files) {
  const std::string folder = FolderOfPath(argument);
  if (folder_prefix != nullptr) {
    *folder_prefix = EndsWithSeparator(folder) ? folder : folder + '\\';
  }
  return FindMatchingFiles(folder, FileNameOfPath(argument), out, files);
}

}  // namespace pelvar::commands
