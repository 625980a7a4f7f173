#include "archive/pack_archive.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "archive/byte_source.h"
#include "archive/parallel_deflate.h"
#include "archive/zlib_stream.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::archive {

namespace {

constexpr size_t kBlock = 1 << 20;
// Files and entries up to this size are compressed or inflated whole in
// memory by libdeflate; larger ones stream through zlib.
constexpr uint64_t kInMemoryLimit = 16u << 20;
// Most entries a registry may declare.
constexpr int32_t kMaxEntries = 65536;
// Deflate cannot expand data more than this many times.
constexpr int64_t kMaxInflateRatio = 1032;

constexpr const char* kOlderVersion =
    "The specified archive file was created by an older version of the archive format.\r\n"
    "Please convert this archive before trying to modify/update it";

ArchiveStatus Corrupted() {
  return ArchiveStatus::Failure("The archive appears to be corrupted");
}
ArchiveStatus RegistryError() {
  return ArchiveStatus::Failure("Error reading registry");
}
ArchiveStatus UnableToOpen(std::string_view name) {
  return ArchiveStatus::Failure("Unable to open archive " + std::string(name));
}

uint32_t Crc(uint32_t crc, std::string_view data) {
  return libdeflate_crc32(crc, data.data(), data.size());
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

int LibdeflateLevel(CompressionLevel level) {
  const int z = ZlibLevel(level);
  return z < 0 ? 6 : z;
}

// Reads `count` bytes at `offset`; false when they cannot all be read.
bool ReadExactly(const ByteSource& file, uint64_t offset, char* out, size_t count) {
  size_t got = 0;
  return !file.ReadAt(offset, out, count, got) && got == count;
}

// Reads a whole small file of the size it had when opened into `data`;
// leaves it empty and unset when the file has grown since (the streamed path
// then takes it as it is).
ArchiveStatus ReadSmallFile(const FileSource& file, const std::string& name,
                            std::optional<std::string>& data) {
  data.emplace(static_cast<size_t>(file.size()) + 1, '\0');
  size_t got = 0;
  if (file.ReadAt(0, data->data(), data->size(), got)) {
    data.reset();
    return UnableToOpen(name);
  }
  if (got > file.size()) {
    data.reset();
  } else {
    data->resize(got);
  }
  return {};
}

// The thread's compressor of a level: making one costs more than
// compressing a small file, so it is kept for the next.
libdeflate_compressor* Compressor(CompressionLevel level) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> kept[4];
  auto& c = kept[static_cast<size_t>(level) & 3];
  if (!c) c.reset(libdeflate_alloc_compressor(LibdeflateLevel(level)));
  return c.get();
}

// A zlib stream of `data`, or nullopt when no compressor can be had.
std::optional<std::string> DeflateInMemory(std::string_view data, CompressionLevel level) {
  libdeflate_compressor* c = Compressor(level);
  if (c == nullptr) return std::nullopt;
  std::string out(libdeflate_zlib_compress_bound(c, data.size()), '\0');
  const size_t n = libdeflate_zlib_compress(c, data.data(), data.size(), out.data(), out.size());
  if (n == 0) return std::nullopt;
  out.resize(n);
  return out;
}

}  // namespace

std::string PackArchive::ExtractionFolder(std::string_view destination) {
  std::string folder;
  folder.reserve(destination.size());
  for (char c : destination) {
    if (c == '\\' && !folder.empty() && folder.back() == '\\') continue;
    folder.push_back(c);
  }
  if (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

namespace {

// The last bytes of an archive, read at their offsets; the rest is missing.
class TailSource : public ByteSource {
 public:
  TailSource(std::string tail, uint64_t size) : tail_(std::move(tail)), size_(size) {}
  uint64_t size() const override { return size_; }
  std::error_code ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) const override {
    got = 0;
    const uint64_t base = size_ - tail_.size();
    if (offset < base) return std::make_error_code(std::errc::io_error);
    if (offset < size_) {
      got = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
      std::copy_n(tail_.data() + (offset - base), got, buffer);
    }
    return {};
  }

 private:
  std::string tail_;
  uint64_t size_;
};

// Writes a new archive into a string.
class StringWriter : public platform::FileWriter {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  platform::FileReader* old() override { return nullptr; }
  std::error_code Write(std::string_view data) override {
    out_.append(data);
    return {};
  }
  std::error_code Truncate(uint64_t size) override {
    if (size > out_.size()) return std::make_error_code(std::errc::invalid_argument);
    out_.resize(static_cast<size_t>(size));
    return {};
  }
  uint64_t size() const override { return out_.size(); }
  std::error_code Commit() override { return {}; }

 private:
  std::string& out_;
};

}  // namespace

PackArchive::PackArchive() = default;
PackArchive::~PackArchive() = default;

bool PackArchive::IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("\\/:\0", 4)) == std::string_view::npos;
}

