#include "platform/hive_image.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unordered_set>

#include "platform/hive_format.h"
#include "platform/registry_text.h"

namespace pelvar::platform {

namespace {

constexpr uint64_t kBinsStart = 0x1000;  // the first bin follows the base block
constexpr uint64_t kPage = 0x1000;
constexpr uint64_t kBinHeader = 0x20;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kInline = 0x80000000;
// Cells larger than this are refused: no record of a sound hive comes near.
constexpr size_t kMaxCell = size_t{1} << 30;

// Key record fields, from the start of its data.
constexpr size_t kNkFlags = 0x02;
constexpr size_t kNkTime = 0x04;
constexpr size_t kNkParent = 0x10;
constexpr size_t kNkSubkeys = 0x14;
constexpr size_t kNkVolatileSubkeys = 0x18;
constexpr size_t kNkSubkeyList = 0x1C;
constexpr size_t kNkVolatileList = 0x20;
constexpr size_t kNkValues = 0x24;
constexpr size_t kNkValueList = 0x28;
constexpr size_t kNkSecurity = 0x2C;
constexpr size_t kNkClass = 0x30;
constexpr size_t kNkMaxSubkeyName = 0x34;
constexpr size_t kNkMaxValueName = 0x3C;
constexpr size_t kNkMaxValueData = 0x40;
constexpr size_t kNkNameLength = 0x48;
constexpr size_t kNkClassLength = 0x4A;
constexpr size_t kNkName = 0x4C;
constexpr uint16_t kCompressedKeyName = 0x20;

// Value record fields.
constexpr size_t kVkNameLength = 0x02;
constexpr size_t kVkLength = 0x04;
constexpr size_t kVkData = 0x08;
constexpr size_t kVkType = 0x0C;
constexpr size_t kVkFlags = 0x10;
constexpr size_t kVkName = 0x14;
constexpr uint16_t kCompressedValueName = 0x01;

// Security record: the ring's links and the count of keys using it.
constexpr size_t kSkNext = 0x04;
constexpr size_t kSkPrevious = 0x08;
constexpr size_t kSkUses = 0x0C;

// Bytes of data in every big-data segment but the last.
constexpr size_t kSegment = kMaxPlainValueData;

uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
void Put32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
void Put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Put64(unsigned char* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

uint64_t Round8(uint64_t n) {
  return (n + 7) & ~uint64_t{7};
}

// Now, in 100 ns steps since 1601, as the hive's times are kept.
uint64_t FileTimeNow() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return (static_cast<uint64_t>(ts.tv_sec) + 11644473600ULL) * 10000000ULL +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

std::string Latin1ToUtf8(const unsigned char* p, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x80) {
      out += static_cast<char>(p[i]);
    } else {
      out += static_cast<char>(0xC0 | (p[i] >> 6));
      out += static_cast<char>(0x80 | (p[i] & 0x3F));
    }
  }
  return out;
}

// A name as the hive stores it: Latin-1 ("compressed") when every code unit
// fits a byte, else UTF-16LE.
struct StoredName {
  std::string bytes;
  bool compressed = true;
  size_t units = 0;
};

StoredName StoreName(std::string_view utf8) {
  const std::string utf16 = TextToUtf16Le(utf8);
  StoredName out;
  out.units = utf16.size() / 2;
  for (size_t i = 1; i < utf16.size(); i += 2) {
    if (utf16[i] != 0) out.compressed = false;
  }
  if (!out.compressed) {
    out.bytes = utf16;
    return out;
  }
  for (size_t i = 0; i < utf16.size(); i += 2) out.bytes += utf16[i];
  return out;
}

// Whether the first four characters of a key name fit an "lf" list's
// hints: one byte each, ASCII.
bool HintFits(std::string_view name) {
  const std::string utf16 = TextToUtf16Le(name);
  for (size_t i = 0; i < 4 && i * 2 + 1 < utf16.size(); ++i) {
    if (utf16[i * 2 + 1] != 0 || static_cast<unsigned char>(utf16[i * 2]) >= 0x80) return false;
  }
  return true;
}

std::string Damaged(const char* what, uint64_t rel) {
  return std::string("the hive is damaged: the ") + what + " at offset " + std::to_string(rel) +
         " is not well-formed";
}

}  // namespace

struct HiveImage::Leaf {
  uint64_t rel;
  uint16_t count;
};

HiveImage::~HiveImage() {
  Unmap();
}

void HiveImage::Unmap() {
  if (map_ != nullptr) ::munmap(map_, map_size_);
  map_ = nullptr;
  map_size_ = 0;
}

std::unique_ptr<HiveImage> HiveImage::Map(int fd, uint64_t size, bool writable, HiveHeader& header,
                                          std::string& why) {
  std::unique_ptr<HiveImage> image(new HiveImage());
  image->writable_ = writable;
  if (!image->MapFile(fd, size, why)) return nullptr;
  // The header and the chain of bins, checked on the mapping itself.
  why = HiveHeaderProblem(
      std::string_view(reinterpret_cast<const char*>(image->map_), image->map_size_), header,
      &image->bin_starts_);
  if (!why.empty()) return nullptr;
  image->mapped_bins_ = Get32(image->map_ + 0x28);
  image->dirty_.assign((kBinsStart + image->mapped_bins_ + kPage - 1) / kPage, false);
  return image;
}

bool HiveImage::MapFile(int fd, uint64_t size, std::string& why) {
  Unmap();
  tail_.clear();
  changed_ = false;
  freed_ = 0;
  if (size < kBinsStart) {
    why = "not a registry hive file";
    return false;
  }
  // Private: changes stay in this process until they are written out.
  void* p =
      ::mmap(nullptr, size, writable_ ? PROT_READ | PROT_WRITE : PROT_READ, MAP_PRIVATE, fd, 0);
  if (p == MAP_FAILED) {
    why = std::string("cannot map the hive: ") + std::strerror(errno);
    return false;
  }
  map_ = static_cast<unsigned char*>(p);
  map_size_ = size;
  return true;
}

