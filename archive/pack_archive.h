// A single-file archive of zlib-compressed or stored files: the data of the
// entries, then the registry (their directory records, normally one zlib
// stream), then a 36-byte trailer. The archive may follow other bytes in its
// file; its start is found from the end. Files are added one at a time (the
// archive is rewritten beside itself and renamed into place) and extracted
// all together. Large files are streamed through bounded buffers.
//
// Every failure is returned as a status carrying the message the user sees.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_status.h"
#include "platform/file_system.h"

namespace pelvar::archive {

class ByteSource;

class PackArchive {
 public:
  PackArchive();
  ~PackArchive();
  PackArchive(const PackArchive&) = delete;
  PackArchive& operator=(const PackArchive&) = delete;

  // Options.
  CompressionLevel compression_level() const { return compression_level_; }
  void set_compression_level(CompressionLevel level) { compression_level_ = level; }
  // Whether opening checks the archive CRC (on by default).
  void set_verify_archive_crc(bool on) { verify_archive_crc_ = on; }
  // Whether extraction checks each file's CRC (off by default).
  void set_verify_file_crc(bool on) { verify_file_crc_ = on; }
  // A password only changes which message refuses an encrypted entry: this
  // archive has no cipher.
  void set_password(std::string password) { password_ = std::move(password); }
  // The file system the archive and its files live on (null: the thread's
  // real one).
  void set_files(platform::FileSystem* files) { files_ = files; }
  // How the archive file itself is written (a scratch archive needs no
  // flush); files extracted from it are written for a command either way.
  void set_durability(platform::Durability durability) { durability_ = durability; }
  // Makes a new archive's bytes go to `out` instead of its file, whose path
  // then only names it in messages (null: to the file).
  void set_memory_output(std::string* out) { memory_output_ = out; }

  // Closes any open archive and starts a new, empty one under `path`, which
  // must not exist ("%s already exists in the archive"). An empty path
  // leaves no archive open.
  ArchiveStatus CreateArchive(std::string_view path);
  // Closes any open archive and reads the trailer and registry of `path`.
  // An empty path leaves no archive open; errors: "Archive file not found",
  // "Unable to open archive %s", "The archive was created with a different
  // version of the archive format (v%d)", "The archive appears to be
  // corrupted", "Error reading registry". A failure leaves no archive open.
  ArchiveStatus OpenArchive(std::string_view path);
  // Opens archive bytes held in memory, read only; `name` stands for the
  // archive in messages. Fails as OpenArchive does after its first two.
  ArchiveStatus OpenArchiveBytes(std::string bytes, std::string_view name);
  // Reads the trailer and registry of an archive of `size` bytes of which
  // only the last ones, `tail`, are at hand (its entries cannot be read).
  // The archive CRC is not checked: the caller has the bytes it covers.
  // Fails as OpenArchiveBytes does.
  ArchiveStatus OpenArchiveTail(std::string tail, uint64_t size, std::string_view name);
  // Forgets the open archive; harmless when none is open.
  void CloseArchive();
  bool is_open() const { return !path_.empty(); }

  // Appends a file under its file name (not to archives opened from bytes).
  // On any failure the archive file is left as it was.
  ArchiveStatus AddFile(std::string_view source_path);

  // Writes every entry into `destination` (created with its parents when
  // missing; files there are replaced). An entry whose name is not a plain
  // file name is refused with "Error extracting file to %s". A failed entry
  // leaves no partial file behind; its error ends the extraction.
  ArchiveStatus ExtractAll(std::string_view destination);

  // Reads every entry through to its end and checks its CRC and size,
  // writing nothing. Fails as extraction would.
  ArchiveStatus VerifyAll() const;

  int FileCount() const { return static_cast<int>(entries_.size()); }
  // The entry at `index`; null outside 0 .. FileCount() - 1.
  const ArchiveEntry* GetEntry(int index) const;
  // Index of the entry whose folder path and file name equal `name`,
  // ignoring case; -1 when none.
  int IndexOfFile(std::string_view name) const;
  const ArchiveTrailer& trailer() const { return trailer_; }
  bool legacy() const { return legacy_; }
  int64_t archive_start() const { return start_; }

  // The folder ExtractAll writes into for `destination`: runs of
  // backslashes collapsed to one, and one trailing separator removed.
  static std::string ExtractionFolder(std::string_view destination);

  // True when `name` can be written inside a folder as it stands: not
  // empty, not "." or "..", and free of "\", "/", ":" and NUL.
  static bool IsPlainFileName(std::string_view name);

 private:
  ArchiveStatus RequireOpen() const;
  ArchiveStatus ReadTrailerAndRegistry(const ByteSource& file);
  ArchiveStatus ReadRegistry(const ByteSource& file);
  // Appends the source file's entry to `out`, which holds the archive up to
  // the end of its data area; `write` adds bytes to the archive's CRC.
  ArchiveStatus AddEntry(const std::string& source, platform::FileWriter& out,
                         const std::function<ArchiveStatus(std::string_view)>& write,
                         uint32_t& archive_crc, ArchiveEntry& entry);
  // Inflates one entry into `sink`, checking its sizes (and its CRC when
  // `check_crc` is set). The first failure of `sink` stops it.
  ArchiveStatus ExtractEntry(const ArchiveEntry& entry, const ByteSource& file, bool check_crc,
                             const std::function<ArchiveStatus(std::string_view)>& sink) const;

  std::string path_;
  platform::FileSystem& files() const;

  platform::FileSystem* files_ = nullptr;
  platform::Durability durability_ = platform::Durability::kRewrite;
  std::string* memory_output_ = nullptr;
  std::unique_ptr<ByteSource> memory_;  // set for archives opened from bytes
  ArchiveTrailer trailer_;
  std::vector<ArchiveEntry> entries_;
  bool new_archive_ = false;
  bool legacy_ = false;
  int64_t start_ = -1;

  CompressionLevel compression_level_ = CompressionLevel::kDefault;
  bool verify_archive_crc_ = true;
  bool verify_file_crc_ = false;
  std::string password_;
};

}  // namespace pelvar::archive