void PackArchive::CloseArchive() {
  path_.clear();
  memory_.reset();
  trailer_ = ArchiveTrailer{};
  entries_.clear();
  new_archive_ = false;
  start_ = -1;
}

platform::FileSystem& PackArchive::files() const {
  return files_ != nullptr ? *files_ : platform::ThreadFileSystem();
}

ArchiveStatus PackArchive::RequireOpen() const {
  if (path_.empty()) return ArchiveStatus::Failure("No archive is currently open");
  return {};
}

ArchiveStatus PackArchive::CreateArchive(std::string_view path) {
  CloseArchive();
  if (path.empty()) return {};
  if (memory_output_ == nullptr && files().Exists(path)) {
    return ArchiveStatus::Failure(std::string(path) + " already exists in the archive");
  }
  path_ = std::string(path);
  new_archive_ = true;
  legacy_ = false;
  start_ = 0;
  return {};
}

ArchiveStatus PackArchive::OpenArchive(std::string_view path) {
  CloseArchive();
  if (path.empty()) return {};
  if (!files().IsFile(path)) return ArchiveStatus::Failure("Archive file not found");
  FileSource file;
  if (file.Open(files(), path)) return UnableToOpen(path);
  if (ArchiveStatus s = ReadTrailerAndRegistry(file); !s.ok()) return s;
  path_ = std::string(path);
  return {};
}

ArchiveStatus PackArchive::OpenArchiveBytes(std::string bytes, std::string_view name) {
  CloseArchive();
  auto memory = std::make_unique<MemorySource>(std::move(bytes));
  if (ArchiveStatus s = ReadTrailerAndRegistry(*memory); !s.ok()) return s;
  memory_ = std::move(memory);
  path_ = std::string(name);
  return {};
}

ArchiveStatus PackArchive::OpenArchiveTail(std::string tail, uint64_t size, std::string_view name) {
  CloseArchive();
  if (tail.size() > size) return Corrupted();
  auto source = std::make_unique<TailSource>(std::move(tail), size);
  const bool verify = verify_archive_crc_;
  verify_archive_crc_ = false;
  const ArchiveStatus s = ReadTrailerAndRegistry(*source);
  verify_archive_crc_ = verify;
  if (!s.ok()) return s;
  memory_ = std::move(source);
  path_ = std::string(name);
  return {};
}

ArchiveStatus PackArchive::ReadTrailerAndRegistry(const ByteSource& file) {
  const uint64_t size = file.size();
  if (size < kTrailerSize) return Corrupted();
  std::string tail(kTrailerSize, '\0');
  if (!ReadExactly(file, size - kTrailerSize, tail.data(), tail.size())) return Corrupted();
  const ArchiveTrailer t = DecodeTrailer(tail);
  if (t.version != 1 && t.version != 2) {
    return ArchiveStatus::Failure(
        "The archive was created with a different version of the archive format (v" +
        std::to_string(static_cast<int32_t>(t.version)) + ")");
  }
  const uint64_t body = size - kTrailerSize;
  if (t.registry_size < 0 || t.data_size < 0 || t.entry_count < 0 ||
      static_cast<uint64_t>(t.registry_size) > body ||
      static_cast<uint64_t>(t.data_size) > body - static_cast<uint64_t>(t.registry_size)) {
    return Corrupted();
  }
  const uint64_t start =
      body - static_cast<uint64_t>(t.registry_size) - static_cast<uint64_t>(t.data_size);
  if (verify_archive_crc_) {
    std::string buf(static_cast<size_t>(std::min<uint64_t>(kBlock, body - start)), '\0');
    uint32_t crc = 0;
    for (uint64_t pos = start; pos < body;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, body - pos));
      if (!ReadExactly(file, pos, buf.data(), n)) return Corrupted();
      crc = Crc(crc, std::string_view(buf.data(), n));
      pos += n;
    }
    if (crc != t.archive_crc) return Corrupted();
  }
  trailer_ = t;
  start_ = static_cast<int64_t>(start);
  legacy_ = t.version == 1;
  ArchiveStatus s = ReadRegistry(file);
  if (!s.ok()) CloseArchive();
  return s;
}

