// What a dry run would change: the recording overlays write every effect
// here, and the run takes the changes of each script line as it ends. Changes
// of one path, key or value are folded into one entry per take (its state
// before the first and after the last change); entries that end as they
// began are dropped.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace pelvar::platform {

// A file-system entry as a dry run sees it.
struct EntryState {
  enum class Kind { kNone, kFile, kFolder, kLink };  // kLink: a symbolic link itself
  Kind kind = Kind::kNone;
  uint64_t size = 0;
  // The file's bytes when they were at hand and small (INI files, texts).
  std::optional<std::string> content;
  // The file whose bytes this one took by a copy or a move.
  std::string from;
  // Set on every write: the content may differ even when the size does not.
  uint64_t generation = 0;
  bool executable = false;
};

struct Change {
  enum class Type { kPath, kRegistryKey, kRegistryValue, kNote };
  Type type = Type::kPath;
  // Host path; registry key ("HKEY_LOCAL_MACHINE\..."); or the note's text.
  std::string subject;
  EntryState before;        // kPath
  EntryState after;         // kPath
  bool key_before = false;  // kRegistryKey: the key existed before / after
  bool key_after = false;
  std::string value_name;                     // kRegistryValue
  std::optional<RegistryValue> value_before;  // kRegistryValue; none: absent
  std::optional<RegistryValue> value_after;
};

class ChangeJournal {
 public:
  void PathChanged(const std::string& path, const EntryState& before, const EntryState& after);
  void KeyChanged(const std::string& key, bool before, bool after);
  void ValueChanged(const std::string& key, const std::string& name,
                    const std::optional<RegistryValue>& before,
                    const std::optional<RegistryValue>& after);
  void Note(std::string text);

  // The changes recorded since the last take, in the order they were first
  // made; changes that ended as they began are left out.
  std::vector<Change> Take();
  bool empty() const { return changes_.empty(); }

 private:
  Change& Entry(const std::string& index, Change::Type type, const std::string& subject,
                bool& fresh);

  std::vector<Change> changes_;
  std::map<std::string, size_t> index_;
};

// True when the two states show the same entry with the same bytes.
bool SameEntry(const EntryState& a, const EntryState& b);

}  // namespace pelvar::platform
