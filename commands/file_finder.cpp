#include "commands/file_finder.h"

#include <algorithm>
#include <set>

#include "engine/text.h"
#include "platform/directory_listing.h"
#include "platform/posix_file_system.h"

namespace pelvar::commands {

namespace {

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back());
}

// Wildcard match with backtracking over the last "*".
bool WildcardMatch(std::string_view name, std::string_view mask) {
  size_t n = 0;
  size_t m = 0;
  size_t star = std::string_view::npos;
  size_t star_n = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
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

// Keys a path by its collation order; equal keys are duplicates.
struct SortedEntry {
  std::string key;
  std::string path;
  bool operator<(const SortedEntry& other) const { return key < other.key; }
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
  return WildcardMatch(name, mask);
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
  const platform::PathCollator& collator = platform::DefaultPathCollator();
  std::set<SortedEntry> found;
  for (const auto& mask : masks) {
    for (const auto& e : entries) {
      if ((e.hidden && !allow_hidden) || (e.is_directory && !allow_dirs)) continue;
      if (!MatchesMask(e.name, mask)) continue;
      std::string path = path_of(e);
      std::string key = collator.SortKey(path);
      found.insert(SortedEntry{std::move(key), std::move(path)});
    }
  }
  for (const auto& f : found) results_.push_back(f.path);
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
