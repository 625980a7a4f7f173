#include "platform/hive_format.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelvar::platform {

namespace {

// Offsets in the file are relative to the first hive bin, which follows the
// 4 KiB base block.
constexpr uint64_t kBinsStart = 0x1000;

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

uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
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

}  // namespace pelvar::platform

namespace pelvar::platform {

namespace {

constexpr uint32_t kNoCell = 0xFFFFFFFF;
constexpr uint64_t kBinSize = 0x1000;
constexpr uint64_t kBinHeader = 0x20;

uint32_t HeaderChecksum(const unsigned char* header) {
  uint32_t sum = 0;
  for (int i = 0; i < 127; ++i) sum ^= LittleEndian32(header + i * 4);
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  if (sum == 0) return 1;
  return sum;
}

void Put32(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
  s[at + 2] = static_cast<char>(v >> 16);
  s[at + 3] = static_cast<char>(v >> 24);
}

uint32_t Get32(std::string_view s, size_t at) {
  return LittleEndian32(reinterpret_cast<const unsigned char*>(s.data() + at));
}

uint16_t Get16(std::string_view s, size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

MappedHive::MappedHive(int fd, uint64_t size) : size_(static_cast<size_t>(size)) {
  if (size_ == 0) return;
  void* p = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
  if (p != MAP_FAILED) data_ = static_cast<const char*>(p);
}

MappedHive::~MappedHive() {
  if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
}

std::string HiveHeaderProblem(std::string_view image, HiveHeader& out,
                              std::vector<uint64_t>* bin_starts) {
  if (image.size() < kBinsStart || image.substr(0, 4) != "regf") return "not a registry hive file";
  const auto* b = reinterpret_cast<const unsigned char*>(image.data());
  out.sequence1 = LittleEndian32(b + 4);
  out.sequence2 = LittleEndian32(b + 8);
  out.major = LittleEndian32(b + 20);
  out.minor = LittleEndian32(b + 24);
  if (HeaderChecksum(b) != LittleEndian32(b + 0x1FC)) {
    return "the header's checksum does not match the header";
  }
  if (out.major != 1 || out.minor < 2 || out.minor > 6) {
    return "unknown hive format version " + std::to_string(out.major) + "." +
           std::to_string(out.minor);
  }
  const uint32_t root = LittleEndian32(b + 0x24);
  const uint32_t bins = LittleEndian32(b + 0x28);
  if (bins == 0 || bins % kBinSize != 0) {
    return "the header gives a size of the hive bins (" + std::to_string(bins) +
           " bytes) that is not a whole number of blocks";
  }
  if (kBinsStart + bins > image.size()) {
    return "the header says the hive bins take " + std::to_string(bins) +
           " bytes, but the file holds only " + std::to_string(image.size() - kBinsStart);
  }
  for (uint64_t at = 0; at < bins;) {
    const unsigned char* h = b + kBinsStart + at;
    const uint32_t size = LittleEndian32(h + 8);
    if (std::memcmp(h, "hbin", 4) != 0 || LittleEndian32(h + 4) != at || size == 0 ||
        size % kBinSize != 0 || at + size > bins) {
      return "the hive bins do not form a chain of the size the header gives (at offset " +
             std::to_string(at) + ")";
    }
    if (bin_starts != nullptr) bin_starts->push_back(at);
    at += size;
  }
  const unsigned char* cell = b + kBinsStart + root;
  if (root % 8 != 0 || root + 80 > bins || static_cast<int32_t>(LittleEndian32(cell)) >= 0 ||
      cell[4] != 'n' || cell[5] != 'k') {
    return "the header's root key offset does not lead to a key";
  }
  return {};
}

std::string HiveHeaderProblem(int fd, uint64_t file_size, HiveHeader& out) {
  if (file_size < kBinsStart) return "not a registry hive file";
  // Mapped rather than read: the chain of bins is checked without a read
  // per bin, and without copying a large hive.
  const MappedHive image(fd, file_size);
  if (!image.ok()) return "the hive cannot be read";
  return HiveHeaderProblem(image.view(), out);
}

namespace {

// The reachable cells of a hive image, copied in the order first reached.
class Compactor {
 public:
  Compactor(std::string_view image, uint32_t minor) : in_(image), minor_(minor) {
    bins_ = Get32(image, 0x28);
    index_.assign(bins_ / 8 + 1, 0);
    // Cells average some 60 bytes in real hives.
    cells_.reserve(bins_ / 64);
    order_.reserve(bins_ / 64);
  }

  bool Run(std::string& out, std::string& why) {
    const uint32_t root = Get32(in_, 0x24);
    if (!Reach(root, Kind::kKey)) return Fail(why);
    while (!pending_.empty()) {
      const auto [offset, kind] = pending_.back();
      pending_.pop_back();
      if (!Visit(offset, kind)) return Fail(why);
    }
    Layout();
    out.assign(in_.substr(0, kBinsStart));
    out.resize(kBinsStart + new_bins_, '\0');
    WriteBins(out);
    for (const uint32_t old_offset : order_) Copy(out, old_offset, *Find(old_offset));
    RelinkSecurity(out);
    Put32(out, 0x24, Find(root)->offset);
    Put32(out, 0x28, static_cast<uint32_t>(new_bins_));
    Put32(out, 0x1FC, HeaderChecksum(reinterpret_cast<const unsigned char*>(out.data())));
    return true;
  }

 private:
  enum class Kind {
    kKey,
    kSubkeyList,
    kValueList,
    kValue,
    kData,
    kBigData,
    kSegmentList,
    kSecurity
  };
  struct Cell {
    Kind kind;
    uint32_t size = 0;    // bytes of the cell with its size field
    uint32_t offset = 0;  // in the new image, from the first bin
    uint32_t count = 0;   // entries of a value or segment list
    uint32_t order = 0;   // when it was reached
  };

  const Cell* Find(uint32_t offset) const {
    if (offset % 8 != 0 || offset / 8 >= index_.size()) return nullptr;
    const uint32_t n = index_[offset / 8];
    return n == 0 ? nullptr : &cells_[n - 1];
  }
  Cell* Find(uint32_t offset) {
    return const_cast<Cell*>(static_cast<const Compactor*>(this)->Find(offset));
  }

  bool Fail(std::string& why) {
    why = problem_;
    return false;
  }

  // The cell at `offset`, when it is an allocated cell inside the bins.
  bool CellAt(uint32_t offset, uint32_t& size) {
    if (offset % 8 != 0 || uint64_t{offset} + 8 > bins_) return false;
    const auto raw = static_cast<int32_t>(Get32(in_, kBinsStart + offset));
    if (raw >= 0 || raw == INT32_MIN) return false;
    size = static_cast<uint32_t>(-raw);
    return size >= 8 && uint64_t{offset} + size <= bins_;
  }

  // Records a link to a cell; false when it leads nowhere.
  bool Reach(uint32_t offset, Kind kind, uint32_t count = 0) {
    if (Find(offset) != nullptr) return true;
    uint32_t size = 0;
    if (!CellAt(offset, size)) {
      problem_ = "a link to offset " + std::to_string(offset) + " does not lead to a cell";
      return false;
    }
    cells_.push_back(Cell{kind, size, 0, count, static_cast<uint32_t>(order_.size())});
    index_[offset / 8] = static_cast<uint32_t>(cells_.size());
    order_.push_back(offset);
    pending_.emplace_back(offset, kind);
    return true;
  }

  // Cell data (after the size field) of at least `need` bytes.
  std::string_view Data(uint32_t offset, size_t need) {
    const Cell& c = *Find(offset);
    if (c.size - 4 < need) return {};
    return in_.substr(kBinsStart + offset + 4, c.size - 4);
  }

  bool Visit(uint32_t offset, Kind kind) {
    const uint32_t count = Find(offset)->count;
    switch (kind) {
      case Kind::kKey: {
        const std::string_view d = Data(offset, 0x4C);
        if (d.empty() || d.substr(0, 2) != "nk") return Bad(offset, "key");
        const uint32_t subkeys = Get32(d, 0x14);
        if (subkeys > 0 && !Reach(Get32(d, 0x1C), Kind::kSubkeyList)) return false;
        const uint32_t values = Get32(d, 0x24);
        if (values > 0 && !Reach(Get32(d, 0x28), Kind::kValueList, values)) return false;
        if (Get32(d, 0x2C) != kNoCell && !Reach(Get32(d, 0x2C), Kind::kSecurity)) return false;
        if (Get16(d, 0x4A) > 0 && Get32(d, 0x30) != kNoCell &&
            !Reach(Get32(d, 0x30), Kind::kData)) {
          return false;
        }
        return true;
      }
      case Kind::kSubkeyList: {
        const std::string_view d = Data(offset, 4);
        if (d.empty()) return Bad(offset, "subkey list");
        const std::string_view id = d.substr(0, 2);
        const uint32_t n = Get16(d, 2);
        const bool hashed = id == "lf" || id == "lh";
        const size_t stride = hashed ? 8 : 4;
        if ((!hashed && id != "li" && id != "ri") || d.size() < 4 + n * stride) {
          return Bad(offset, "subkey list");
        }
        for (uint32_t i = 0; i < n; ++i) {
          const uint32_t target = Get32(d, 4 + i * stride);
          if (!Reach(target, id == "ri" ? Kind::kSubkeyList : Kind::kKey)) return false;
        }
        return true;
      }
      case Kind::kValueList: {
        const std::string_view d = Data(offset, size_t{count} * 4);
        if (d.empty()) return Bad(offset, "value list");
        for (uint32_t i = 0; i < count; ++i) {
          if (!Reach(Get32(d, i * 4), Kind::kValue)) return false;
        }
        return true;
      }
      case Kind::kValue: {
        const std::string_view d = Data(offset, 0x14);
        if (d.empty() || d.substr(0, 2) != "vk") return Bad(offset, "value");
        const uint32_t length = Get32(d, 0x04);
        if ((length & 0x80000000u) != 0 || length == 0) return true;  // data inside the record
        const uint32_t data = Get32(d, 0x08);
        uint32_t size = 0;
        if (!CellAt(data, size)) return Reach(data, Kind::kData);  // reports the link
        const std::string_view head = in_.substr(kBinsStart + data + 4, 2);
        const bool big = minor_ >= 4 && length > kMaxPlainValueData && size >= 12 && head == "db";
        return Reach(data, big ? Kind::kBigData : Kind::kData);
      }
      case Kind::kBigData: {
        const std::string_view d = Data(offset, 8);
        if (d.empty()) return Bad(offset, "big-data record");
        return Reach(Get32(d, 4), Kind::kSegmentList, Get16(d, 2));
      }
      case Kind::kSegmentList: {
        const std::string_view d = Data(offset, size_t{count} * 4);
        if (d.empty()) return Bad(offset, "big-data segment list");
        for (uint32_t i = 0; i < count; ++i) {
          if (!Reach(Get32(d, i * 4), Kind::kData)) return false;
        }
        return true;
      }
      case Kind::kSecurity: {
        const std::string_view d = Data(offset, 0x14);
        if (d.empty() || d.substr(0, 2) != "sk") return Bad(offset, "security record");
        security_.push_back(offset);
        return true;
      }
      case Kind::kData:
        return true;
    }
    return true;
  }

  bool Bad(uint32_t offset, const char* what) {
    problem_ =
        std::string("the ") + what + " at offset " + std::to_string(offset) + " is not well-formed";
    return false;
  }

  // Gives each cell its new offset, in the order reached, starting a new bin
  // when a cell does not fit the rest of the current one.
  void Layout() {
    uint64_t bin_start = 0;
    uint64_t bin_end = 0;
    uint64_t at = 0;
    for (const uint32_t old_offset : order_) {
      Cell& c = *Find(old_offset);
      if (at + c.size > bin_end) {
        if (bin_end > bin_start) bins_list_.emplace_back(bin_start, bin_end - bin_start);
        bin_start = bin_end;
        const uint64_t need = kBinHeader + c.size;
        bin_end = bin_start + (need + kBinSize - 1) / kBinSize * kBinSize;
        at = bin_start + kBinHeader;
      }
      c.offset = static_cast<uint32_t>(at);
      at += c.size;
    }
    if (bin_end == bin_start) bin_end = bin_start + kBinSize;  // never empty
    bins_list_.emplace_back(bin_start, bin_end - bin_start);
    new_bins_ = bin_end;
  }

  // Bin headers, and each bin's unused tail as one free cell.
  void WriteBins(std::string& out) {
    for (const auto& [start, size] : bins_list_) {
      const size_t h = kBinsStart + start;
      out.replace(h, 4, "hbin");
      Put32(out, h + 4, static_cast<uint32_t>(start));
      Put32(out, h + 8, static_cast<uint32_t>(size));
      Put32(out, h + kBinHeader, static_cast<uint32_t>(size - kBinHeader));
    }
    // The free tails: from the end of the last cell in each bin.
    size_t bin = 0;
    for (const uint32_t old_offset : order_) {
      const Cell& c = *Find(old_offset);
      while (c.offset >= bins_list_[bin].first + bins_list_[bin].second) ++bin;
      const uint64_t end = c.offset + c.size;
      const uint64_t bin_end = bins_list_[bin].first + bins_list_[bin].second;
      if (end < bin_end) Put32(out, kBinsStart + end, static_cast<uint32_t>(bin_end - end));
    }
  }

  uint32_t Map(uint32_t old_offset) const {
    const Cell* c = Find(old_offset);
    return c == nullptr ? old_offset : c->offset;
  }

  void MapAt(std::string& out, size_t at) {
    Put32(out, at, Map(LittleEndian32(reinterpret_cast<const unsigned char*>(out.data() + at))));
  }

  void Copy(std::string& out, uint32_t old_offset, const Cell& c) {
    const size_t to = kBinsStart + c.offset;
    out.replace(to, c.size, in_.substr(kBinsStart + old_offset, c.size));
    const size_t d = to + 4;
    switch (c.kind) {
      case Kind::kKey: {
        const uint32_t parent = Get32(out, d + 0x10);
        if (Find(parent) != nullptr) Put32(out, d + 0x10, Map(parent));
        if (Get32(out, d + 0x14) > 0) MapAt(out, d + 0x1C);
        // Volatile keys live only in memory; their list means nothing on disk.
        Put32(out, d + 0x18, 0);
        Put32(out, d + 0x20, kNoCell);
        if (Get32(out, d + 0x24) > 0) MapAt(out, d + 0x28);
        if (Get32(out, d + 0x2C) != kNoCell) MapAt(out, d + 0x2C);
        if (Get16(out, d + 0x4A) > 0 && Get32(out, d + 0x30) != kNoCell) MapAt(out, d + 0x30);
        break;
      }
      case Kind::kSubkeyList: {
        const std::string_view id = std::string_view(out).substr(d, 2);
        const size_t stride = id == "lf" || id == "lh" ? 8 : 4;
        for (uint32_t i = 0, n = Get16(out, d + 2); i < n; ++i) MapAt(out, d + 4 + i * stride);
        break;
      }
      case Kind::kValueList:
      case Kind::kSegmentList:
        for (uint32_t i = 0; i < c.count; ++i) MapAt(out, d + i * 4);
        break;
      case Kind::kValue: {
        const uint32_t length = Get32(out, d + 0x04);
        if ((length & 0x80000000u) == 0 && length != 0) MapAt(out, d + 0x08);
        break;
      }
      case Kind::kBigData:
        MapAt(out, d + 4);
        break;
      case Kind::kSecurity:
      case Kind::kData:
        break;
    }
  }

  // The security records form a ring; each counts the keys that use it.
  void RelinkSecurity(std::string& out) {
    std::unordered_map<uint32_t, uint32_t> uses;
    for (const uint32_t old_offset : order_) {
      const Cell& c = *Find(old_offset);
      if (c.kind != Kind::kKey) continue;
      const uint32_t sk = Get32(out, kBinsStart + c.offset + 4 + 0x2C);
      if (sk != kNoCell) ++uses[sk];
    }
    const size_t n = security_.size();
    for (size_t i = 0; i < n; ++i) {
      const uint32_t self = Map(security_[i]);
      const size_t d = kBinsStart + self + 4;
      Put32(out, d + 0x04, Map(security_[(i + 1) % n]));
      Put32(out, d + 0x08, Map(security_[(i + n - 1) % n]));
      Put32(out, d + 0x0C, uses[self]);
    }
  }

  std::string_view in_;
  uint32_t minor_;
  uint64_t bins_ = 0;
  // The cells reached, and for each 8-byte slot of the bins the number of
  // the cell that starts there (0: none), so a link is looked up at once.
  std::vector<Cell> cells_;
  std::vector<uint32_t> index_;
  std::vector<uint32_t> order_;
  std::vector<std::pair<uint32_t, Kind>> pending_;
  std::vector<uint32_t> security_;
  std::vector<std::pair<uint64_t, uint64_t>> bins_list_;
  uint64_t new_bins_ = 0;
  std::string problem_;
};

}  // namespace

bool HiveFreeSpace(std::string_view image, uint64_t& free_bytes, uint64_t& bins) {
  free_bytes = 0;
  bins = 0;
  if (image.size() < kBinsStart + kBinSize || image.substr(0, 4) != "regf") return false;
  bins = Get32(image, 0x28);
  if (kBinsStart + bins > image.size()) return false;
  for (uint64_t at = 0; at < bins;) {
    const size_t h = kBinsStart + at;
    const uint64_t size = Get32(image, h + 8);
    if (image.substr(h, 4) != "hbin" || size < kBinSize || at + size > bins) return false;
    for (uint64_t cell = at + kBinHeader; cell < at + size;) {
      if (at + size - cell < 4) return false;
      const auto raw = static_cast<int32_t>(Get32(image, kBinsStart + cell));
      if (raw == 0 || raw == INT32_MIN) return false;
      const uint64_t cell_size = raw < 0 ? static_cast<uint64_t>(-int64_t{raw}) : uint64_t(raw);
      if (cell + cell_size > at + size) return false;
      if (raw > 0) free_bytes += cell_size;
      cell += cell_size;
    }
    at += size;
  }
  return true;
}

bool CompactHive(std::string_view image, std::string& out, std::string& why) {
  if (image.size() < kBinsStart + kBinSize || image.substr(0, 4) != "regf") {
    why = "not a registry hive file";
    return false;
  }
  const uint64_t bins = Get32(image, 0x28);
  if (kBinsStart + bins > image.size()) {
    why = "the hive bins run past the end of the file";
    return false;
  }
  Compactor compactor(image, Get32(image, 0x18));
  return compactor.Run(out, why);
}

}  // namespace pelvar::platform
