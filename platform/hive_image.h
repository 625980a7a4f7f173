// A registry hive file (regf) mapped privately: its keys and values are
// read where they lie, and changes are made to the cells in memory (pages a
// change touches are copied, the others stay the file's). New cells go into
// the free space that changes leave, into the free cells near the end of
// the file, or into bins added at the end. Writing the result out copies the
// file in the kernel and then writes only the pages that changed and the new
// bins over the copy, so a change costs about what copying the file costs,
// whatever the hive's size.
//
// Every link read from the file is checked before it is followed: a damaged
// hive gives a reason, never a read outside the file. Offsets handed out are
// file offsets of key records; they stay valid until a key is deleted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hive_format.h"

namespace pelvar::platform {

class HiveImage {
 public:
  using Offset = uint64_t;

  struct Subkey {
    Offset node;
    std::string name;  // UTF-8
  };
  struct Value {
    std::string name;  // UTF-8
    uint32_t type;
    std::string data;
  };

  ~HiveImage();
  HiveImage(const HiveImage&) = delete;
  HiveImage& operator=(const HiveImage&) = delete;

  // Maps the hive file open as `fd`, of `size` bytes, and checks its header
  // and its chain of bins (HiveHeaderProblem), filling `header`. Changes can
  // be made when `writable`. Null, with `why`, when the file cannot be
  // mapped or is not a sound hive.
  static std::unique_ptr<HiveImage> Map(int fd, uint64_t size, bool writable, HiveHeader& header,
                                        std::string& why);

  Offset root() const;
  uint32_t minor() const;
  bool changed() const { return changed_; }
  // Whether the free space may have grown enough to pay for packing the
  // hive: bins were added, or more than a sixteenth of the bins was freed,
  // since the file was mapped.
  bool MayNeedCompacting() const { return !tail_.empty() || freed_ * 16 > bins_size(); }

  // The subkeys of a key, in the order of its lists.
  bool Subkeys(Offset key, std::vector<Subkey>& out, std::string& why) const;
  // The values of a key, in the order of its list.
  bool Values(Offset key, std::vector<Value>& out, std::string& why) const;

  // Adds the subkey `name` at `place` in the order of Subkeys (the caller
  // keeps the list sorted as the system searches it). The new key shares
  // its parent's security record.
  bool AddSubkey(Offset parent, std::string_view name, size_t place, Offset& out, std::string& why);
  // Deletes the subkey at `place` in the order of Subkeys, with everything
  // below it.
  bool DeleteSubkey(Offset parent, size_t place, std::string& why);
  // Writes the value at `index` in the order of Values (its name is kept),
  // or adds a value when `index` is kNew.
  static constexpr size_t kNew = static_cast<size_t>(-1);
  bool SetValue(Offset key, size_t index, std::string_view name, uint32_t type,
                std::string_view data, std::string& why);
  bool DeleteValue(Offset key, size_t index, std::string& why);

  // Caps the size the hive's bins may grow to (at most the format's limit,
  // just under 2 GiB); an edit that would need more is refused whole.
  void LimitSize(uint64_t bins_bytes) { size_limit_ = bins_bytes; }

  // Writes the hive as it is now to `fd`, an empty file: the bytes of the
  // mapped file copied in the kernel from `source_fd`, then the changed pages
  // and the new bins over them. The header gets new sequence numbers, the
  // time and its checksum. Empty on success, else the system's reason.
  std::string WriteTo(int source_fd, int fd);
  // Empty when every bin a change touched still has its header and cells
  // that fill it exactly, else why not.
  std::string ChangedBinsProblem() const;
  // Goes on from the file that WriteTo wrote (the same layout), open as
  // `fd`: nothing is changed any more.
  bool Remap(int fd, uint64_t size, std::string& why);

 private:
  struct TailBin {
    uint32_t start;  // from the first bin
    std::vector<unsigned char> bytes;
  };
  struct Leaf;

