#include "archive/pack_archive.h"

#include <libdeflate.h>
#include <zlib.h>

#include <functional>
#include <memory>
#include <optional>

#include "archive/byte_source.h"
#include "archive/zlib_stream.h"
#include "engine/script_error.h"
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

[[noreturn]] void ThrowCorrupted() {
  throw ScriptError("The archive appears to be corrupted");
}
[[noreturn]] void ThrowRegistryError() {
  throw ScriptError("Error reading registry");
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

// Reads `count` bytes at `offset`, or raises `fail`.
template <typename Fail>
void ReadExactly(const ByteSource& file, uint64_t offset, char* out, size_t count, Fail fail) {
  size_t got = 0;
  if (file.ReadAt(offset, out, count, got) || got != count) fail();
}

// Reads a whole small file of the size it had when opened; nullopt when it
// has grown since (the streamed path then takes it as it is).
std::optional<std::string> ReadSmallFile(const FileSource& file, const std::string& name) {
  std::string data(static_cast<size_t>(file.size()) + 1, '\0');
  size_t got = 0;
  if (file.ReadAt(0, data.data(), data.size(), got)) {
    throw ScriptError("Unable to open archive " + name);
  }
  if (got > file.size()) return std::nullopt;
  data.resize(got);
  return data;
}

// A zlib stream of `data`, or nullopt when no compressor can be had.
std::optional<std::string> DeflateInMemory(std::string_view data, CompressionLevel level) {
  std::unique_ptr<libdeflate_compressor, CompressorDeleter> c(
      libdeflate_alloc_compressor(LibdeflateLevel(level)));
  if (!c) return std::nullopt;
  std::string out(libdeflate_zlib_compress_bound(c.get(), data.size()), '\0');
  const size_t n =
      libdeflate_zlib_compress(c.get(), data.data(), data.size(), out.data(), out.size());
  if (n == 0) return std::nullopt;
  out.resize(n);
  return out;
}

// The folder an entry goes to: runs of backslashes collapsed to one, and one
// trailing separator removed.
std::string ExtractionFolder(std::string_view destination) {
  std::string folder;
  folder.reserve(destination.size());
  for (char c : destination) {
    if (c == '\\' && !folder.empty() && folder.back() == '\\') continue;
    folder.push_back(c);
  }
  if (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

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

void PackArchive::RequireOpen() const {
  if (path_.empty()) throw ScriptError("No archive is currently open");
}

void PackArchive::CreateArchive(std::string_view path) {
  CloseArchive();
  if (path.empty()) return;
  if (memory_output_ == nullptr && files().Exists(path)) {
    throw ScriptError(std::string(path) + " already exists in the archive");
  }
  path_ = std::string(path);
  new_archive_ = true;
  legacy_ = false;
  start_ = 0;
}

bool PackArchive::OpenArchive(std::string_view path) {
  CloseArchive();
  if (path.empty()) return false;
  if (!files().IsFile(path)) throw ScriptError("Archive file not found");
  FileSource file;
  if (file.Open(files(), path)) throw ScriptError("Unable to open archive " + std::string(path));
  ReadTrailerAndRegistry(file);
  path_ = std::string(path);
  return true;
}

void PackArchive::OpenArchiveBytes(std::string bytes, std::string_view name) {
  CloseArchive();
  auto memory = std::make_unique<MemorySource>(std::move(bytes));
  ReadTrailerAndRegistry(*memory);
  memory_ = std::move(memory);
  path_ = std::string(name);
}

void PackArchive::ReadTrailerAndRegistry(const ByteSource& file) {
  const uint64_t size = file.size();
  if (size < kTrailerSize) ThrowCorrupted();
  std::string tail(kTrailerSize, '\0');
  ReadExactly(file, size - kTrailerSize, tail.data(), tail.size(), ThrowCorrupted);
  const ArchiveTrailer t = DecodeTrailer(tail);
  if (t.version != 1 && t.version != 2) {
    throw ScriptError("The archive was created with a different version of the archive format (v" +
                      std::to_string(static_cast<int32_t>(t.version)) + ")");
  }
  const uint64_t body = size - kTrailerSize;
  if (t.registry_size < 0 || t.data_size < 0 || t.entry_count < 0 ||
      static_cast<uint64_t>(t.registry_size) > body ||
      static_cast<uint64_t>(t.data_size) > body - static_cast<uint64_t>(t.registry_size)) {
    ThrowCorrupted();
  }
  const uint64_t start =
      body - static_cast<uint64_t>(t.registry_size) - static_cast<uint64_t>(t.data_size);
  if (verify_archive_crc_) {
    std::string buf(static_cast<size_t>(std::min<uint64_t>(kBlock, body - start)), '\0');
    uint32_t crc = 0;
    for (uint64_t pos = start; pos < body;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, body - pos));
      ReadExactly(file, pos, buf.data(), n, ThrowCorrupted);
      crc = Crc(crc, std::string_view(buf.data(), n));
      pos += n;
    }
    if (crc != t.archive_crc) ThrowCorrupted();
  }
  trailer_ = t;
  start_ = static_cast<int64_t>(start);
  legacy_ = t.version == 1;
  try {
    ReadRegistry(file);
  } catch (...) {
    CloseArchive();
    throw;
  }
}

void PackArchive::ReadRegistry(const ByteSource& file) {
  const int32_t count = trailer_.entry_count;
  const size_t record_size = RecordSize(trailer_.version);
  const int64_t registry_size = trailer_.registry_size;
  if (count > kMaxEntries) ThrowRegistryError();
  const size_t need = static_cast<size_t>(count) * record_size;
  const uint64_t registry_pos = static_cast<uint64_t>(start_ + trailer_.data_size);
  std::string records(need, '\0');
  if (!trailer_.registry_compressed) {
    if (static_cast<uint64_t>(registry_size) < need) ThrowRegistryError();
    ReadExactly(file, registry_pos, records.data(), need, ThrowRegistryError);
  } else if (need > 0) {
    if (static_cast<int64_t>(need) / kMaxInflateRatio > registry_size) ThrowRegistryError();
    ZlibInflater inflater;
    std::string in(std::min<size_t>(kBlock, static_cast<size_t>(registry_size)), '\0');
    uint64_t read_pos = registry_pos;
    const uint64_t end = registry_pos + static_cast<uint64_t>(registry_size);
    size_t done = 0;
    std::string_view pending;
    while (done < need) {
      if (pending.empty()) {
        if (read_pos >= end) ThrowRegistryError();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(in.size(), end - read_pos));
        ReadExactly(file, read_pos, in.data(), n, ThrowRegistryError);
        read_pos += n;
        pending = std::string_view(in.data(), n);
      }
      const size_t pending_before = pending.size();
      size_t produced = 0;
      const auto status = inflater.Inflate(pending, records.data() + done, need - done, produced);
      done += produced;
      if (produced == 0 && pending.size() == pending_before) ThrowRegistryError();
      if (status == ZlibInflater::Status::kError) ThrowRegistryError();
      if (status == ZlibInflater::Status::kEnd && done < need) ThrowRegistryError();
    }
  }
  entries_.clear();
  entries_.reserve(static_cast<size_t>(count));
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    entries_.push_back(DecodeRecord(std::string_view(records).substr(i * record_size, record_size),
                                    trailer_.version));
  }
}

