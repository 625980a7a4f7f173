#include "archive/archive_format.h"

#include <zlib.h>

#include <algorithm>

namespace pelvar::archive {

namespace {

void PutLe(std::string& out, size_t at, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetLe(std::string_view in, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) {
    v |= static_cast<uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  }
  return v;
}

int32_t GetI32(std::string_view in, size_t at) {
  return static_cast<int32_t>(static_cast<uint32_t>(GetLe(in, at, 4)));
}

int64_t GetI64(std::string_view in, size_t at) {
  return static_cast<int64_t>(GetLe(in, at, 8));
}

// A length-prefixed string in a 256-byte field.
void PutShortString(std::string& out, size_t at, std::string_view text) {
  const size_t n = std::min<size_t>(text.size(), 255);
  out[at] = static_cast<char>(n);
  std::copy_n(text.data(), n, out.begin() + static_cast<std::ptrdiff_t>(at + 1));
}

std::string GetShortString(std::string_view in, size_t at) {
  const size_t n = static_cast<unsigned char>(in[at]);
  return std::string(in.substr(at + 1, n));
}

}  // namespace

int ZlibLevel(CompressionLevel level) {
  switch (level) {
    case CompressionLevel::kNone:
      return 0;
    case CompressionLevel::kFastest:
      return 1;
    case CompressionLevel::kMaximum:
      return 9;
    case CompressionLevel::kDefault:
      break;
  }
  return Z_DEFAULT_COMPRESSION;
}

std::string EncodeTrailer(const ArchiveTrailer& trailer) {
  std::string out(kTrailerSize, '\0');
  PutLe(out, 0, trailer.archive_crc, 4);
  PutLe(out, 4, static_cast<uint32_t>(trailer.entry_count), 4);
  PutLe(out, 8, trailer.version, 4);
  PutLe(out, 12, static_cast<uint32_t>(trailer.registry_size), 4);
  PutLe(out, 16, static_cast<uint64_t>(trailer.data_size), 8);
  out[24] = trailer.registry_compressed ? 1 : 0;
  return out;
}

ArchiveTrailer DecodeTrailer(std::string_view bytes) {
  ArchiveTrailer t;
  t.archive_crc = static_cast<uint32_t>(GetLe(bytes, 0, 4));
  t.entry_count = GetI32(bytes, 4);
  t.version = static_cast<uint32_t>(GetLe(bytes, 8, 4));
  t.registry_size = GetI32(bytes, 12);
  if (t.version == 1) {
    t.data_size = GetI32(bytes, 16);
    t.registry_compressed = bytes[20] != 0;
  } else {
    t.data_size = GetI64(bytes, 16);
    t.registry_compressed = bytes[24] != 0;
  }
  return t;
}

size_t RecordSize(uint32_t version) {
  return version == 1 ? kRecordSizeV1 : kRecordSizeV2;
}

std::string EncodeRecord(const ArchiveEntry& entry) {
  std::string out(kRecordSizeV2, '\0');
  PutShortString(out, 0, entry.file_name);
  PutShortString(out, 256, entry.folder);
  PutLe(out, 512, static_cast<uint64_t>(entry.size), 8);
  PutLe(out, 520, static_cast<uint64_t>(entry.compressed_size), 8);
  PutLe(out, 528, static_cast<uint64_t>(entry.encrypted_size), 8);
  PutLe(out, 536, static_cast<uint64_t>(entry.offset), 8);
  PutLe(out, 544, entry.crc, 4);
  out[548] = static_cast<char>(entry.method);
  out[549] = static_cast<char>(entry.level);
  return out;
}

ArchiveEntry DecodeRecord(std::string_view bytes, uint32_t version) {
  ArchiveEntry e;
  e.file_name = GetShortString(bytes, 0);
  e.folder = GetShortString(bytes, 256);
  if (version == 1) {
    e.size = GetI32(bytes, 512);
    e.compressed_size = GetI32(bytes, 516);
    e.offset = GetI32(bytes, 520);
    e.crc = static_cast<uint32_t>(GetLe(bytes, 524, 4));
    e.method = static_cast<uint8_t>(bytes[528]);
    e.level = static_cast<uint8_t>(bytes[529]);
  } else {
    e.size = GetI64(bytes, 512);
    e.compressed_size = GetI64(bytes, 520);
    e.encrypted_size = GetI64(bytes, 528);
    e.offset = GetI64(bytes, 536);
    e.crc = static_cast<uint32_t>(GetLe(bytes, 544, 4));
    e.method = static_cast<uint8_t>(bytes[548]);
    e.level = static_cast<uint8_t>(bytes[549]);
  }
  return e;
}

}  // namespace pelvar::archive