bool HiveImage::Remap(int fd, uint64_t size, std::string& why) {
  // The layout is the one written: the bins and the free cells known stay
  // where they are.
  const uint64_t bins = bins_size();
  if (size < kBinsStart + bins) {
    why = "the written hive is shorter than its bins";
    return false;
  }
  if (!MapFile(fd, size, why)) return false;
  mapped_bins_ = bins;
  dirty_.assign((kBinsStart + mapped_bins_ + kPage - 1) / kPage, false);
  return true;
}

HiveImage::Offset HiveImage::root() const {
  return kBinsStart + Get32(map_ + 0x24);
}

uint32_t HiveImage::minor() const {
  return Get32(map_ + 0x18);
}

uint64_t HiveImage::bins_size() const {
  return tail_.empty() ? mapped_bins_ : tail_.back().start + tail_.back().bytes.size();
}

bool HiveImage::BinOf(uint64_t rel, uint64_t& start, uint64_t& end) const {
  if (rel >= bins_size()) return false;
  const auto it = std::upper_bound(bin_starts_.begin(), bin_starts_.end(), rel);
  if (it == bin_starts_.begin()) return false;
  start = *(it - 1);
  end = it == bin_starts_.end() ? bins_size() : *it;
  return true;
}

const unsigned char* HiveImage::At(uint64_t rel, size_t len) const {
  uint64_t start = 0;
  uint64_t end = 0;
  if (!BinOf(rel, start, end) || len > end - rel) return nullptr;
  if (end <= mapped_bins_) return map_ + kBinsStart + rel;
  // New bins are added in order.
  const auto bin = std::lower_bound(tail_.begin(), tail_.end(), start,
                                    [](const TailBin& b, uint64_t s) { return b.start < s; });
  if (bin != tail_.end() && bin->start == start) return bin->bytes.data() + (rel - start);
  return nullptr;
}

unsigned char* HiveImage::Mut(uint64_t rel, size_t len) {
  auto* p = const_cast<unsigned char*>(At(rel, len));
  if (p == nullptr) return nullptr;
  changed_ = true;
  if (rel < mapped_bins_) {
    const uint64_t first = (kBinsStart + rel) / kPage;
    const uint64_t last = (kBinsStart + rel + std::max<size_t>(len, 1) - 1) / kPage;
    for (uint64_t page = first; page <= last && page < dirty_.size(); ++page) dirty_[page] = true;
  }
  return p;
}

const unsigned char* HiveImage::Cell(uint64_t rel, size_t need, uint32_t* size) const {
  if (rel % 8 != 0) return nullptr;
  const unsigned char* head = At(rel, 4);
  if (head == nullptr) return nullptr;
  const auto raw = static_cast<int32_t>(Get32(head));
  if (raw >= 0 || raw == INT32_MIN) return nullptr;
  const auto cell = static_cast<uint64_t>(-static_cast<int64_t>(raw));
  if (cell < 8 || cell - 4 < need || At(rel, cell) == nullptr) return nullptr;
  if (size != nullptr) *size = static_cast<uint32_t>(cell - 4);
  return head + 4;
}

const unsigned char* HiveImage::Record(uint64_t rel, const char* id, size_t need) const {
  const unsigned char* d = Cell(rel, std::max<size_t>(need, 2));
  if (d == nullptr || d[0] != id[0] || d[1] != id[1]) return nullptr;
  return d;
}

unsigned char* HiveImage::MutCell(uint64_t rel, size_t need) {
  uint32_t size = 0;
  if (Cell(rel, need, &size) == nullptr) return nullptr;
  return Mut(rel, size + 4) + 4;
}

const unsigned char* HiveImage::KeyRecord(Offset key, uint64_t& rel, std::string& why) const {
  rel = key - kBinsStart;
  const unsigned char* nk = key < kBinsStart ? nullptr : Record(rel, "nk", kNkName);
  if (nk == nullptr) why = Damaged("key", rel);
  return nk;
}

bool HiveImage::ReadKeyName(uint64_t key, std::string& out) const {
  const unsigned char* nk = Record(key, "nk", kNkName);
  if (nk == nullptr) return false;
  const uint16_t length = Get16(nk + kNkNameLength);
  if (Cell(key, kNkName + length) == nullptr) return false;
  out = (Get16(nk + kNkFlags) & kCompressedKeyName) != 0
            ? Latin1ToUtf8(nk + kNkName, length)
            : Utf16LeTextToUtf8(
                  std::string_view(reinterpret_cast<const char*>(nk + kNkName), length));
  return true;
}

// The leaf lists of a subkey list: itself, or the lists an index list
// ("ri") links.
bool HiveImage::Leaves(uint64_t list, std::vector<uint64_t>& leaves, bool& is_index) const {
  leaves.clear();
  const unsigned char* d = Cell(list, 4);
  if (d == nullptr) return false;
  is_index = d[0] == 'r' && d[1] == 'i';
  if (!is_index) {
    leaves.push_back(list);
    return true;
  }
  const uint16_t n = Get16(d + 2);
  if (Cell(list, 4 + size_t{n} * 4) == nullptr) return false;
  for (uint16_t i = 0; i < n; ++i) leaves.push_back(Get32(d + 4 + i * 4));
  return true;
}

bool HiveImage::Subkeys(Offset key, std::vector<Subkey>& out, std::string& why) const {
  out.clear();
  uint64_t rel = 0;
  const unsigned char* nk = KeyRecord(key, rel, why);
  if (nk == nullptr) return false;
  if (Get32(nk + kNkSubkeys) == 0) return true;
  std::vector<uint64_t> leaves;
  bool is_index = false;
  if (!Leaves(Get32(nk + kNkSubkeyList), leaves, is_index)) {
    why = Damaged("subkey list", Get32(nk + kNkSubkeyList));
    return false;
  }
  for (const uint64_t leaf : leaves) {
    const unsigned char* d = Cell(leaf, 4);
    const bool hashed = d != nullptr && (d[0] == 'l' && (d[1] == 'f' || d[1] == 'h'));
    const bool plain = d != nullptr && d[0] == 'l' && d[1] == 'i';
    const size_t stride = hashed ? 8 : 4;
    if ((!hashed && !plain) || Cell(leaf, 4 + size_t{Get16(d + 2)} * stride) == nullptr) {
      why = Damaged("subkey list", leaf);
      return false;
    }
    for (uint16_t i = 0, n = Get16(d + 2); i < n; ++i) {
      const uint64_t child = Get32(d + 4 + i * stride);
      Subkey s{kBinsStart + child, {}};
      if (!ReadKeyName(child, s.name)) {
        why = Damaged("key", child);
        return false;
      }
      out.push_back(std::move(s));
    }
  }
  return true;
}