const ArchiveEntry& PackArchive::GetEntry(int index) const {
  if (index < 0 || index >= FileCount()) throw ScriptError("Index out of bounds");
  return entries_[static_cast<size_t>(index)];
}

int PackArchive::IndexOfFile(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (IEquals(entries_[i].folder + entries_[i].file_name, name)) return static_cast<int>(i);
  }
  return -1;
}

void PackArchive::AddFile(std::string_view source_path) {
  RequireOpen();
  if (legacy_) throw ScriptError(kOlderVersion);
  const std::string name = FileNameOfPath(source_path);
  if (IndexOfFile(name) >= 0) throw ScriptError(name + " already exists in the archive");

  std::unique_ptr<platform::FileWriter> writer;
  if (memory_output_ != nullptr) {
    if (!new_archive_) throw ScriptError("Unable to open archive " + path_);
    memory_output_->clear();
    writer = std::make_unique<StringWriter>(*memory_output_);
  } else if (auto ec = files().OpenReplace(path_, durability_, writer)) {
    ThrowCannotCreate(path_, platform::SystemMessage(ec));
  }
  platform::FileWriter& out = *writer;
  uint32_t archive_crc = 0;
  auto write = [&](std::string_view piece) {
    if (auto ec = out.Write(piece)) ThrowCannotCreate(path_, platform::SystemMessage(ec));
    archive_crc = Crc(archive_crc, piece);
  };

  std::string buf(kBlock, '\0');
  const uint64_t start = static_cast<uint64_t>(start_);
  if (!new_archive_) {
    // The prefix and the data of the entries already there.
    FileSource old;
    if (memory_ || old.Open(files(), path_)) throw ScriptError("Unable to open archive " + path_);
    const uint64_t keep = start + static_cast<uint64_t>(trailer_.data_size);
    auto fail = [this] { throw ScriptError("Unable to open archive " + path_); };
    for (uint64_t pos = 0; pos < keep;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, keep - pos));
      ReadExactly(old, pos, buf.data(), n, fail);
      std::string_view piece(buf.data(), n);
      if (pos < start) {
        const size_t prefix = static_cast<size_t>(std::min<uint64_t>(n, start - pos));
        if (auto ec = out.Write(piece.substr(0, prefix))) {
          ThrowCannotCreate(path_, platform::SystemMessage(ec));
        }
        piece.remove_prefix(prefix);
      }
      write(piece);
      pos += n;
    }
  }

  const std::string source(source_path);
  FileSource src;
  if (src.Open(files(), source)) throw ScriptError("Unable to open archive " + source);

  ArchiveEntry entry;
  entry.file_name = name;
  const uint64_t data_begin = out.size();
  entry.offset = static_cast<int64_t>(data_begin - start);
  const uint32_t crc_before = archive_crc;
  bool compressed = false;

  std::optional<std::string> small;
  if (src.size() <= kInMemoryLimit) small = ReadSmallFile(src, source);
  if (small) {
    entry.size = static_cast<int64_t>(small->size());
    entry.crc = Crc(0, *small);
    std::optional<std::string> packed = DeflateInMemory(*small, compression_level_);
    if (packed && packed->size() < small->size()) {
      write(*packed);
      entry.compressed_size = static_cast<int64_t>(packed->size());
      compressed = true;
    } else {
      write(*small);
    }
  } else {
    ZlibDeflater deflater(ZlibLevel(compression_level_));
    uint64_t packed_size = 0;
    auto sink = [&](std::string_view piece) {
      write(piece);
      packed_size += piece.size();
    };
    uint64_t pos = 0;
    uint32_t file_crc = 0;
    for (;;) {
      size_t got = 0;
      if (src.ReadAt(pos, buf.data(), buf.size(), got)) {
        throw ScriptError("Unable to open archive " + source);
      }
      const std::string_view piece(buf.data(), got);
      file_crc = Crc(file_crc, piece);
      pos += got;
      deflater.Compress(piece, got == 0, sink);
      if (got == 0) break;
    }
    entry.size = static_cast<int64_t>(pos);
    entry.crc = file_crc;
    if (packed_size < pos) {
      entry.compressed_size = static_cast<int64_t>(packed_size);
      compressed = true;
    } else {
      // Compression did not pay: store the bytes as they are.
      if (auto ec = out.Truncate(data_begin)) ThrowCannotCreate(path_, platform::SystemMessage(ec));
      archive_crc = crc_before;
      pos = 0;
      file_crc = 0;
      for (;;) {
        size_t got = 0;
        if (src.ReadAt(pos, buf.data(), buf.size(), got)) {
          throw ScriptError("Unable to open archive " + source);
        }
        if (got == 0) break;
        const std::string_view piece(buf.data(), got);
        file_crc = Crc(file_crc, piece);
        write(piece);
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

  std::vector<ArchiveEntry> entries = entries_;
  entries.push_back(entry);
  std::string records;
  records.reserve(entries.size() * kRecordSizeV2);
  for (const auto& e : entries) records += EncodeRecord(e);

  ArchiveTrailer t;
  t.entry_count = static_cast<int32_t>(entries.size());
  t.data_size = static_cast<int64_t>(out.size() - start);
  std::string registry(compressBound(static_cast<uLong>(records.size())), '\0');
  uLongf registry_len = static_cast<uLongf>(registry.size());
  if (compress2(reinterpret_cast<Bytef*>(registry.data()), &registry_len,
                reinterpret_cast<const Bytef*>(records.data()), static_cast<uLong>(records.size()),
                ZlibLevel(compression_level_)) == Z_OK) {
    registry.resize(registry_len);
    t.registry_compressed = true;
  } else {
    registry = std::move(records);
    t.registry_compressed = false;
  }
  t.registry_size = static_cast<int32_t>(registry.size());
  write(registry);
  t.archive_crc = archive_crc;
  if (auto ec = out.Write(EncodeTrailer(t))) ThrowCannotCreate(path_, platform::SystemMessage(ec));
  if (auto ec = out.Commit()) ThrowCannotCreate(path_, platform::SystemMessage(ec));

  entries_ = std::move(entries);
  trailer_ = t;
  new_archive_ = false;
}

void PackArchive::ExtractAll(std::string_view destination) {
  RequireOpen();
  FileSource opened;
  if (!memory_ && opened.Open(files(), path_)) throw ScriptError("Unable to open archive " + path_);
  const ByteSource& file = memory_ ? *memory_ : static_cast<const ByteSource&>(opened);
  for (const ArchiveEntry& entry : entries_) {
    const std::string folder = ExtractionFolder(destination);
    if (!IsPlainFileName(entry.file_name) || files().MakeFolder(folder, /*parents=*/true)) {
      throw ScriptError("Error extracting file to " + folder);
    }
    const std::string target = folder + "\\" + entry.file_name;
    std::unique_ptr<platform::FileWriter> out;
    if (auto ec = files().OpenReplace(target, platform::Durability::kBulk, out)) {
      ThrowCannotCreate(target, platform::SystemMessage(ec));
    }
    ExtractEntry(entry, file, verify_file_crc_, [&](std::string_view piece) {
      if (auto ec = out->Write(piece)) ThrowCannotCreate(target, platform::SystemMessage(ec));
    });
    if (auto ec = out->Commit()) ThrowCannotCreate(target, platform::SystemMessage(ec));
  }
}

void PackArchive::VerifyAll() const {
  RequireOpen();
  FileSource opened;
  if (!memory_ && opened.Open(files(), path_)) throw ScriptError("Unable to open archive " + path_);
  const ByteSource& file = memory_ ? *memory_ : static_cast<const ByteSource&>(opened);
  for (const ArchiveEntry& entry : entries_) {
    if (!IsPlainFileName(entry.file_name))
      throw ScriptError("Not a plain file name: " + entry.file_name);
    ExtractEntry(entry, file, true, [](std::string_view) {});
  }
}

void PackArchive::ExtractEntry(const ArchiveEntry& entry, const ByteSource& file, bool check_crc,
                               const std::function<void(std::string_view)>& sink) const {
  const auto method = static_cast<StorageMethod>(entry.method);
  if (method == StorageMethod::kCompressedEncrypted || method == StorageMethod::kStoredEncrypted) {
    if (password_.empty()) throw ScriptError("No password given for encrypted file");
    throw ScriptError("No decryption algorithm found");
  }
  if (method != StorageMethod::kCompressed && method != StorageMethod::kStored) ThrowCorrupted();
  const int64_t area = trailer_.data_size;
  if (entry.size < 0 || entry.offset < 0 || entry.offset > area) ThrowCorrupted();
  const int64_t room = area - entry.offset;
  const uint64_t base = static_cast<uint64_t>(start_ + entry.offset);
  uint32_t crc = 0;
  auto write = [&](std::string_view piece) {
    sink(piece);
    crc = Crc(crc, piece);
  };

  std::string buf;
  if (method == StorageMethod::kStored) {
    if (entry.size > room) ThrowCorrupted();
    buf.resize(static_cast<size_t>(std::min<int64_t>(kBlock, entry.size)));
    for (uint64_t done = 0; done < static_cast<uint64_t>(entry.size);) {
      const size_t n = static_cast<size_t>(
          std::min<uint64_t>(buf.size(), static_cast<uint64_t>(entry.size) - done));
      ReadExactly(file, base + done, buf.data(), n, ThrowCorrupted);
      write(std::string_view(buf.data(), n));
      done += n;
    }
  } else {
    const int64_t packed = entry.compressed_size;
    if (packed <= 0 || packed > room || entry.size / kMaxInflateRatio > packed) ThrowCorrupted();
    bool done = false;
    if (static_cast<uint64_t>(entry.size) <= kInMemoryLimit &&
        static_cast<uint64_t>(packed) <= kInMemoryLimit) {
      std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> d(
          libdeflate_alloc_decompressor());
      if (d) {
        std::string in(static_cast<size_t>(packed), '\0');
        ReadExactly(file, base, in.data(), in.size(), ThrowCorrupted);
        std::string out(static_cast<size_t>(entry.size), '\0');
        size_t produced = 0;
        if (libdeflate_zlib_decompress(d.get(), in.data(), in.size(), out.data(), out.size(),
                                       &produced) == LIBDEFLATE_SUCCESS &&
            produced == out.size()) {
          write(out);
          done = true;
        }
      }
    }
    if (!done) {
      // Streamed: inflate until the declared size has been produced.
      ZlibInflater inflater;
      buf.resize(static_cast<size_t>(std::min<int64_t>(kBlock, packed)));
      std::string out(256 * 1024, '\0');
      uint64_t read_pos = 0;
      uint64_t produced_total = 0;
      const uint64_t want = static_cast<uint64_t>(entry.size);
      std::string_view pending;
      while (produced_total < want) {
        if (pending.empty()) {
          if (read_pos >= static_cast<uint64_t>(packed)) ThrowCorrupted();
          const size_t n = static_cast<size_t>(
              std::min<uint64_t>(buf.size(), static_cast<uint64_t>(packed) - read_pos));
          ReadExactly(file, base + read_pos, buf.data(), n, ThrowCorrupted);
          read_pos += n;
          pending = std::string_view(buf.data(), n);
        }
        const size_t pending_before = pending.size();
        size_t produced = 0;
        const size_t room_out =
            static_cast<size_t>(std::min<uint64_t>(out.size(), want - produced_total));
        const auto status = inflater.Inflate(pending, out.data(), room_out, produced);
        if (produced > 0) write(std::string_view(out.data(), produced));
        produced_total += produced;
        if (status == ZlibInflater::Status::kError) ThrowCorrupted();
        if (status == ZlibInflater::Status::kEnd && produced_total < want) ThrowCorrupted();
        if (produced == 0 && pending.size() == pending_before) ThrowCorrupted();
      }
    }
  }
  if (check_crc && crc != entry.crc) throw ScriptError(entry.file_name + " failed CRC check");
}

}  // namespace pelvar::archive
