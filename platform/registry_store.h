// The host registry store: an SQLite database of keys, values and hive
// mounts. Every call is one transaction; writers wait for each other (busy
// time-out), so two programs writing at once lose nothing. The database is
// created on first use, holding the five roots and the keys scripts expect
// to read: its tables and that first content are made in one immediate
// transaction, which programs starting together on a new store wait for.
// A reader that finds the store not made yet reads what it will hold once
// made. Names are UTF-8.
//
// As on Windows, HKEY_LOCAL_MACHINE and HKEY_USERS hold only their fixed
// keys and mounted hives: keys directly below them cannot be created or
// deleted, and they hold no values.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace pelvar::platform {

using KeyNames = std::vector<std::string>;

struct HiveMount {
  std::string name;  // the key name below HKEY_LOCAL_MACHINE
  std::string file;  // absolute host path of the hive file
};

class RegistryStore {
 public:
  // `path`: host path of the database file. `program_files_dir`: the data
  // of HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\ProgramFilesDir when
  // the store is created. A `read_only` store never creates or changes the
  // database: a missing file fails every call, and writes fail; a file
  // whose store is not made yet (empty, or being made by another program)
  // reads as a new store holds. A `read_only` store without a path reads as
  // a new store holds, made in memory (nothing on disk, nothing synced).
  RegistryStore(std::string path, std::string program_files_dir, bool read_only = false);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  const std::string& path() const { return path_; }

  RegistryResult CreateKey(RegistryRoot root, const KeyNames& names);
  RegistryResult SetValue(RegistryRoot root, const KeyNames& names, KeyOpen open,
                          const RegistryValue& value);
  RegistryResult DeleteKey(RegistryRoot root, const KeyNames& names, KeyOpen open,
                           const std::string& name);
  RegistryResult DeleteValue(RegistryRoot root, const KeyNames& names, const std::string& name);
  RegistryResult GetValue(RegistryRoot root, const KeyNames& names, const std::string& name,
                          RegistryValue& out);
  RegistryResult ListKey(RegistryRoot root, const KeyNames& names, RegistryKeyContents& out);
  // Visits the key and every key below it as Registry::WalkTree does, in
  // one read transaction: each key's subkeys and values are read by its row
  // id, and only the keys still to visit are held.
  RegistryResult WalkTree(RegistryRoot root, const KeyNames& names, const KeyVisitor& visit);

  // The mount whose name matches (any letter case); `found` tells whether one does.
  RegistryResult FindMount(const std::string& name, HiveMount& out, bool& found);
  RegistryResult Mounts(std::vector<HiveMount>& out);
  // Records a mount: refused when the name is mounted, names a key of
  // HKEY_LOCAL_MACHINE, or the file is mounted under another name.
  RegistryResult AddMount(const HiveMount& mount);
  RegistryResult RemoveMount(const std::string& name);

  // Runs `body`, whose operations on this store then make one transaction:
  // committed when `body` succeeds, else rolled back with all they did.
  RegistryResult InOneTransaction(const std::function<RegistryResult()>& body);

 private:
  struct Db;
  RegistryResult Open();
  // Runs `fn(db)` on the open store; an SQLite failure becomes a result
  // with the status `failure` holds at that moment.
  template <typename Fn>
  RegistryResult Run(RegistryStatus& failure, Fn&& fn);
  // Runs `fn(db, key)` in one transaction on the key at `names`. A key that
  // cannot be opened ends it rolled back; otherwise a writing operation is
  // committed whatever `fn` returns. SQLite failures after the key opened
  // get the status `after_open`.
  template <typename Fn>
  RegistryResult OnKey(RegistryRoot root, const KeyNames& names, KeyOpen open, bool write,
                       RegistryStatus after_open, Fn&& fn);

  std::string path_;
  std::string program_files_dir_;
  bool read_only_ = false;
  std::unique_ptr<Db> db_;
};

}  // namespace pelvar::platform
