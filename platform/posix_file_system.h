// The file system service on a POSIX system. One object serves one thread
// (a run, or the window's own writes); it is not shared between threads.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>

#include "platform/case_resolver.h"
#include "platform/file_system.h"

namespace pelvar::platform {

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem();
  ~PosixFileSystem() override;

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
  // OpenReplace for a host path (taken as it is, never matched by case).
  // `held_lock`, when given, is a descriptor of the existing target on which
  // the caller holds the exclusive lock (flock) and keeps holding it: the
  // replacement works under it instead of locking (ESTALE when the target's
  // name no longer names that file). `at_link` tells what a symbolic link
  // at the target's name does: it is followed (OpenReplace) or replaced
  // (OpenReplaceEntry).
  enum class AtLink { kFollow, kReplace };
  std::error_code OpenReplaceHost(const std::string& host, Durability durability,
                                  std::unique_ptr<FileWriter>& out, int held_lock = -1,
                                  AtLink at_link = AtLink::kFollow);
  std::error_code Copy(std::string_view from, std::string_view to, bool replace,
                       TargetCase target_case = TargetCase::kAnySpelling) override;
  std::error_code Move(std::string_view from, std::string_view to) override;
  std::error_code Delete(std::string_view path) override;
  // One look at the entry (none more for a file) and its removal relative
  // to its folder, which stays open while a command deletes in it.
  std::error_code DeleteFileEntry(std::string_view path, bool& found) override;
  std::error_code MakeFolder(std::string_view path, bool parents) override;
  std::error_code MakeExecutable(std::string_view path) override;
  bool CopyTree(std::string_view source, std::string_view destination,
                const TreeProgressFn& progress) override;
  bool MoveTree(std::string_view source, std::string_view destination,
                const TreeProgressFn& progress) override;
  bool DeleteTree(std::string_view path) override;
  bool DeleteTree(std::string_view path, const TreeProgressFn& progress) override;
  std::string LastTreeFailure() const override { return tree_failure_; }
  std::error_code MakeTempFolder(std::string& path) override;

  // Internal to the writer: a file of the folder open at `dir_fd` was
  // written in bulk; `folder` is its host path. Returns the error of a
  // flush made at once (outside a command).
  std::error_code BulkWritten(int dir_fd, int file_fd);
  // Internal to the writers: `name` was written into `folder` (open at
  // `dir_fd`); leftovers of earlier interrupted writes there are removed.
  void Written(int dir_fd, const std::string& folder, const std::string& name);
  bool in_command() const { return in_command_; }
  // Makes the file system that holds a tree copy's destination durable with
  // the command's bulk writes (at once outside a command). False, with the
  // reason kept, when a flush made at once failed.
  bool FlushTreeTarget(std::string_view destination);
  // Folders read so far to match letter case (for tests).
  size_t folder_reads() const { return resolver_.folder_reads(); }

 private:
  CaseResolver resolver_;
  bool in_command_ = false;
  std::string tree_failure_;
  // One open folder per file system written in bulk during the command.
  std::map<dev_t, int> bulk_;
  // The folder last written in bulk (its file system is in bulk_ already).
  std::string last_bulk_folder_;
  // Reflinks were refused during the command: copies skip trying them.
  bool reflink_failed_ = false;
  // The folder DeleteFileEntry last deleted in during the command, open
  // (O_PATH); closed when the command ends and when a move or a tree
  // operation may have put another folder at its path.
  void CloseDeleteFolder();
  int delete_folder_fd_ = -1;
  std::string delete_folder_;
};

// The real file system of the calling thread, for code that works outside a
// script run (start-up, the configuration, the windows' own files).
FileSystem& ThreadFileSystem();

}  // namespace pelvar::platform
