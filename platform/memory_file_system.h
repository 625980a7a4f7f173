// A file system held in memory, for tests: the same letter-case rule and
// write policy as the real one, and faults to inject (a full disk in the
// middle of a write, short reads, a failing rename, a folder that vanishes).
// Paths are absolute ("/" or "\" separators); there are no links.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/file_system.h"

namespace pelvar::platform {

class MemoryFileSystem : public FileSystem {
 public:
  struct Faults {
    int64_t space = -1;     // bytes that may still be written, then ENOSPC
    size_t read_piece = 0;  // no read gives more than this (0: no limit)
    int commit_error = 0;   // the rename of a replacement fails so
    std::string vanish;     // this folder goes away when a write into it commits
    // Reads and writes that a signal interrupts (EINTR, nothing moved)
    // before the next one goes through; a write that goes through after an
    // interruption writes only half of what it was given.
    int interrupted_reads = 0;
    int interrupted_writes = 0;
    int flush_error = 0;  // the flush of a command's bulk writes fails so
  };
  Faults faults;

  // Files and folders for a test to set up and look at.
  void AddFolder(std::string_view path);
  void AddFile(std::string_view path, std::string_view content, bool read_only = false);
  // The content of a file; empty when there is none.
  std::string Content(std::string_view path) const;
  // The names in a folder, in order.
  std::vector<std::string> Names(std::string_view folder) const;
  // Folders that are each a file system of their own (mount points): what
  // lies at or below one has another device in its status.
  std::vector<std::string> mounts;
  // Durable flushes made so far: per file (rewrites) and per command (bulk).
  int file_syncs = 0;
  int bulk_syncs = 0;
  // Interruptions injected so far.
  int interruptions = 0;

  void BeginCommand() override;
  std::error_code EndCommand() override;
  std::string Resolve(std::string_view path) override;
  FileStatus Status(std::string_view path) override;
  std::error_code List(std::string_view folder, std::vector<DirectoryEntry>& out) override;
  std::error_code OpenRead(std::string_view path, std::unique_ptr<FileReader>& out) override;
  std::error_code OpenReplace(std::string_view path, Durability durability,
                              std::unique_ptr<FileWriter>& out) override;
  // There are no links here: the same as OpenReplace.
  std::error_code OpenReplaceEntry(std::string_view path, Durability durability,
                                   std::unique_ptr<FileWriter>& out) override {
    return OpenReplace(path, durability, out);
  }
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
  using FileSystem::DeleteTree;
  bool DeleteTree(std::string_view path) override;
  std::error_code MakeTempFolder(std::string& path) override;

  struct Node {
    bool folder = false;
    bool read_only = false;
    bool executable = false;
    std::string data;
  };
  // Internal to the writers.
  std::map<std::string, Node>& nodes() { return nodes_; }
  bool bulk_pending = false;
  bool in_command() const { return in_command_; }

 private:
  const Node* Find(const std::string& key) const;
  bool in_command_ = false;
  // Copies the node at `from` (and what is below it) to `to`, merging into
  // folders met ignoring case.
  bool CopyNode(const std::string& from, const std::string& to, const TreeProgressFn& progress,
                TreeProgress& totals);
  void EraseTree(const std::string& key);

  std::map<std::string, Node> nodes_{{"/", Node{true, false, false, {}}}};
  int temp_count_ = 0;
};

}  // namespace pelvar::platform
