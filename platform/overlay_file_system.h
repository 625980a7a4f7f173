// A file system that reads another one (the real one) and changes nothing
// in it: every write lands in memory on top of it and is told to a change
// journal. Later reads see the writes, so a run on it behaves as a real run
// would (a copy into a folder made earlier succeeds, an edit of a copied
// file edits the copy). Copied and moved files keep pointing at the bytes
// they came from rather than holding them, so large trees cost little.
//
// Paths become absolute host paths ("\" as "/", relative to the working
// folder, "." and ".." taken away by name). The letter-case rule of the real
// one is kept over the merged view. Permission checks of folders ask the
// system (see `writable`); the calling user's rights decide as they would.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/change_journal.h"
#include "platform/file_system.h"

namespace pelvar::platform {

class OverlayFileSystem : public FileSystem {
 public:
  // `base` is only read. `journal` (may be null) hears of every change.
  OverlayFileSystem(FileSystem& base, ChangeJournal* journal);
  ~OverlayFileSystem() override;

  // Whether a new entry may be made in (or one removed from) a folder of
  // the base that the overlay has not touched; by default the system's
  // answer for the calling user.
  std::function<bool(const std::string& host_folder)> writable;

  void BeginCommand() override;
  std::error_code EndCommand() override;
  std::string Resolve(std::string_view path) override;
  FileStatus Status(std::string_view path) override;
  std::error_code List(std::string_view folder, std::vector<DirectoryEntry>& out) override;
  std::error_code OpenRead(std::string_view path, std::unique_ptr<FileReader>& out) override;
  std::error_code OpenReplace(std::string_view path, Durability durability,
                              std::unique_ptr<FileWriter>& out) override;
  std::error_code OpenReplaceEntry(std::string_view path, Durability durability,
                                   std::unique_ptr<FileWriter>& out) override;
  std::error_code Copy(std::string_view from, std::string_view to, bool replace,
                       TargetCase target_case = TargetCase::kAnySpelling) override;
  std::error_code Move(std::string_view from, std::string_view to) override;
  std::error_code Delete(std::string_view path) override;
  std::error_code MakeFolder(std::string_view path, bool parents) override;
  std::error_code MakeExecutable(std::string_view path) override;
  bool CopyTree(std::string_view source, std::string_view destination,
                const TreeProgressFn& progress) override;
  bool MoveTree(std::string_view source, std::string_view destination,
                const TreeProgressFn& progress) override;
  bool DeleteTree(std::string_view path) override;
  // A folder that exists only in the overlay (nothing is made on disk).
  std::error_code MakeTempFolder(std::string& path) override;

  // A real file holding the bytes the overlay shows at `path`: the base
  // file they come from, or else a copy written into `scratch_folder` (a
  // host folder). For tools that must open a file by its path.
  std::error_code RealFileFor(std::string_view path, const std::string& scratch_folder,
                              std::string& host_out);

  // Internal to the writer.
  struct Entry {
    enum class Kind { kRemoved, kFile, kFolder };
    Kind kind = Kind::kRemoved;
    std::string data;    // the bytes, unless `source` holds them
    std::string source;  // host path of the base file with the bytes
    uint64_t size = 0;
    bool read_only = false;
    bool executable = false;
    // A symbolic link copied from the base: `source` is the link, and the
    // kind is what it names there (a file or a folder).
    bool link = false;
    uint64_t generation = 0;
  };
  void CommitWrite(const std::string& key, std::string data);

 private:
  // What a resolved path shows: an entry of the overlay, a base entry, or
  // nothing.
  struct View {
    FileStatus status;
    const Entry* entry = nullptr;  // null: the base's (or nothing)
  };
  View Look(const std::string& key);
  std::string Absolute(std::string_view path) const;
  // Names in a folder of the merged view.
  std::vector<DirectoryEntry> Children(const std::string& key);
  const std::vector<DirectoryEntry>& BaseChildren(const std::string& key);
  bool FolderWritable(const std::string& key);
  // Refuses a new entry (or the removal of one) in the folder of `key`.
  std::error_code CheckParent(const std::string& key);
  EntryState StateOf(const std::string& key, bool with_content);
  void Record(const std::string& key, const EntryState& before);
  // An overlay entry carrying the bytes of the file at `key`.
  Entry FileEntryOf(const std::string& key, const View& view);
  void Set(const std::string& key, Entry entry);
  // Whether a removal goes below `key`: a folder, but not a symbolic link
  // of the base's to one.
  bool Descends(const std::string& key);
  // A folder of the base on another file system than its folder's.
  bool IsMountPoint(const std::string& key);
  // Removes `key` and what lies below it, recording each removal.
  void RemoveTree(const std::string& key);
  bool CopyNode(const std::string& from, const std::string& to, const TreeProgressFn& progress,
                TreeProgress& totals);
  // Plans a tree copy or move: the resolved source and target, or false.
  bool PlanTransfer(std::string_view source, std::string_view destination, std::string& from,
                    std::string& to);
  bool InTemp(const std::string& key) const;

  FileSystem& base_;
  ChangeJournal* journal_;
  std::map<std::string, Entry> entries_;
  std::unordered_map<std::string, std::vector<DirectoryEntry>> base_children_;
  std::set<std::string> temp_folders_;
  std::string cwd_;
  uint64_t generation_ = 0;
  int temp_count_ = 0;
};

}  // namespace pelvar::platform
