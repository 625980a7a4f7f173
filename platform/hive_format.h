// Low-level facts of the registry hive file format (regf) that hivex does not
// cover: the header's sequence numbers and version, and the name hashes of
// "lh" subkey lists, which must be computed from the UTF-16 name as the
// system does.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelvar::platform {

struct HiveHeader {
  uint32_t sequence1 = 0;
  uint32_t sequence2 = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  // Equal sequence numbers: the hive was closed cleanly.
  bool clean() const { return sequence1 == sequence2; }
};

// Reads the header of the open file. False when it is not a hive header.
bool ReadHiveHeader(int fd, HiveHeader& out);

// Longest value data stored in a plain cell; longer data need big-data
// records in hives of version 1.4 and later.
inline constexpr size_t kMaxPlainValueData = 16344;

// The "lh" hash of a name given as its upper-cased UTF-16 code units.
uint32_t SubkeyNameHash(std::u16string_view upper_name);

enum class SetHashResult {
  kSet,
  kOldList,   // the entry is in an "lf" or "li" list, which has no such hash
  kNotFound,  // the parent's lists do not link the child
  kIoError,
};

// In the hive file open as `fd`, sets the hash of the subkey list entry that
// links `parent` (the absolute file offset of its nk record) to `child`.
SetHashResult SetSubkeyHash(int fd, uint64_t parent, uint64_t child, uint32_t hash);

}  // namespace pelvar::platform