bool HiveImage::ValueData(const unsigned char* vk, std::string& out) const {
  const uint32_t length = Get32(vk + kVkLength);
  if ((length & kInline) != 0) {
    const uint32_t n = length & ~kInline;
    if (n > 4) return false;
    out.assign(reinterpret_cast<const char*>(vk + kVkData), n);
    return true;
  }
  out.clear();
  if (length == 0) return true;
  const uint32_t data = Get32(vk + kVkData);
  const unsigned char* d = Cell(data, 0);
  if (d == nullptr) return false;
  if (minor() >= 4 && length > kSegment && d[0] == 'd' && d[1] == 'b') {
    const unsigned char* db = Cell(data, 8);
    if (db == nullptr) return false;
    const uint16_t n = Get16(db + 2);
    const unsigned char* list = Cell(Get32(db + 4), size_t{n} * 4);
    if (list == nullptr) return false;
    out.reserve(length);
    for (uint16_t i = 0; i < n && out.size() < length; ++i) {
      const size_t want = std::min<size_t>(kSegment, length - out.size());
      const unsigned char* seg = Cell(Get32(list + i * 4), want);
      if (seg == nullptr) return false;
      out.append(reinterpret_cast<const char*>(seg), want);
    }
    return out.size() == length;
  }
  if (Cell(data, length) == nullptr) return false;
  out.assign(reinterpret_cast<const char*>(d), length);
  return true;
}

bool HiveImage::ReadValue(uint64_t rel, Value& out, std::string& why) const {
  const unsigned char* vk = Record(rel, "vk", kVkName);
  const uint16_t length = vk == nullptr ? 0 : Get16(vk + kVkNameLength);
  if (vk == nullptr || Cell(rel, kVkName + length) == nullptr) {
    why = Damaged("value", rel);
    return false;
  }
  out.name = (Get16(vk + kVkFlags) & kCompressedValueName) != 0
                 ? Latin1ToUtf8(vk + kVkName, length)
                 : Utf16LeTextToUtf8(
                       std::string_view(reinterpret_cast<const char*>(vk + kVkName), length));
  out.type = Get32(vk + kVkType);
  if (!ValueData(vk, out.data)) {
    why = "the hive is damaged: the data of value \"" + out.name + "\" at offset " +
          std::to_string(rel) + " is not where its record says";
    return false;
  }
  return true;
}

bool HiveImage::Values(Offset key, std::vector<Value>& out, std::string& why) const {
  out.clear();
  uint64_t rel = 0;
  const unsigned char* nk = KeyRecord(key, rel, why);
  if (nk == nullptr) return false;
  const uint32_t n = Get32(nk + kNkValues);
  if (n == 0) return true;
  const unsigned char* list = Cell(Get32(nk + kNkValueList), size_t{n} * 4);
  if (n > kMaxCell / 4 || list == nullptr) {
    why = Damaged("value list", Get32(nk + kNkValueList));
    return false;
  }
  out.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (!ReadValue(Get32(list + i * 4), out[i], why)) return false;
  }
  return true;
}

// --- Changes ---------------------------------------------------------------

void HiveImage::ScanTailForFreeCells() {
  tail_scanned_ = true;
  // Bins added by earlier writes lie at the end; their free cells are
  // taken before the file grows again.
  const uint64_t from = mapped_bins_ > 256 * 1024 ? mapped_bins_ - 256 * 1024 : 0;
  auto it = std::upper_bound(bin_starts_.begin(), bin_starts_.end(), from);
  if (it != bin_starts_.begin()) --it;
  for (; it != bin_starts_.end() && *it < mapped_bins_; ++it) {
    const uint64_t start = *it;
    const uint64_t end = (it + 1) == bin_starts_.end() ? mapped_bins_ : *(it + 1);
    for (uint64_t cell = start + kBinHeader; cell + 8 <= end;) {
      const auto raw = static_cast<int32_t>(Get32(map_ + kBinsStart + cell));
      if (raw == 0 || raw == INT32_MIN) break;
      const uint64_t size = raw < 0 ? static_cast<uint64_t>(-int64_t{raw}) : uint64_t(raw);
      if (size < 8 || size % 8 != 0 || cell + size > end) break;
      if (raw > 0 && free_.count(cell) == 0) AddFree(cell, static_cast<uint32_t>(size));
      cell += size;
    }
  }
}

void HiveImage::AddBin(size_t need) {
  const uint64_t size = (need + kBinHeader + kPage - 1) / kPage * kPage;
  TailBin bin;
  bin.start = static_cast<uint32_t>(bins_size());
  bin.bytes.assign(size, 0);
  unsigned char* h = bin.bytes.data();
  std::memcpy(h, "hbin", 4);
  Put32(h + 4, bin.start);
  Put32(h + 8, static_cast<uint32_t>(size));
  Put64(h + 0x14, FileTimeNow());
  Put32(h + kBinHeader, static_cast<uint32_t>(size - kBinHeader));
  AddFree(bin.start + kBinHeader, static_cast<uint32_t>(size - kBinHeader));
  bin_starts_.push_back(bin.start);
  tail_.push_back(std::move(bin));
  changed_ = true;
}

bool HiveImage::Allocate(size_t payload, uint64_t& rel, std::string& why) {
  const uint64_t need = Round8(payload + 4);
  if (need > kMaxCell || bins_size() + need + kPage > size_limit_) {
    why = "the hive would grow past the size a hive can have";
    return false;
  }
  const auto find = [&] {
    // The smallest known free cell that holds it (the first of that size).
    const auto best = free_by_size_.lower_bound({static_cast<uint32_t>(need), 0});
    return best == free_by_size_.end() ? free_.end() : free_.find(best->second);
  };
  auto it = find();
  if (it == free_.end() && !tail_scanned_) {
    ScanTailForFreeCells();
    it = find();
  }
  if (it == free_.end()) {
    AddBin(need);
    it = find();
  }
  rel = it->first;
  uint64_t size = it->second;
  DropFree(rel);
  if (size - need >= 8) {
    unsigned char* rest = Mut(rel + need, 4);
    Put32(rest, static_cast<uint32_t>(size - need));
    AddFree(rel + need, static_cast<uint32_t>(size - need));
    size = need;
  }
  unsigned char* p = Mut(rel, size);
  Put32(p, static_cast<uint32_t>(-static_cast<int32_t>(size)));
  std::memset(p + 4, 0, size - 4);
  edit_cells_.push_back(rel);
  return true;
}

