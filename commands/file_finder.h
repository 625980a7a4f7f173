// Turns a folder and wildcard masks into a list of paths. Results keep the
// script's text form: the folder as given, a "\" and the entry name; folder
// entries end with "\". The finder only finds; it never changes anything.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace pelvar::commands {

// Which kinds of entries may be returned (bits as the directory attributes).
enum FinderAttribute : unsigned {
  kFfReadOnly = 1,
  kFfHidden = 2,
  kFfSysFile = 4,
  kFfVolumeId = 8,
  kFfDirectory = 16,
};

class FileFinder {
 public:
  // Folder to search; empty finds nothing.
  std::string directory;
  // One mask or several separated by ";".
  std::string filter = "*.*";
  unsigned attributes = kFfReadOnly | kFfHidden | kFfSysFile;
  // Also search every subfolder, at any depth.
  bool recurse = false;
  // Order each folder's entries (locale-aware, ignoring case; names that
  // differ only in case by their bytes) and list an entry that several masks
  // match once; the recursive walk is then depth-first in name order.
  bool sorted = true;
  // The file system searched; null: the thread's real one.
  platform::FileSystem* files = nullptr;

  // Runs the search; Results() then holds its outcome only.
  void Execute();
  const std::vector<std::string>& Results() const { return results_; }

 private:
  void SearchFolder(const std::string& folder, const std::vector<std::string>& masks,
                    std::vector<std::string>* subfolders);

  std::vector<std::string> results_;
};

// Searches `folder` for `masks` (sorted, not recursive, default attributes)
// and replaces `out` with the paths found. True when something was found.
bool FindMatchingFiles(const std::string& folder, const std::string& masks,
                       std::vector<std::string>& out, platform::FileSystem* files = nullptr);

// Searches the files that a command's file argument names: the argument is
// cut at its last "\", "/" or ":" into a folder (a root keeps its separator)
// and masks, searched as FindMatchingFiles does. An argument without a folder
// part finds nothing. `folder_prefix` (optional) receives the text that
// every result begins with, up to the entry name.
bool FindArgumentFiles(std::string_view argument, std::vector<std::string>& out,
                       std::string* folder_prefix = nullptr, platform::FileSystem* files = nullptr);

// Splits a filter at ";" into masks trimmed of blanks; empty masks dropped.
std::vector<std::string> SplitMasks(const std::string& filter);

// True when `name` matches `mask` as a directory search matches it: "*" any
// run, "?" one character, letters ignoring case, "*.*" every name, a mask
// ending in "." only names without a dot.
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace pelvar::commands
