// The one letter-case rule of script paths: a component that does not exist
// as written is matched against its folder's entries ignoring letter case
// (FoldCase). It takes the one entry that matches; when the folder holds several
// spellings of it, none is taken (the component keeps its spelling), so a
// command never picks one of two files at random. A resolver may remember
// the folded listing of each folder it has read (while remembering is on),
// which the writes made through it keep up to date, so resolving n new names
// in one folder reads that folder once.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/letter_case.h"

namespace pelvar::platform {

// The letter-case walk over an absolute "/"-separated path, for file systems
// that answer existence and listing questions themselves: a component that
// does not exist as written takes the spelling `find_folded` gives (the one
// name in `folder` whose FoldCase equals `folded`, or "" for none or
// several); from the first
// component that matches nothing on, the rest keeps its spelling.
std::string WalkLetterCase(
    std::string_view absolute, const std::function<bool(const std::string& path)>& exists,
    const std::function<std::string(const std::string& folder, const std::string& folded)>&
        find_folded);

class CaseResolver {
 public:
  // Host path for a script path ("\" becomes "/"); relative paths stay
  // relative; components from the first missing one on keep their spelling.
  std::string Resolve(std::string_view script_path);
  // As Resolve for the folder part; the last component keeps its spelling.
  std::string ResolveFolderOf(std::string_view script_path);

  // Turns remembering listings on or off; off forgets them.
  void Remember(bool on);
  bool remembering() const { return remembering_; }

  // Tells a remembered listing about an entry made or removed (host paths
  // of the folder as Resolve gives them, without a trailing "/").
  void Added(const std::string& folder, const std::string& name);
  void Removed(const std::string& folder, const std::string& name);
  // Remembers a listing of `folder` just read elsewhere (while remembering,
  // when none is remembered yet).
  template <typename Entries>
  void Listed(const std::string& folder, const Entries& entries) {
    if (!remembering_ || listings_.count(FolderKey(folder)) != 0) return;
    Listing listing;
    for (const auto& e : entries) AddName(listing, e.name);
    listings_.emplace(FolderKey(folder), std::move(listing));
  }
  // Forgets what is remembered of a folder and everything below it.
  void ForgetTree(const std::string& folder);

  // The names in `folder` that are leftover temporary files of writes whose
  // process is gone (from the remembered listing, read now if needed).
  std::vector<std::string> Leftovers(const std::string& folder);

  // How many times a folder was read to match a name (for tests).
  size_t folder_reads() const { return folder_reads_; }

 private:
  struct Listing {
    // Folded name -> names in the folder's order.
    std::unordered_map<std::string, std::vector<std::string>> names;
    std::vector<std::string> leftovers;
  };
  static std::string FolderKey(const std::string& folder) {
    return folder.empty() ? std::string(".") : folder;
  }
  static void AddName(Listing& listing, std::string_view name);
  // The entry of `folder` matching `name` ignoring case; empty when none.
  std::string FindFolded(const std::string& folder, std::string_view name);
  Listing* Remembered(const std::string& folder);

  bool remembering_ = false;
  size_t folder_reads_ = 0;
  std::unordered_map<std::string, Listing> listings_;
};

}  // namespace pelvar::platform