bool HiveImage::Edit(bool done) {
  if (!done) {
    for (auto it = edit_cells_.rbegin(); it != edit_cells_.rend(); ++it) Free(*it);
  }
  edit_cells_.clear();
  return done;
}

void HiveImage::Free(uint64_t rel) {
  uint32_t size = 0;
  uint64_t bin_start = 0;
  uint64_t bin_end = 0;
  if (Cell(rel, 0, &size) == nullptr || !BinOf(rel, bin_start, bin_end)) return;
  // Only a cell where the bin's chain of cells has one is freed (a damaged
  // link may point into another cell); a free cell before it joins it.
  uint64_t start = rel;
  uint64_t cell = uint64_t{size} + 4;
  uint64_t at = bin_start + kBinHeader;
  uint64_t previous = 0;
  bool previous_free = false;
  while (at < rel) {
    const auto raw = static_cast<int32_t>(Get32(At(at, 4)));
    const uint64_t n = raw < 0 ? static_cast<uint64_t>(-int64_t{raw}) : uint64_t(raw);
    if (raw == 0 || raw == INT32_MIN || n % 8 != 0 || at + n > bin_end) return;
    previous = at;
    previous_free = raw > 0;
    at += n;
  }
  if (at != rel) return;
  freed_ += cell;
  // And a free cell after it.
  if (rel + cell + 4 <= bin_end) {
    const auto next = static_cast<int32_t>(Get32(At(rel + cell, 4)));
    if (next > 0 && next % 8 == 0 && rel + cell + static_cast<uint64_t>(next) <= bin_end) {
      DropFree(rel + cell);
      cell += static_cast<uint64_t>(next);
    }
  }
  if (previous_free) {
    DropFree(previous);
    cell += rel - previous;
    start = previous;
  }
  Put32(Mut(start, 4), static_cast<uint32_t>(cell));
  AddFree(start, static_cast<uint32_t>(cell));
}

void HiveImage::AddFree(uint64_t rel, uint32_t size) {
  DropFree(rel);
  free_.emplace(rel, size);
  free_by_size_.emplace(size, rel);
}

void HiveImage::DropFree(uint64_t rel) {
  const auto it = free_.find(rel);
  if (it == free_.end()) return;
  free_by_size_.erase({it->second, rel});
  free_.erase(it);
}

void HiveImage::Touch(uint64_t key) {
  if (unsigned char* nk = MutCell(key, kNkName)) Put64(nk + kNkTime, FileTimeNow());
}

bool HiveImage::StoreData(std::string_view data, uint32_t& length, uint32_t& offset,
                          std::string& why) {
  if (data.size() > 0x7FFFFFFF) {
    why = "the value's data are too large for a hive";
    return false;
  }
  length = static_cast<uint32_t>(data.size());
  if (data.size() <= 4) {
    unsigned char inline_data[4] = {0, 0, 0, 0};
    std::memcpy(inline_data, data.data(), data.size());
    length |= kInline;
    offset = Get32(inline_data);
    return true;
  }
  if (minor() < 4 || data.size() <= kSegment) {
    uint64_t rel = 0;
    if (!Allocate(data.size(), rel, why)) return false;
    std::memcpy(MutCell(rel, data.size()), data.data(), data.size());
    offset = static_cast<uint32_t>(rel);
    return true;
  }
  // Big data: segments of a fixed size, a list of them, and a record
  // pointing at the list.
  const size_t segments = (data.size() + kSegment - 1) / kSegment;
  if (segments > 0xFFFF) {
    why = "the value's data are too large for a hive";
    return false;
  }
  std::vector<uint32_t> offsets;
  for (size_t i = 0; i < segments; ++i) {
    const std::string_view part = data.substr(i * kSegment, kSegment);
    uint64_t rel = 0;
    // Readers take a segment's cell less four bytes: each cell has those
    // four to spare, as the system lays them out.
    if (!Allocate(part.size() + 4, rel, why)) return false;
    std::memcpy(MutCell(rel, part.size()), part.data(), part.size());
    offsets.push_back(static_cast<uint32_t>(rel));
  }
  uint64_t list = 0;
  uint64_t db = 0;
  if (!Allocate(segments * 4, list, why) || !Allocate(8, db, why)) return false;
  unsigned char* l = MutCell(list, segments * 4);
  for (size_t i = 0; i < segments; ++i) Put32(l + i * 4, offsets[i]);
  unsigned char* d = MutCell(db, 8);
  d[0] = 'd';
  d[1] = 'b';
  Put16(d + 2, static_cast<uint16_t>(segments));
  Put32(d + 4, static_cast<uint32_t>(list));
  offset = static_cast<uint32_t>(db);
  return true;
}

void HiveImage::DataCells(const unsigned char* vk, std::vector<uint64_t>& out) const {
  const uint32_t length = Get32(vk + kVkLength);
  if ((length & kInline) != 0 || length == 0) return;
  const uint32_t data = Get32(vk + kVkData);
  const unsigned char* d = Cell(data, 0);
  if (d == nullptr) return;
  if (minor() >= 4 && length > kSegment && d[0] == 'd' && d[1] == 'b') {
    const unsigned char* db = Cell(data, 8);
    const unsigned char* list = db == nullptr ? nullptr : Cell(Get32(db + 4), Get16(db + 2) * 4u);
    if (list != nullptr) {
      for (uint16_t i = 0, n = Get16(db + 2); i < n; ++i) {
        if (Cell(Get32(list + i * 4), 0) != nullptr) out.push_back(Get32(list + i * 4));
      }
      out.push_back(Get32(db + 4));
    }
  }
  out.push_back(data);
}

