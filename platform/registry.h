// The registry scripts write to: keys below five predefined roots, each key
// holding named values of a type. On Linux it is a host store (an SQLite
// database) in which registry hive files can be mounted below
// HKEY_LOCAL_MACHINE. Every operation on the store is one transaction. A
// hive file written to stays open in memory and is committed as a whole:
// see CommitPending.
//
// Names are script text (8-bit): taken as UTF-8 when valid, else as
// Windows-1252. Key and value names match without regard to letter case and
// keep the spelling they were created with. Value data are bytes as the
// Windows API reports them (strings UTF-16LE with their NUL, DWORDs
// little-endian).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvar::platform {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", ...
const char* RootName(RegistryRoot root);

// Value types, numbered as the system numbers them.
namespace reg_type {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kString = 1;
inline constexpr uint32_t kExpandString = 2;
inline constexpr uint32_t kBinary = 3;
inline constexpr uint32_t kDword = 4;
inline constexpr uint32_t kDwordBigEndian = 5;
inline constexpr uint32_t kLink = 6;
inline constexpr uint32_t kMultiString = 7;
inline constexpr uint32_t kQword = 11;
}  // namespace reg_type

// A key: a root and the names below it separated by "\" (empty: the root).
struct RegistryKey {
  RegistryRoot root = RegistryRoot::kCurrentUser;
  std::string path;
};

// A subkey given as a path below `key` ("Vendor\App"): true, with the key
// that holds its last name (`key` with "Vendor" added) and that name
// ("App"). False for a single name (or one with only a leading "\").
bool SplitSubkeyPath(const RegistryKey& key, std::string_view subkey, RegistryKey& parent,
                     std::string_view& last);

struct RegistryValue {
  std::string name;  // empty: the key's default value
  uint32_t type = reg_type::kNone;
  std::string data;  // raw bytes
};

// What a key holds: subkey names sorted as the system sorts them, values in
// the order they were created.
struct RegistryKeyContents {
  std::vector<std::string> subkeys;
  std::vector<RegistryValue> values;
};

enum class RegistryStatus {
  kOk,
  kKeyNotFound,    // the key, or the subkey to delete, does not exist
  kKeyRefused,     // the key cannot be opened or created
  kValueNotFound,  // no value of that name
  kValueRefused,   // the value cannot be written
  kUnsupported,    // the hive would need records that cannot be written safely
};

struct RegistryResult {
  RegistryStatus status = RegistryStatus::kOk;
  std::string message;  // why it failed, for people; empty on success
  bool ok() const { return status == RegistryStatus::kOk; }
};

// The deepest a key may lie below its root, in names.
inline constexpr size_t kMaxKeyDepth = 512;

// Whether a missing key path is created or the operation fails.
enum class KeyOpen { kExisting, kCreate };

// One change of a set applied together (a .reg file's import). A deletion
// of what does not exist changes nothing and is no failure.
struct RegistryChange {
  enum class Kind {
    kCreateKey,    // `key`, with the missing keys of its path
    kDeleteKey,    // `key` with everything below it
    kSetValue,     // `value` in `key`, made when missing
    kDeleteValue,  // the value named `value.name` of `key`
  };
  Kind kind = Kind::kCreateKey;
  RegistryKey key;
  RegistryValue value;
};

// One key met by Registry::WalkTree: its path below the key walked (names
// joined by "\"; empty for that key itself) and what it holds. A failure
// ends the walk.
using KeyVisitor =
    std::function<RegistryResult(std::string_view relative, RegistryKeyContents& contents)>;

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens the key, creating the missing keys of its path.
  virtual RegistryResult CreateKey(const RegistryKey& key) = 0;
  // Writes a value into the key; an existing value of the name (in any
  // letter case) is replaced and keeps its spelling.
  virtual RegistryResult SetValue(const RegistryKey& key, KeyOpen open,
                                  const RegistryValue& value) = 0;
  // Deletes the subkey `name` of the key with everything below it.
  virtual RegistryResult DeleteKey(const RegistryKey& key, KeyOpen open, std::string_view name) = 0;
  // Deletes one value of an existing key.
  virtual RegistryResult DeleteValue(const RegistryKey& key, std::string_view name) = 0;
  // Reads one value of an existing key.
  virtual RegistryResult GetValue(const RegistryKey& key, std::string_view name,
                                  RegistryValue& out) = 0;
  // Lists the subkeys and values of an existing key.
  virtual RegistryResult ListKey(const RegistryKey& key, RegistryKeyContents& out) = 0;
  // Visits an existing key and every key below it, depth first: each key
  // before its subkeys, the subkeys in ListKey's order, with what ListKey
  // gives for it. Returns the first failure, of a listing or of `visit`.
  // This default lists key by key; a registry that can read a whole tree
  // at once does so.
  virtual RegistryResult WalkTree(const RegistryKey& key, const KeyVisitor& visit);
  // Writes back the changes held for later (in hive files kept open during a
  // run) and lets the files go. Called when a run ends and before another
  // program starts; a failure tells what could not be written.
  virtual RegistryResult CommitPending() { return {}; }
  // Makes all the changes, in order, or none of them: on failure `failed`
  // is the index of the change that could not be made. This default makes
  // them one by one and stops at the first failure, keeping those before.
  virtual RegistryResult ApplyChanges(const std::vector<RegistryChange>& changes, size_t& failed);
};

// Makes one change through the registry's own operations.
RegistryResult ApplyChange(Registry& registry, const RegistryChange& change);

}  // namespace pelvar::platform
