// A registry hive file (regf), read and changed through HiveImage. Names are
// UTF-8 and match as the system matches them (any letter case); a write
// keeps an existing name's spelling, and new keys go where the system's
// sorted subkey lists want them. A hive opened for writing is locked while
// the object lives, and its changes are held in memory until Commit.
// Commit replaces the file as every rewrite of a file does
// (FileSystem::OpenReplace): a private temporary file beside the hive gets a
// copy of it made in the kernel with the changed pages written over it (or,
// when more than a quarter of its bins would be free space, only the live
// cells, so a hive grows with its data, not with its rewrites); every change
// is read back from it by an independent reader (hivex); only then is it
// synced, renamed over the hive, and the folder synced. A crash leaves the
// old hive or the new one, never a damaged one, and a commit never leaves a
// hive that a reader cannot open. A read-only hive file is refused for
// writing.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/hive_format.h"
#include "platform/hive_image.h"
#include "platform/registry.h"

namespace pelvar::platform {

class FileWriter;
class PosixFileSystem;

class HiveFile {
 public:
  using Node = size_t;

  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  // Opens a hive. A file whose header does not match it is refused with the
  // reason. For writing, the file is locked until the object goes, and a
  // hive that was not closed cleanly is refused.
  static RegistryResult Open(const std::string& host_path, bool write,
                             std::unique_ptr<HiveFile>& out);

  // The key at the names below the hive's root; missing keys are created
  // when `open` says so.
  RegistryResult FindKey(const std::vector<std::string>& names, KeyOpen open, Node& out);
  // Writes a value: only its own record and data change.
  RegistryResult SetValue(Node key, const RegistryValue& value);
  RegistryResult DeleteValue(Node key, const std::string& name);
  // Deletes the subkey `name` of the key with everything below it.
  RegistryResult DeleteSubkey(Node key, const std::string& name);
  RegistryResult GetValue(Node key, const std::string& name, RegistryValue& out);
  RegistryResult List(Node key, RegistryKeyContents& out);

  // Writes the changes made so far over the file (nothing when none). With
  // `keep_open` the hive stays open for more (node handles from before are
  // stale); otherwise only the lock is kept until the object goes. After a
  // failure the changes stay, for the next commit.
  RegistryResult Commit(bool keep_open = true);
  bool changed() const { return changed_; }
  const std::string& path() const { return path_; }

 private:
  struct Child {
    Node node;
    std::string name;
    std::u16string fold;  // NameFoldKey(name)
  };
  // What a commit must find in the written file: a key (with `value_name`
  // empty and `is_value` false) or a value, present with its data or absent.
  struct Expected {
    std::vector<std::string> key;
    bool is_value = false;
    std::string value_name;
    bool present = true;
    RegistryValue value;
  };

  HiveFile() = default;
  RegistryResult Failure(RegistryStatus status, const std::string& what) const;
  // The subkeys of a key in the order of its list, read once and then kept
  // in step with the keys added (valid until the next change of the cache).
  RegistryResult Children(Node key, const std::vector<Child>*& out);
  RegistryResult AddChild(Node parent, const std::string& name, Node& out);
  RegistryResult ReadValues(Node key, std::vector<RegistryValue>& out) const;
  // The folded names of a key's values in the order of its list, read once
  // and then kept in step with the values added (valid until the next
  // change of the cache).
  RegistryResult ValueFolds(Node key, std::vector<std::u16string>*& out);
  void Expect(Expected e);
  // Empty when the hive file at `path` holds every expected change.
  std::string CheckWritten(const std::string& path) const;
  // Checks the header and the cells of the hive file written to `fd`, and
  // rewrites it with only its live cells when a large share of it is free
  // space. Empty when sound, else why not.
  std::string CheckAndCompact(int fd, bool& compacted);

  // Begins replacing the hive file under the lock held (refusing a
  // read-only hive and what is not a regular file).
  RegistryResult BeginReplacement(std::unique_ptr<FileWriter>& out);

  std::string path_;
  std::unique_ptr<HiveImage> image_;
  // The hive file, open and locked against other writers while the object
  // lives (for writing).
  int lock_fd_ = -1;
  HiveHeader header_;
  // The file system whose replacement writes the hive.
  std::unique_ptr<PosixFileSystem> files_;
  bool changed_ = false;
  // Subkey lists read so far, by key; dropped when a key is deleted or the
  // hive is opened again (node handles change).
  std::unordered_map<Node, std::vector<Child>> children_;
  // Folded value names read so far, by key; dropped with children_, and a
  // key's own when one of its values is deleted.
  std::unordered_map<Node, std::vector<std::u16string>> value_folds_;
  // The key path of each node handed out since the last commit.
  std::map<Node, std::vector<std::string>> node_paths_;
  // By folded key path and value name; the last change of each counts.
  std::map<std::string, Expected> expected_;
};

// Empty when the file is a hive that can be mounted, else why not.
std::string HiveMountProblem(const std::string& host_path);

}  // namespace pelvar::platform