bool HiveImage::SetValue(Offset key, size_t index, std::string_view name, uint32_t type,
                         std::string_view data, std::string& why) {
  edit_cells_.clear();
  return Edit(ChangeValue(key, index, name, type, data, why));
}

bool HiveImage::ChangeValue(Offset key, size_t index, std::string_view name, uint32_t type,
                            std::string_view data, std::string& why) {
  uint64_t k = 0;
  const unsigned char* nk = KeyRecord(key, k, why);
  if (nk == nullptr) return false;
  const uint32_t count = Get32(nk + kNkValues);
  const uint32_t list = Get32(nk + kNkValueList);
  uint32_t list_size = 0;
  if (count > 0 && Cell(list, size_t{count} * 4, &list_size) == nullptr) {
    why = Damaged("value list", list);
    return false;
  }
  if (index != kNew) {
    if (index >= count) {
      why = "no such value";
      return false;
    }
    const uint64_t vk_rel = Get32(Cell(list, 0) + index * 4);
    const unsigned char* vk = Record(vk_rel, "vk", kVkName);
    if (vk == nullptr) {
      why = Damaged("value", vk_rel);
      return false;
    }
    std::vector<uint64_t> old;
    DataCells(vk, old);
    const uint32_t old_length = Get32(vk + kVkLength);
    uint32_t room = 0;
    const bool plain_cell = old.size() == 1 && Cell(old[0], 0, &room) != nullptr &&
                            !(minor() >= 4 && old_length > kSegment);
    uint32_t length = 0;
    uint32_t offset = 0;
    if (plain_cell && data.size() > 4 && data.size() <= room &&
        (minor() < 4 || data.size() <= kSegment)) {
      // The new data fit where the old were.
      std::memcpy(MutCell(old[0], data.size()), data.data(), data.size());
      length = static_cast<uint32_t>(data.size());
      offset = static_cast<uint32_t>(old[0]);
      old.clear();
    } else if (!StoreData(data, length, offset, why)) {
      return false;
    }
    unsigned char* v = MutCell(vk_rel, kVkName);
    if (v == nullptr) {
      why = Damaged("value", vk_rel);
      return false;
    }
    for (const uint64_t cell : old) Free(cell);
    Put32(v + kVkLength, length);
    Put32(v + kVkData, offset);
    Put32(v + kVkType, type);
  } else {
    const StoredName stored = StoreName(name);
    if (stored.bytes.size() > 0xFFFF) {
      why = "the value name is too long";
      return false;
    }
    uint32_t length = 0;
    uint32_t offset = 0;
    if (!StoreData(data, length, offset, why)) return false;
    uint64_t vk_rel = 0;
    if (!Allocate(kVkName + stored.bytes.size(), vk_rel, why)) return false;
    unsigned char* v = MutCell(vk_rel, kVkName + stored.bytes.size());
    v[0] = 'v';
    v[1] = 'k';
    Put16(v + kVkNameLength, static_cast<uint16_t>(stored.bytes.size()));
    Put32(v + kVkLength, length);
    Put32(v + kVkData, offset);
    Put32(v + kVkType, type);
    Put16(v + kVkFlags, stored.compressed ? kCompressedValueName : 0);
    std::memcpy(v + kVkName, stored.bytes.data(), stored.bytes.size());
    // The list grows in place while its cell has room, else moves to a
    // larger one with room for more.
    uint32_t list_rel = list;
    bool list_moved = false;
    if (count == 0 || size_t{list_size} < (size_t{count} + 1) * 4) {
      uint64_t moved = 0;
      const size_t room = size_t{count} + 1 + std::min<size_t>(count / 4, 1024);
      if (!Allocate(room * 4, moved, why)) return false;
      if (count > 0) {
        const unsigned char* old = Cell(list, size_t{count} * 4);
        if (old == nullptr) {
          why = Damaged("value list", list);
          return false;
        }
        std::memcpy(MutCell(moved, room * 4), old, size_t{count} * 4);
        list_moved = true;
      }
      list_rel = static_cast<uint32_t>(moved);
    }
    unsigned char* l = MutCell(list_rel, (size_t{count} + 1) * 4);
    unsigned char* n = MutCell(k, kNkName);
    if (l == nullptr || n == nullptr) {
      why = Damaged("key", k);
      return false;
    }
    // The old list goes only once nothing can fail any more.
    if (list_moved) Free(list);
    Put32(l + size_t{count} * 4, static_cast<uint32_t>(vk_rel));
    Put32(n + kNkValues, count + 1);
    Put32(n + kNkValueList, list_rel);
    const uint32_t name_bytes = static_cast<uint32_t>(stored.units * 2);
    if (name_bytes > Get32(n + kNkMaxValueName)) Put32(n + kNkMaxValueName, name_bytes);
  }
  unsigned char* n = MutCell(k, kNkName);
  if (n == nullptr) {
    why = Damaged("key", k);
    return false;
  }
  if (data.size() > Get32(n + kNkMaxValueData)) {
    Put32(n + kNkMaxValueData, static_cast<uint32_t>(data.size()));
  }
  Touch(k);
  return true;
}

bool HiveImage::DeleteValue(Offset key, size_t index, std::string& why) {
  const uint64_t k = key - kBinsStart;
  const unsigned char* nk = Record(k, "nk", kNkName);
  const uint32_t count = nk == nullptr ? 0 : Get32(nk + kNkValues);
  const uint32_t list = nk == nullptr ? 0 : Get32(nk + kNkValueList);
  if (nk == nullptr || index >= count || Cell(list, size_t{count} * 4) == nullptr) {
    why = Damaged("key", k);
    return false;
  }
  const uint64_t vk_rel = Get32(Cell(list, 0) + index * 4);
  const unsigned char* vk = Record(vk_rel, "vk", kVkName);
  std::vector<uint64_t> cells;
  if (vk != nullptr) DataCells(vk, cells);
  unsigned char* l = MutCell(list, size_t{count} * 4);
  std::memmove(l + index * 4, l + (index + 1) * 4, (count - 1 - index) * 4);
  unsigned char* n = MutCell(k, kNkName);
  Put32(n + kNkValues, count - 1);
  if (count == 1) {
    Put32(n + kNkValueList, kNone);
    cells.push_back(list);
  }
  if (vk != nullptr) cells.push_back(vk_rel);
  for (const uint64_t cell : cells) Free(cell);
  Touch(k);
  return true;
}

