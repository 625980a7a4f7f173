// The byte layout of a pack archive: the 36-byte trailer at the end of the
// file and the directory records of the registry. All integers are
// little-endian. Version 2 is written; versions 1 and 2 are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelvar::archive {

inline constexpr size_t kTrailerSize = 36;
inline constexpr size_t kRecordSizeV1 = 532;
inline constexpr size_t kRecordSizeV2 = 550;
inline constexpr uint32_t kWrittenVersion = 2;

// How hard entries and the registry are compressed; the value is what a
// record stores in its level byte.
enum class CompressionLevel : uint8_t { kNone = 0, kFastest = 1, kDefault = 2, kMaximum = 3 };

// zlib level of a compression level: 0, 1, Z_DEFAULT_COMPRESSION, 9.
int ZlibLevel(CompressionLevel level);

// Storage method byte of a record.
enum class StorageMethod : uint8_t {
  kCompressed = 0,
  kStored = 1,
  kCompressedEncrypted = 2,
  kStoredEncrypted = 3,
};

struct ArchiveTrailer {
  uint32_t archive_crc = 0;  // over archive start .. end of registry
  int32_t entry_count = 0;
  uint32_t version = kWrittenVersion;
  int32_t registry_size = 0;  // bytes the registry takes in the file
  int64_t data_size = 0;      // bytes of the data area = offset of the registry
  bool registry_compressed = false;
};

// One directory record, widened to the version 2 fields.
struct ArchiveEntry {
  std::string file_name;  // no folder
  std::string folder;     // stored folder path; empty unless paths were saved
  int64_t size = 0;
  int64_t compressed_size = 0;  // 0 for a stored entry
  int64_t encrypted_size = 0;
  int64_t offset = 0;  // of the entry's data from the archive start
  uint32_t crc = 0;    // of the uncompressed content
  uint8_t method = 0;  // a StorageMethod value
  uint8_t level = 0;   // a CompressionLevel value; 0 for a stored entry
};

// The version 2 trailer, reserved bytes zero.
std::string EncodeTrailer(const ArchiveTrailer& trailer);
// Reads the trailer's version at offset 8, then the fields in the layout of
// version 1 when it is 1 and of version 2 otherwise. `bytes` holds 36 bytes.
ArchiveTrailer DecodeTrailer(std::string_view bytes);

// Record size of a format version (532 for version 1, else 550).
size_t RecordSize(uint32_t version);

// The 550-byte version 2 record; names longer than 255 bytes are cut.
std::string EncodeRecord(const ArchiveEntry& entry);
// A record of the version's size at the start of `bytes`.
ArchiveEntry DecodeRecord(std::string_view bytes, uint32_t version);

}  // namespace pelvar::archive