ArchiveStatus PackArchive::ReadRegistry(const ByteSource& file) {
  const int32_t count = trailer_.entry_count;
  const size_t record_size = RecordSize(trailer_.version);
  const int64_t registry_size = trailer_.registry_size;
  if (count > kMaxEntries) return RegistryError();
  const size_t need = static_cast<size_t>(count) * record_size;
  const uint64_t registry_pos = static_cast<uint64_t>(start_ + trailer_.data_size);
  std::string records(need, '\0');
  if (!trailer_.registry_compressed) {
    if (static_cast<uint64_t>(registry_size) < need) return RegistryError();
    if (!ReadExactly(file, registry_pos, records.data(), need)) return RegistryError();
  } else if (need > 0) {
    if (static_cast<int64_t>(need) / kMaxInflateRatio > registry_size) return RegistryError();
    ZlibInflater inflater;
    if (!inflater.error().empty()) return ArchiveStatus::Failure(inflater.error());
    std::string in(std::min<size_t>(kBlock, static_cast<size_t>(registry_size)), '\0');
    uint64_t read_pos = registry_pos;
    const uint64_t end = registry_pos + static_cast<uint64_t>(registry_size);
    size_t done = 0;
    std::string_view pending;
    while (done < need) {
      if (pending.empty()) {
        if (read_pos >= end) return RegistryError();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(in.size(), end - read_pos));
        if (!ReadExactly(file, read_pos, in.data(), n)) return RegistryError();
        read_pos += n;
        pending = std::string_view(in.data(), n);
      }
      const size_t pending_before = pending.size();
      size_t produced = 0;
      const auto status = inflater.Inflate(pending, records.data() + done, need - done, produced);
      done += produced;
      if (produced == 0 && pending.size() == pending_before) return RegistryError();
      if (status == ZlibInflater::Status::kError) return RegistryError();
      if (status == ZlibInflater::Status::kEnd && done < need) return RegistryError();
    }
  }
  entries_.clear();
  entries_.reserve(static_cast<size_t>(count));
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    entries_.push_back(DecodeRecord(std::string_view(records).substr(i * record_size, record_size),
                                    trailer_.version));
  }
  return {};
}

const ArchiveEntry* PackArchive::GetEntry(int index) const {
  if (index < 0 || index >= FileCount()) return nullptr;
  return &entries_[static_cast<size_t>(index)];
}

int PackArchive::IndexOfFile(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (IEquals(entries_[i].folder + entries_[i].file_name, name)) return static_cast<int>(i);
  }
  return -1;
}