bool HiveImage::AddSubkey(Offset parent, std::string_view name, size_t place, Offset& out,
                          std::string& why) {
  edit_cells_.clear();
  return Edit(InsertSubkey(parent, name, place, out, why));
}

bool HiveImage::InsertSubkey(Offset parent, std::string_view name, size_t place, Offset& out,
                             std::string& why) {
  uint64_t p = 0;
  const unsigned char* nk = KeyRecord(parent, p, why);
  if (nk == nullptr) return false;
  const StoredName stored = StoreName(name);
  const std::u16string upper = NameFoldKey(name);
  const uint32_t count = Get32(nk + kNkSubkeys);
  const uint32_t list = Get32(nk + kNkSubkeyList);
  const uint32_t security = Get32(nk + kNkSecurity);

  // Where the entry goes: the leaf list and the place in it.
  std::vector<uint64_t> leaves;
  bool is_index = false;
  size_t leaf = 0;
  size_t at = place;
  if (count > 0) {
    if (!Leaves(list, leaves, is_index) || leaves.empty()) {
      why = Damaged("subkey list", list);
      return false;
    }
    for (leaf = 0; leaf < leaves.size(); ++leaf) {
      const unsigned char* d = Cell(leaves[leaf], 4);
      if (d == nullptr) {
        why = Damaged("subkey list", leaves[leaf]);
        return false;
      }
      const uint16_t n = Get16(d + 2);
      if (at <= n) break;
      at -= n;
    }
    if (leaf == leaves.size()) {
      why = Damaged("subkey list", list);
      return false;
    }
  }
  // A key's first list: "lh" (hashes of whole names) came with format 1.5;
  // older hives get "lf" (the first four characters as hints), or "li" (no
  // hints) when those characters do not each fit a byte.
  char kind[2] = {'l', 'h'};
  if (minor() < 5) kind[1] = HintFits(name) ? 'f' : 'i';
  uint16_t entries = 0;
  uint32_t room = 0;
  if (count > 0) {
    const unsigned char* d = Cell(leaves[leaf], 4, &room);
    kind[0] = static_cast<char>(d[0]);
    kind[1] = static_cast<char>(d[1]);
    entries = Get16(d + 2);
    if (kind[0] != 'l' || (kind[1] != 'f' && kind[1] != 'h' && kind[1] != 'i')) {
      why = Damaged("subkey list", leaves[leaf]);
      return false;
    }
  }
  const bool hashed = kind[1] != 'i';
  const size_t stride = hashed ? 8 : 4;
  if (count > 0 && (at > entries || Cell(leaves[leaf], 4 + size_t{entries} * stride) == nullptr)) {
    why = Damaged("subkey list", leaves[leaf]);
    return false;
  }
  if (entries == 0xFFFF) {
    why = "too many subkeys: the key's list holds 65,535, the most one list can";
    return false;
  }
  // An "lf" list keeps the first four characters of each name, which must
  // each fit a byte.
  unsigned char hint[4] = {0, 0, 0, 0};
  if (kind[1] == 'f') {
    if (!HintFits(name)) {
      why = "a key name outside ASCII cannot be added to this hive's older kind of subkey list";
      return false;
    }
    const std::string utf16 = TextToUtf16Le(name);
    for (size_t i = 0; i < 4 && i * 2 < utf16.size(); ++i) {
      hint[i] = static_cast<unsigned char>(utf16[i * 2]);
    }
  } else if (kind[1] == 'h') {
    Put32(hint, SubkeyNameHash(upper));
  }
  if (stored.bytes.size() > 0xFFFF) {
    why = "the key name is too long";
    return false;
  }

  // The key record, sharing the parent's security record.
  uint64_t child = 0;
  if (!Allocate(kNkName + stored.bytes.size(), child, why)) return false;
  unsigned char* c = MutCell(child, kNkName + stored.bytes.size());
  c[0] = 'n';
  c[1] = 'k';
  Put16(c + kNkFlags, stored.compressed ? kCompressedKeyName : 0);
  Put64(c + kNkTime, FileTimeNow());
  Put32(c + kNkParent, static_cast<uint32_t>(p));
  Put32(c + kNkSubkeyList, kNone);
  Put32(c + kNkVolatileList, kNone);
  Put32(c + kNkValueList, kNone);
  Put32(c + kNkSecurity, security);
  Put32(c + kNkClass, kNone);
  Put16(c + kNkNameLength, static_cast<uint16_t>(stored.bytes.size()));
  std::memcpy(c + kNkName, stored.bytes.data(), stored.bytes.size());
  const bool shares_security = security != kNone && Record(security, "sk", 0x14) != nullptr;
  if (!shares_security) Put32(c + kNkSecurity, kNone);

  // The leaf with the entry: in place when its cell has room, else a larger
  // cell with room for more.
  uint64_t target = count > 0 ? leaves[leaf] : 0;
  bool leaf_moved = false;
  if (count == 0 || room < 4 + (size_t{entries} + 1) * stride) {
    const size_t slots = size_t{entries} + 1 + std::min<size_t>(entries / 4, 256);
    uint64_t moved = 0;
    if (!Allocate(4 + slots * stride, moved, why)) return false;
    unsigned char* m = MutCell(moved, 4 + slots * stride);
    if (count > 0) {
      const unsigned char* old = Cell(leaves[leaf], 4 + size_t{entries} * stride);
      if (old == nullptr) {
        why = Damaged("subkey list", leaves[leaf]);
        return false;
      }
      std::memcpy(m, old, 4 + size_t{entries} * stride);
      leaf_moved = true;
    } else {
      m[0] = kind[0];
      m[1] = kind[1];
    }
    target = moved;
  }
  unsigned char* l = MutCell(target, 4 + (size_t{entries} + 1) * stride);
  unsigned char* ri = is_index ? MutCell(list, 4 + (leaf + 1) * 4) : nullptr;
  unsigned char* n = MutCell(p, kNkName);
  if (l == nullptr || n == nullptr || (is_index && ri == nullptr)) {
    why = Damaged("subkey list", target);
    return false;
  }
  // Nothing can fail from here on: the old leaf goes and the new key
  // counts as a user of the security record only now.
  if (leaf_moved) Free(leaves[leaf]);
  if (shares_security) {
    unsigned char* sk = MutCell(security, 0x14);
    Put32(sk + kSkUses, Get32(sk + kSkUses) + 1);
  }
  std::memmove(l + 4 + (at + 1) * stride, l + 4 + at * stride, (entries - at) * stride);
  Put32(l + 4 + at * stride, static_cast<uint32_t>(child));
  if (hashed) std::memcpy(l + 4 + at * stride + 4, hint, 4);
  Put16(l + 2, static_cast<uint16_t>(entries + 1));
  if (is_index) Put32(ri + 4 + leaf * 4, static_cast<uint32_t>(target));
  Put32(n + kNkSubkeys, count + 1);
  if (!is_index) Put32(n + kNkSubkeyList, static_cast<uint32_t>(target));
  // The longest subkey name, in bytes of UTF-16, in the field's low half.
  const uint32_t longest = Get32(n + kNkMaxSubkeyName);
  const auto name_bytes = static_cast<uint32_t>(std::min<size_t>(stored.units * 2, 0xFFFF));
  if (name_bytes > (longest & 0xFFFF)) {
    Put32(n + kNkMaxSubkeyName, (longest & 0xFFFF0000u) | name_bytes);
  }
  Touch(p);
  out = kBinsStart + child;
  return true;
}

