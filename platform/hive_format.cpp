#include "platform/hive_format.h"

#include <unistd.h>

#include <cstring>

namespace pelvar::platform {

namespace {

// Offsets in the file are relative to the first hive bin, which follows the
// 4 KiB base block.
constexpr uint64_t kBinsStart = 0x1000;
constexpr uint64_t kNkSubkeyList = 0x20;  // offset of the subkey list in an nk cell

bool ReadAt(int fd, uint64_t offset, void* data, size_t size) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool WriteAt(int fd, uint64_t offset, const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool Read32(int fd, uint64_t offset, uint32_t& out) {
  unsigned char b[4];
  if (!ReadAt(fd, offset, b, 4)) return false;
  out = LittleEndian32(b);
  return true;
}

// A list cell: its two-letter id and its number of entries.
struct ListCell {
  char id[2] = {0, 0};
  uint16_t count = 0;
  bool Is(const char* name) const { return id[0] == name[0] && id[1] == name[1]; }
};

bool ReadListCell(int fd, uint64_t cell, ListCell& out) {
  unsigned char b[4];
  if (!ReadAt(fd, cell + 4, b, 4)) return false;
  out.id[0] = static_cast<char>(b[0]);
  out.id[1] = static_cast<char>(b[1]);
  out.count = static_cast<uint16_t>(b[2] | (b[3] << 8));
  return true;
}

// Looks for `child` in one leaf list and sets its hash when the list has one.
SetHashResult SetInLeaf(int fd, uint64_t leaf, uint32_t child_rel, uint32_t hash) {
  ListCell cell;
  if (!ReadListCell(fd, leaf, cell)) return SetHashResult::kIoError;
  const bool hashed = cell.Is("lh") || cell.Is("lf");
  if (!hashed && !cell.Is("li")) return SetHashResult::kNotFound;
  const uint64_t stride = hashed ? 8 : 4;
  for (uint64_t i = 0; i < cell.count; ++i) {
    uint32_t offset = 0;
    const uint64_t entry = leaf + 8 + i * stride;
    if (!Read32(fd, entry, offset)) return SetHashResult::kIoError;
    if (offset != child_rel) continue;
    if (!cell.Is("lh")) return SetHashResult::kOldList;
    const unsigned char b[4] = {
        static_cast<unsigned char>(hash), static_cast<unsigned char>(hash >> 8),
        static_cast<unsigned char>(hash >> 16), static_cast<unsigned char>(hash >> 24)};
    return WriteAt(fd, entry + 4, b, 4) ? SetHashResult::kSet : SetHashResult::kIoError;
  }
  return SetHashResult::kNotFound;
}

}  // namespace

bool ReadHiveHeader(int fd, HiveHeader& out) {
  unsigned char b[28];
  if (!ReadAt(fd, 0, b, sizeof b) || std::memcmp(b, "regf", 4) != 0) return false;
  out.sequence1 = LittleEndian32(b + 4);
  out.sequence2 = LittleEndian32(b + 8);
  out.major = LittleEndian32(b + 20);
  out.minor = LittleEndian32(b + 24);
  return true;
}

uint32_t SubkeyNameHash(std::u16string_view upper_name) {
  uint32_t hash = 0;
  for (const char16_t unit : upper_name) hash = hash * 37 + unit;
  return hash;
}

SetHashResult SetSubkeyHash(int fd, uint64_t parent, uint64_t child, uint32_t hash) {
  uint32_t list_rel = 0;
  if (child < kBinsStart || !Read32(fd, parent + kNkSubkeyList, list_rel)) {
    return SetHashResult::kIoError;
  }
  const uint64_t list = list_rel + kBinsStart;
  const auto child_rel = static_cast<uint32_t>(child - kBinsStart);
  ListCell cell;
  if (!ReadListCell(fd, list, cell)) return SetHashResult::kIoError;
  if (!cell.Is("ri")) return SetInLeaf(fd, list, child_rel, hash);
  for (uint64_t i = 0; i < cell.count; ++i) {
    uint32_t leaf_rel = 0;
    if (!Read32(fd, list + 8 + i * 4, leaf_rel)) return SetHashResult::kIoError;
    const SetHashResult result = SetInLeaf(fd, leaf_rel + kBinsStart, child_rel, hash);
    if (result != SetHashResult::kNotFound) return result;
  }
  return SetHashResult::kNotFound;
}

}  // namespace pelvar::platform