  HiveImage() = default;
  // AddSubkey and SetValue without their rollback.
  bool InsertSubkey(Offset parent, std::string_view name, size_t place, Offset& out,
                    std::string& why);
  bool ChangeValue(Offset key, size_t index, std::string_view name, uint32_t type,
                   std::string_view data, std::string& why);
  // Ends an edit: when it failed (`done` false), the cells it allocated are
  // freed again, so a refused edit leaves nothing behind for the next
  // commit. Returns `done`.
  bool Edit(bool done);
  bool MapFile(int fd, uint64_t size, std::string& why);
  void Unmap();

  uint64_t bins_size() const;
  // The bin that holds `rel` (an offset from the first bin): its start and
  // end, false when none does.
  bool BinOf(uint64_t rel, uint64_t& start, uint64_t& end) const;
  // Bytes at `rel`, `len` long, inside one bin; null when they are not.
  const unsigned char* At(uint64_t rel, size_t len) const;
  // The same, for changing them (the page is marked for writing).
  unsigned char* Mut(uint64_t rel, size_t len);
  // The data of the allocated cell at `rel` holding at least `need` bytes
  // (`size` gets the bytes it holds); null when there is none.
  const unsigned char* Cell(uint64_t rel, size_t need, uint32_t* size = nullptr) const;
  const unsigned char* Record(uint64_t rel, const char* id, size_t need) const;
  // The data of the allocated cell at `rel`, holding at least `need` bytes,
  // for changing; null when there is none.
  unsigned char* MutCell(uint64_t rel, size_t need);

  // The key record at file offset `key` (`rel` gets its offset from the
  // first bin); null, with `why`, when there is none.
  const unsigned char* KeyRecord(Offset key, uint64_t& rel, std::string& why) const;
  bool ReadKeyName(uint64_t key, std::string& out) const;
  bool Leaves(uint64_t list, std::vector<uint64_t>& leaves, bool& is_index) const;
  bool ReadValue(uint64_t vk, Value& out, std::string& why) const;
  bool ValueData(const unsigned char* vk, std::string& out) const;

  // A cell of at least `payload` bytes, zeroed; false when the hive is full.
  bool Allocate(size_t payload, uint64_t& rel, std::string& why);
  // Records a free cell (replacing what was known at `rel`), or forgets one.
  void AddFree(uint64_t rel, uint32_t size);
  void DropFree(uint64_t rel);
  void Free(uint64_t rel);
  void ScanTailForFreeCells();
  void AddBin(size_t need);
  // Stores value data; sets the length and offset fields of its record.
  bool StoreData(std::string_view data, uint32_t& length, uint32_t& offset, std::string& why);
  // The cells holding the data of a value record (none for data inside it).
  void DataCells(const unsigned char* vk, std::vector<uint64_t>& out) const;
  void ReleaseSecurity(uint32_t sk, std::vector<uint64_t>& freed);
  void Touch(uint64_t key);

  unsigned char* map_ = nullptr;
  size_t map_size_ = 0;
  bool writable_ = false;
  bool changed_ = false;
  // The bins of the mapped file end here (from the first bin); new bins
  // follow in tail_.
  uint64_t mapped_bins_ = 0;
  std::vector<TailBin> tail_;
  std::vector<uint64_t> bin_starts_;   // of every bin, mapped or new, in order
  std::vector<bool> dirty_;            // pages of the mapping changed
  std::map<uint64_t, uint32_t> free_;  // free cells known, by offset
  // The same cells by size, for the best fit; kept by AddFree and DropFree.
  std::set<std::pair<uint32_t, uint64_t>> free_by_size_;
  bool tail_scanned_ = false;
  uint64_t freed_ = 0;  // bytes of cells freed since the file was mapped
  uint64_t size_limit_ = 0x7FFFF000;
  std::vector<uint64_t> edit_cells_;  // allocated by the edit under way
};

}  // namespace pelvar::platform