void HiveImage::ReleaseSecurity(uint32_t sk, std::vector<uint64_t>& freed) {
  if (sk == kNone || Record(sk, "sk", 0x14) == nullptr) return;
  unsigned char* s = MutCell(sk, 0x14);
  const uint32_t uses = Get32(s + kSkUses);
  if (uses > 1) {
    Put32(s + kSkUses, uses - 1);
    return;
  }
  // The last key using it: out of the ring, and freed.
  const uint32_t next = Get32(s + kSkNext);
  const uint32_t previous = Get32(s + kSkPrevious);
  if (next == sk || Record(next, "sk", 0x14) == nullptr ||
      Record(previous, "sk", 0x14) == nullptr) {
    Put32(s + kSkUses, 0);
    return;
  }
  Put32(MutCell(previous, 0x14) + kSkNext, next);
  Put32(MutCell(next, 0x14) + kSkPrevious, previous);
  freed.push_back(sk);
}

bool HiveImage::DeleteSubkey(Offset parent, size_t place, std::string& why) {
  uint64_t p = 0;
  const unsigned char* nk = KeyRecord(parent, p, why);
  if (nk == nullptr) return false;
  const uint32_t count = Get32(nk + kNkSubkeys);
  const uint32_t list = Get32(nk + kNkSubkeyList);
  std::vector<uint64_t> leaves;
  bool is_index = false;
  if (count == 0 || !Leaves(list, leaves, is_index)) {
    why = Damaged("subkey list", list);
    return false;
  }
  size_t leaf = 0;
  size_t at = place;
  for (; leaf < leaves.size(); ++leaf) {
    const unsigned char* d = Cell(leaves[leaf], 4);
    if (d == nullptr) break;
    if (at < Get16(d + 2)) break;
    at -= Get16(d + 2);
  }
  const unsigned char* d = leaf < leaves.size() ? Cell(leaves[leaf], 4) : nullptr;
  const size_t stride = d != nullptr && d[1] == 'i' ? 4 : 8;
  if (d == nullptr || Cell(leaves[leaf], 4 + size_t{Get16(d + 2)} * stride) == nullptr) {
    why = Damaged("subkey list", list);
    return false;
  }
  const uint64_t child = Get32(d + 4 + at * stride);

  // Every cell of the subtree is found (and checked) before any is freed.
  std::vector<uint64_t> cells;
  std::vector<uint32_t> security;
  std::unordered_set<uint64_t> seen;
  std::vector<uint64_t> keys{child};
  while (!keys.empty()) {
    const uint64_t k = keys.back();
    keys.pop_back();
    const unsigned char* key = Record(k, "nk", kNkName);
    if (key == nullptr || !seen.insert(k).second) {
      why = Damaged("key", k);
      return false;
    }
    cells.push_back(k);
    security.push_back(Get32(key + kNkSecurity));
    if (Get16(key + kNkClassLength) > 0 && Get32(key + kNkClass) != kNone &&
        Cell(Get32(key + kNkClass), 0) != nullptr) {
      cells.push_back(Get32(key + kNkClass));
    }
    if (const uint32_t n = Get32(key + kNkValues); n > 0) {
      const unsigned char* values = Cell(Get32(key + kNkValueList), size_t{n} * 4);
      if (n > kMaxCell / 4 || values == nullptr) {
        why = Damaged("value list", Get32(key + kNkValueList));
        return false;
      }
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t v = Get32(values + i * 4);
        if (const unsigned char* vk = Record(v, "vk", kVkName)) {
          DataCells(vk, cells);
          cells.push_back(v);
        }
      }
      cells.push_back(Get32(key + kNkValueList));
    }
    if (Get32(key + kNkSubkeys) > 0) {
      std::vector<uint64_t> sub;
      bool index = false;
      if (!Leaves(Get32(key + kNkSubkeyList), sub, index)) {
        why = Damaged("subkey list", Get32(key + kNkSubkeyList));
        return false;
      }
      for (const uint64_t s : sub) {
        const unsigned char* sd = Cell(s, 4);
        const size_t sstride = sd != nullptr && sd[1] == 'i' ? 4 : 8;
        if (sd == nullptr || Cell(s, 4 + size_t{Get16(sd + 2)} * sstride) == nullptr) {
          why = Damaged("subkey list", s);
          return false;
        }
        for (uint16_t i = 0, n = Get16(sd + 2); i < n; ++i)
          keys.push_back(Get32(sd + 4 + i * sstride));
        cells.push_back(s);
      }
      if (index) cells.push_back(Get32(key + kNkSubkeyList));
    }
  }

  // The entry out of the parent's list; an emptied leaf goes too.
  unsigned char* l = MutCell(leaves[leaf], 4 + size_t{Get16(d + 2)} * stride);
  const uint16_t entries = Get16(l + 2);
  std::memmove(l + 4 + at * stride, l + 4 + (at + 1) * stride, (entries - 1 - at) * stride);
  Put16(l + 2, static_cast<uint16_t>(entries - 1));
  unsigned char* n = MutCell(p, kNkName);
  Put32(n + kNkSubkeys, count - 1);
  if (entries == 1) {
    cells.push_back(leaves[leaf]);
    if (is_index && leaves.size() > 1) {
      unsigned char* ri = MutCell(list, 4 + leaves.size() * 4);
      std::memmove(ri + 4 + leaf * 4, ri + 4 + (leaf + 1) * 4, (leaves.size() - 1 - leaf) * 4);
      Put16(ri + 2, static_cast<uint16_t>(leaves.size() - 1));
    } else {
      if (is_index) cells.push_back(list);
      Put32(n + kNkSubkeyList, kNone);
    }
  }
  for (const uint32_t sk : security) ReleaseSecurity(sk, cells);
  std::sort(cells.begin(), cells.end());
  cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
  for (const uint64_t cell : cells) Free(cell);
  Touch(p);
  return true;
}