ArchiveStatus PackArchive::AddFile(std::string_view source_path) {
  if (ArchiveStatus s = RequireOpen(); !s.ok()) return s;
  if (legacy_) return ArchiveStatus::Failure(kOlderVersion);
  const std::string name = FileNameOfPath(source_path);
  if (IndexOfFile(name) >= 0)
    return ArchiveStatus::Failure(name + " already exists in the archive");

  std::unique_ptr<platform::FileWriter> writer;
  if (memory_output_ != nullptr) {
    if (!new_archive_) return ArchiveStatus::Failure("Unable to open archive " + path_);
    memory_output_->clear();
    writer = std::make_unique<StringWriter>(*memory_output_);
  } else if (auto ec = files().OpenReplace(path_, durability_, writer)) {
    return ArchiveStatus::CannotCreate(path_, ec);
  }
  platform::FileWriter& out = *writer;
  uint32_t archive_crc = 0;
  const auto write = [&](std::string_view piece) -> ArchiveStatus {
    if (auto ec = out.Write(piece)) return ArchiveStatus::CannotCreate(path_, ec);
    archive_crc = Crc(archive_crc, piece);
    return {};
  };

  const uint64_t start = static_cast<uint64_t>(start_);
  if (!new_archive_) {
    // The prefix and the data of the entries already there.
    std::string buf(kBlock, '\0');
    FileSource old;
    if (memory_ || old.Open(files(), path_)) return UnableToOpen(path_);
    const uint64_t keep = start + static_cast<uint64_t>(trailer_.data_size);
    for (uint64_t pos = 0; pos < keep;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, keep - pos));
      if (!ReadExactly(old, pos, buf.data(), n)) return UnableToOpen(path_);
      std::string_view piece(buf.data(), n);
      if (pos < start) {
        const size_t prefix = static_cast<size_t>(std::min<uint64_t>(n, start - pos));
        if (auto ec = out.Write(piece.substr(0, prefix))) {
          return ArchiveStatus::CannotCreate(path_, ec);
        }
        piece.remove_prefix(prefix);
      }
      if (ArchiveStatus s = write(piece); !s.ok()) return s;
      pos += n;
    }
  }

  ArchiveEntry entry;
  if (ArchiveStatus s = AddEntry(std::string(source_path), out, write, archive_crc, entry);
      !s.ok()) {
    return s;
  }

  std::vector<ArchiveEntry> entries = entries_;
  entries.push_back(entry);
  std::string records;
  records.reserve(entries.size() * kRecordSizeV2);
  for (const auto& e : entries) records += EncodeRecord(e);

  ArchiveTrailer t;
  t.entry_count = static_cast<int32_t>(entries.size());
  t.data_size = static_cast<int64_t>(out.size() - start);
  std::string registry;
  if (std::optional<std::string> packed = DeflateInMemory(records, compression_level_)) {
    registry = std::move(*packed);
    t.registry_compressed = true;
  } else {
    registry = std::move(records);
    t.registry_compressed = false;
  }
  t.registry_size = static_cast<int32_t>(registry.size());
  if (ArchiveStatus s = write(registry); !s.ok()) return s;
  t.archive_crc = archive_crc;
  if (auto ec = out.Write(EncodeTrailer(t))) return ArchiveStatus::CannotCreate(path_, ec);
  if (auto ec = out.Commit()) return ArchiveStatus::CannotCreate(path_, ec);

  entries_ = std::move(entries);
  trailer_ = t;
  new_archive_ = false;
  return {};
}

ArchiveStatus PackArchive::AddEntry(const std::string& source, platform::FileWriter& out,
                                    const std::function<ArchiveStatus(std::string_view)>& write,
                                    uint32_t& archive_crc, ArchiveEntry& entry) {
  FileSource src;
  if (src.Open(files(), source)) return UnableToOpen(source);

  const uint64_t start = static_cast<uint64_t>(start_);
  entry.file_name = FileNameOfPath(source);
  const uint64_t data_begin = out.size();
  entry.offset = static_cast<int64_t>(data_begin - start);
  const uint32_t crc_before = archive_crc;
  bool compressed = false;

  std::optional<std::string> small;
  if (src.size() <= kInMemoryLimit) {
    if (ArchiveStatus s = ReadSmallFile(src, source, small); !s.ok()) return s;
  }
  if (small) {
    entry.size = static_cast<int64_t>(small->size());
    entry.crc = Crc(0, *small);
    std::optional<std::string> packed = DeflateInMemory(*small, compression_level_);
    if (packed && packed->size() < small->size()) {
      if (ArchiveStatus s = write(*packed); !s.ok()) return s;
      entry.compressed_size = static_cast<int64_t>(packed->size());
      compressed = true;
    } else {
      if (ArchiveStatus s = write(*small); !s.ok()) return s;
    }
  } else {
    std::string buf(kBlock, '\0');
    uint64_t packed_size = 0;
    ArchiveStatus written;
    // Pieces of the file are compressed on all cores at once.
    ParallelDeflater deflater(ZlibLevel(compression_level_), [&](std::string_view piece) {
      written = write(piece);
      packed_size += piece.size();
      return written.ok();
    });
    const auto failure = [&] {
      return written.ok() ? ArchiveStatus::Failure(deflater.error()) : written;
    };
    uint64_t pos = 0;
    uint32_t file_crc = 0;
    for (;;) {
      size_t got = 0;
      if (src.ReadAt(pos, buf.data(), buf.size(), got)) return UnableToOpen(source);
      if (got == 0) break;
      const std::string_view piece(buf.data(), got);
      file_crc = Crc(file_crc, piece);
      pos += got;
      if (!deflater.Add(piece)) return failure();
    }
    if (!deflater.Finish()) return failure();
    entry.size = static_cast<int64_t>(pos);
    entry.crc = file_crc;
    if (packed_size < pos) {
      entry.compressed_size = static_cast<int64_t>(packed_size);
      compressed = true;
    } else {
      // Compression did not pay: store the bytes as they are.
      if (auto ec = out.Truncate(data_begin)) return ArchiveStatus::CannotCreate(path_, ec);
      archive_crc = crc_before;
      pos = 0;
      file_crc = 0;
      for (;;) {
        size_t got = 0;
        if (src.ReadAt(pos, buf.data(), buf.size(), got)) return UnableToOpen(source);
        if (got == 0) break;
        const std::string_view piece(buf.data(), got);
        file_crc = Crc(file_crc, piece);
        if (ArchiveStatus s = write(piece); !s.ok()) return s;
        pos += got;
      }
      entry.size = static_cast<int64_t>(pos);
      entry.crc = file_crc;
    }
  }
  if (compressed) {
    entry.method = static_cast<uint8_t>(StorageMethod::kCompressed);
    entry.level = static_cast<uint8_t>(compression_level_);
  } else {
    entry.method = static_cast<uint8_t>(StorageMethod::kStored);
    entry.level = 0;
  }
  return {};
}

