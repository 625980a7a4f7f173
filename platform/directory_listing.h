// Reading the entries of a folder, with the attributes the file finder
// filters on. On POSIX a name beginning with "." counts as hidden and a file
// without write permission as read-only; there are no system files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pelvar::platform {

struct DirectoryEntry {
  std::string name;
  bool is_directory = false;  // a real folder (a link to one counts as a folder)
  bool is_link = false;       // a symbolic link (never descended into)
  bool hidden = false;
};

// Lists the entries of a folder (a script path) in the file system's order,
// without "." and "..". False when the folder cannot be read.
bool ListDirectory(std::string_view folder, std::vector<DirectoryEntry>& out);
// The same for a host path as it stands; the error when it cannot be read.
std::error_code ListHostDirectory(const std::string& host, std::vector<DirectoryEntry>& out);

// Locale-aware comparison of paths that ignores letter case (and only case):
// the order of sorted file listings. The locale comes from the environment.
class PathCollator {
 public:
  PathCollator();
  ~PathCollator();
  PathCollator(const PathCollator&) = delete;
  PathCollator& operator=(const PathCollator&) = delete;

  // A byte string whose memcmp order is the collation order; equal keys mean
  // the paths compare equal (they differ at most in letter case).
  std::string SortKey(std::string_view path) const;
  int Compare(std::string_view a, std::string_view b) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The process-wide collator (created on first use; safe to share between
// threads for SortKey and Compare).
const PathCollator& DefaultPathCollator();

}  // namespace pelvar::platform