// --- Writing out -------------------------------------------------------------

namespace {

bool WriteAll(int fd, const unsigned char* data, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// Copies `size` bytes from the start of one file to the start of another,
// in the kernel where it can.
bool CopyStart(int from, int to, uint64_t size) {
  loff_t in = 0;
  loff_t out = 0;
  while (static_cast<uint64_t>(in) < size) {
    const ssize_t n = ::copy_file_range(from, &in, to, &out, static_cast<size_t>(size - in), 0);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
      return false;
    }
    // No copy in the kernel between these files: through a buffer.
    std::vector<unsigned char> buffer(1 << 20);
    while (static_cast<uint64_t>(in) < size) {
      const ssize_t r =
          ::pread(from, buffer.data(), std::min<uint64_t>(buffer.size(), size - in), in);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        if (r == 0) errno = EIO;
        return false;
      }
      if (!WriteAll(to, buffer.data(), static_cast<size_t>(r), static_cast<uint64_t>(in))) {
        return false;
      }
      in += r;
    }
    return true;
  }
  return true;
}

uint32_t Checksum(const unsigned char* header) {
  uint32_t sum = 0;
  for (int i = 0; i < 127; ++i) sum ^= Get32(header + i * 4);
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  if (sum == 0) return 1;
  return sum;
}

}  // namespace

std::string HiveImage::ChangedBinsProblem() const {
  // Every bin a change touched: its header where the chain has it, and its
  // cells filling it exactly.
  for (size_t i = 0; i < bin_starts_.size(); ++i) {
    const uint64_t start = bin_starts_[i];
    const uint64_t end = i + 1 < bin_starts_.size() ? bin_starts_[i + 1] : bins_size();
    bool touched = start >= mapped_bins_;
    for (uint64_t page = (kBinsStart + start) / kPage;
         !touched && page < (kBinsStart + end + kPage - 1) / kPage && page < dirty_.size();
         ++page) {
      touched = dirty_[page];
    }
    if (!touched) continue;
    const unsigned char* h = At(start, kBinHeader);
    if (h == nullptr || std::memcmp(h, "hbin", 4) != 0 || Get32(h + 4) != start ||
        Get32(h + 8) != end - start) {
      return "the changed hive is not sound: the bin at offset " + std::to_string(start) +
             " lost its header";
    }
    uint64_t cell = start + kBinHeader;
    while (cell < end) {
      const unsigned char* c = At(cell, 4);
      const auto raw = c == nullptr ? 0 : static_cast<int32_t>(Get32(c));
      const uint64_t size = raw < 0 ? static_cast<uint64_t>(-int64_t{raw}) : uint64_t(raw);
      if (raw == 0 || raw == INT32_MIN || size % 8 != 0 || cell + size > end) break;
      cell += size;
    }
    if (cell != end) {
      return "the changed hive is not sound: its cells do not fill the bin at offset " +
             std::to_string(start);
    }
  }
  return {};
}

std::string HiveImage::WriteTo(int source_fd, int fd) {
  const uint64_t mapped_end = kBinsStart + mapped_bins_;
  // The header: one more write, now, the bins' size, its checksum.
  unsigned char* h = map_;
  const uint32_t sequence = Get32(h + 4) + 1;
  const uint64_t now = FileTimeNow();
  Put32(h + 4, sequence);
  Put32(h + 8, sequence);
  Put64(h + 0x0C, now);
  // The first bin keeps a copy of the time of the last write.
  if (unsigned char* first = Mut(0, kBinHeader)) Put64(first + 0x14, now);
  Put32(h + 0x28, static_cast<uint32_t>(bins_size()));
  Put32(h + 0x1FC, Checksum(h));
  dirty_[0] = true;
  if (const std::string why = ChangedBinsProblem(); !why.empty()) return why;
  // The whole file, with any space after its bins: new bins take that
  // space first, as other writers of hives do.
  if (!CopyStart(source_fd, fd, map_size_)) return std::strerror(errno);
  for (size_t page = 0; page < dirty_.size();) {
    if (!dirty_[page]) {
      ++page;
      continue;
    }
    size_t last = page;
    while (last + 1 < dirty_.size() && dirty_[last + 1]) ++last;
    const uint64_t from = page * kPage;
    const uint64_t to = std::min<uint64_t>((last + 1) * kPage, mapped_end);
    if (!WriteAll(fd, map_ + from, to - from, from)) return std::strerror(errno);
    page = last + 1;
  }
  for (const TailBin& bin : tail_) {
    if (!WriteAll(fd, bin.bytes.data(), bin.bytes.size(), kBinsStart + bin.start)) {
      return std::strerror(errno);
    }
  }
  const uint64_t end = std::max<uint64_t>(map_size_, kBinsStart + bins_size());
  if (::ftruncate(fd, static_cast<off_t>(end)) != 0) return std::strerror(errno);
  return {};
}

}  // namespace pelvar::platform