ArchiveStatus PackArchive::ExtractAll(std::string_view destination) {
  if (ArchiveStatus s = RequireOpen(); !s.ok()) return s;
  FileSource opened;
  if (!memory_ && opened.Open(files(), path_)) return UnableToOpen(path_);
  const ByteSource& file = memory_ ? *memory_ : static_cast<const ByteSource&>(opened);
  for (const ArchiveEntry& entry : entries_) {
    const std::string folder = ExtractionFolder(destination);
    if (!IsPlainFileName(entry.file_name) || files().MakeFolder(folder, /*parents=*/true)) {
      return ArchiveStatus::Failure("Error extracting file to " + folder);
    }
    const std::string target = folder + "\\" + entry.file_name;
    std::unique_ptr<platform::FileWriter> out;
    // A link of that name gives way to the file; what it names is left alone.
    if (auto ec = files().OpenReplaceEntry(target, platform::Durability::kBulk, out)) {
      return ArchiveStatus::CannotCreate(target, ec);
    }
    const ArchiveStatus s =
        ExtractEntry(entry, file, verify_file_crc_, [&](std::string_view piece) -> ArchiveStatus {
          if (auto ec = out->Write(piece)) return ArchiveStatus::CannotCreate(target, ec);
          return {};
        });
    if (!s.ok()) return s;
    if (auto ec = out->Commit()) return ArchiveStatus::CannotCreate(target, ec);
  }
  return {};
}

ArchiveStatus PackArchive::VerifyAll() const {
  if (ArchiveStatus s = RequireOpen(); !s.ok()) return s;
  FileSource opened;
  if (!memory_ && opened.Open(files(), path_)) return UnableToOpen(path_);
  const ByteSource& file = memory_ ? *memory_ : static_cast<const ByteSource&>(opened);
  for (const ArchiveEntry& entry : entries_) {
    if (!IsPlainFileName(entry.file_name)) {
      return ArchiveStatus::Failure("Not a plain file name: " + entry.file_name);
    }
    const ArchiveStatus s =
        ExtractEntry(entry, file, true, [](std::string_view) { return ArchiveStatus(); });
    if (!s.ok()) return s;
  }
  return {};
}

