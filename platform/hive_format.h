// Low-level facts of the registry hive file format (regf): the header and
// its checks, compaction, free space, and the name hashes of "lh" subkey
// lists, which must be computed from the UTF-16 name as the system does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Checks the header of the open hive file of `file_size` bytes against the
// file: checksum, version, the size of the hive bins (which must be in the
// file and be a chain of "hbin" blocks, each where its header says), and a
// root key cell inside them. Empty when it holds, else why not. The sequence
// numbers are left to the caller (`out` has them).
std::string HiveHeaderProblem(int fd, uint64_t file_size, HiveHeader& out);
// The same, for a whole hive file image; `bin_starts` (when given) gets the
// offset of each bin from the first.
std::string HiveHeaderProblem(std::string_view image, HiveHeader& out,
                              std::vector<uint64_t>* bin_starts = nullptr);

// A hive file mapped for reading while the object lives.
class MappedHive {
 public:
  MappedHive(int fd, uint64_t size);
  ~MappedHive();
  MappedHive(const MappedHive&) = delete;
  MappedHive& operator=(const MappedHive&) = delete;
  bool ok() const { return data_ != nullptr; }
  std::string_view view() const { return {data_, size_}; }

 private:
  const char* data_ = nullptr;
  size_t size_;
};

// Rewrites a whole hive file image with only the cells reachable from its
// root key, packed into fresh bins: the space of freed cells is given back.
// Keys, values, security records, class names and big-data records keep
// their contents; only cell offsets change. False, with `why`, when the
// image holds a link that does not lead to an allocated cell.
bool CompactHive(std::string_view image, std::string& out, std::string& why);

// The bytes of the free cells inside the hive bins of a whole hive file
// image, and the size of the bins. False when the cells do not tile each
// bin exactly.
bool HiveFreeSpace(std::string_view image, uint64_t& free_bytes, uint64_t& bins);

// Longest value data stored in a plain cell; longer data need big-data
// records in hives of version 1.4 and later.
inline constexpr size_t kMaxPlainValueData = 16344;

// The "lh" hash of a name given as its upper-cased UTF-16 code units.
uint32_t SubkeyNameHash(std::u16string_view upper_name);

}  // namespace pelvar::platform