ArchiveStatus PackArchive::ExtractEntry(
    const ArchiveEntry& entry, const ByteSource& file, bool check_crc,
    const std::function<ArchiveStatus(std::string_view)>& sink) const {
  const auto method = static_cast<StorageMethod>(entry.method);
  if (method == StorageMethod::kCompressedEncrypted || method == StorageMethod::kStoredEncrypted) {
    if (password_.empty()) return ArchiveStatus::Failure("No password given for encrypted file");
    return ArchiveStatus::Failure("No decryption algorithm found");
  }
  if (method != StorageMethod::kCompressed && method != StorageMethod::kStored) return Corrupted();
  const int64_t area = trailer_.data_size;
  if (entry.size < 0 || entry.offset < 0 || entry.offset > area) return Corrupted();
  const int64_t room = area - entry.offset;
  const uint64_t base = static_cast<uint64_t>(start_ + entry.offset);
  uint32_t crc = 0;
  auto write = [&](std::string_view piece) {
    crc = Crc(crc, piece);
    return sink(piece);
  };

  std::string buf;
  if (method == StorageMethod::kStored) {
    if (entry.size > room) return Corrupted();
    buf.resize(static_cast<size_t>(std::min<int64_t>(kBlock, entry.size)));
    for (uint64_t done = 0; done < static_cast<uint64_t>(entry.size);) {
      const size_t n = static_cast<size_t>(
          std::min<uint64_t>(buf.size(), static_cast<uint64_t>(entry.size) - done));
      if (!ReadExactly(file, base + done, buf.data(), n)) return Corrupted();
      if (ArchiveStatus s = write(std::string_view(buf.data(), n)); !s.ok()) return s;
      done += n;
    }
  } else {
    const int64_t packed = entry.compressed_size;
    if (packed <= 0 || packed > room || entry.size / kMaxInflateRatio > packed) return Corrupted();
    bool done = false;
    if (static_cast<uint64_t>(entry.size) <= kInMemoryLimit &&
        static_cast<uint64_t>(packed) <= kInMemoryLimit) {
      std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> d(
          libdeflate_alloc_decompressor());
      if (d) {
        std::string in(static_cast<size_t>(packed), '\0');
        if (!ReadExactly(file, base, in.data(), in.size())) return Corrupted();
        std::string out(static_cast<size_t>(entry.size), '\0');
        size_t produced = 0;
        if (libdeflate_zlib_decompress(d.get(), in.data(), in.size(), out.data(), out.size(),
                                       &produced) == LIBDEFLATE_SUCCESS &&
            produced == out.size()) {
          if (ArchiveStatus s = write(out); !s.ok()) return s;
          done = true;
        }
      }
    }
    if (!done) {
      // Streamed: inflate until the declared size has been produced.
      ZlibInflater inflater;
      if (!inflater.error().empty()) return ArchiveStatus::Failure(inflater.error());
      buf.resize(static_cast<size_t>(std::min<int64_t>(kBlock, packed)));
      std::string out(256 * 1024, '\0');
      uint64_t read_pos = 0;
      uint64_t produced_total = 0;
      const uint64_t want = static_cast<uint64_t>(entry.size);
      std::string_view pending;
      while (produced_total < want) {
        if (pending.empty()) {
          if (read_pos >= static_cast<uint64_t>(packed)) return Corrupted();
          const size_t n = static_cast<size_t>(
              std::min<uint64_t>(buf.size(), static_cast<uint64_t>(packed) - read_pos));
          if (!ReadExactly(file, base + read_pos, buf.data(), n)) return Corrupted();
          read_pos += n;
          pending = std::string_view(buf.data(), n);
        }
        const size_t pending_before = pending.size();
        size_t produced = 0;
        const size_t room_out =
            static_cast<size_t>(std::min<uint64_t>(out.size(), want - produced_total));
        const auto status = inflater.Inflate(pending, out.data(), room_out, produced);
        if (produced > 0) {
          if (ArchiveStatus s = write(std::string_view(out.data(), produced)); !s.ok()) return s;
        }
        produced_total += produced;
        if (status == ZlibInflater::Status::kError) return Corrupted();
        if (status == ZlibInflater::Status::kEnd && produced_total < want) return Corrupted();
        if (produced == 0 && pending.size() == pending_before) return Corrupted();
      }
    }
  }
  if (check_crc && crc != entry.crc) {
    return ArchiveStatus::Failure(entry.file_name + " failed CRC check");
  }
  return {};
}

}  // namespace pelvar::archive
