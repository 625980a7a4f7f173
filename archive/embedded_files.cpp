#include "archive/embedded_files.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/base64_text.h"
#include "archive/byte_source.h"
#include "archive/pack_archive.h"
#include "archive/streaming_extraction.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/ini_text.h"
#include "engine/integer_text.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/process_launcher.h"
#include "platform/system_folders.h"

namespace pelvar::archive {

namespace {

constexpr size_t kBlock = 1 << 20;
constexpr const char* kArchiveName = "/embedded.arc";
// Archives up to this size are decoded into memory rather than a file.
constexpr uint64_t kInMemoryArchive = 16u << 20;
// Archives up to this size are extracted from memory when they are whole
// rather than streamed (less than the above: their file may be inflated
// into memory too).
constexpr uint64_t kHeldArchive = 8u << 20;

// Makes a private scratch folder.
ArchiveStatus MakeScratchFolder(platform::ScopedTempFolder& folder) {
  if (auto ec = folder.Create()) {
    return ArchiveStatus::CannotCreate(platform::HostTempDir() + "pelvar-XXXXXX", ec);
  }
  return {};
}

// True for "0" and decimal numbers without leading zeros that fit an int.
bool IsLineKey(std::string_view key, int32_t& index) {
  if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == '0')) return false;
  int64_t v = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > INT32_MAX) return false;
  index = static_cast<int32_t>(v);
  return true;
}

// Decodes the text lines of a file section, handing the bytes to `sink` in
// pieces of about 1 MiB. Returns an empty text when the text is whole, else
// why it is not: lines missing at its end, or a last line cut short.
std::string DecodeSection(const IniModel& model, int section,
                          const std::function<void(std::string_view)>& sink) {
  const auto& lines = model.sections()[static_cast<size_t>(section)].lines;
  int32_t last = 0;
  const int lines_key = model.FindKeyLine(section, "lines");
  if (lines_key >= 0) {
    const std::string& l = lines[static_cast<size_t>(lines_key)];
    last = ParseIntegerText(std::string_view(l).substr(l.find('=') + 1)).value_or(0);
  }
  // The numbered lines present, by number; the first of a number counts.
  // Missing numbers are empty lines, and those after the last present one
  // would add nothing.
  std::vector<std::pair<int32_t, size_t>> numbered;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view key;
    int32_t index = 0;
    if (IniModel::KeyOfLine(lines[i], key) && IsLineKey(key, index) && index <= last) {
      numbered.emplace_back(index, i);
    }
  }
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  Base64Decoder decoder;
  std::string bytes;
  bytes.reserve(kBlock + kBase64LineLength);
  int64_t next = 0;
  for (const auto& [index, line] : numbered) {
    if (index < next) continue;  // a later duplicate
    decoder.SkipEmptyLines(static_cast<uint64_t>(index - next));
    std::string_view value = lines[line];
    value.remove_prefix(value.find('=') + 1);
    decoder.AddLine(value, bytes);
    if (bytes.size() >= kBlock) {
      sink(bytes);
      bytes.clear();
    }
    next = static_cast<int64_t>(index) + 1;
  }
  if (!bytes.empty()) sink(bytes);
  if (next <= last) {
    return "it has " + std::to_string(next) + " of its " +
           std::to_string(static_cast<int64_t>(last) + 1) + " lines";
  }
  return {};
}

// The failure to open a decoded archive: the archive's own reason, unless
// the text it was decoded from was cut short.
ArchiveStatus Unreadable(const ArchiveStatus& status, const std::string& incomplete,
                         const std::string& section_name) {
  if (status.ok() || incomplete.empty()) return status;
  return ArchiveStatus::Failure("The embedded text of \"" + section_name +
                                "\" is truncated: " + incomplete);
}

// Characters of the section's text lines.
uint64_t TextSize(const IniModel& model, int section) {
  uint64_t size = 0;
  for (const auto& l : model.sections()[static_cast<size_t>(section)].lines) size += l.size();
  return size;
}

// The archive size that the folder index records for a file; 0 when unknown.
uint64_t RecordedArchiveSize(const IniModel& model, std::string_view folder,
                             std::string_view file_name) {
  const std::string sizes = model.ReadString(folder, file_name, "");
  uint64_t size = 0;
  for (const char c : sizes) {
    if (c < '0' || c > '9' || size > (uint64_t{1} << 56)) break;
    size = size * 10 + static_cast<uint64_t>(c - '0');
  }
  return size;
}

// Decodes one file section and opens its archive: a small archive from
// memory, a large one from a scratch file in `scratch`. `expected`: the
// archive's size as the folder index records it (0: unknown).
ArchiveStatus OpenSection(platform::FileSystem& files, const IniModel& model, int section,
                          PackArchive& archive, platform::ScopedTempFolder& scratch,
                          uint64_t expected) {
  archive.set_files(&files);
  const std::string& name = model.sections()[static_cast<size_t>(section)].name;
  if (TextSize(model, section) / 4 * 3 <= kInMemoryArchive) {
    std::string bytes;
    std::string incomplete =
        DecodeSection(model, section, [&](std::string_view piece) { bytes.append(piece); });
    if (incomplete.empty() && bytes.size() < expected) {
      incomplete = std::to_string(bytes.size()) + " of " + std::to_string(expected) + " bytes";
    }
    return Unreadable(archive.OpenArchiveBytes(std::move(bytes), name), incomplete, name);
  }
  if (ArchiveStatus s = MakeScratchFolder(scratch); !s.ok()) return s;
  const std::string archive_path = scratch.path() + kArchiveName;
  std::string incomplete;
  {
    std::unique_ptr<platform::FileWriter> out;
    if (auto ec = files.OpenReplace(archive_path, platform::Durability::kScratch, out)) {
      return ArchiveStatus::CannotCreate(archive_path, ec);
    }
    uint64_t decoded = 0;
    std::error_code write_error;
    incomplete = DecodeSection(model, section, [&](std::string_view piece) {
      decoded += piece.size();
      if (!write_error) write_error = out->Write(piece);
    });
    if (write_error) return ArchiveStatus::CannotCreate(archive_path, write_error);
    if (incomplete.empty() && decoded < expected) {
      incomplete = std::to_string(decoded) + " of " + std::to_string(expected) + " bytes";
    }
    if (auto ec = out->Commit()) return ArchiveStatus::CannotCreate(archive_path, ec);
  }
  return Unreadable(archive.OpenArchive(archive_path), incomplete, name);
}

// Decodes one file section and extracts its archive into `destination`.
ArchiveStatus ExtractSection(platform::FileSystem& files, const IniModel& model, int section,
                             std::string_view destination, uint64_t expected) {
  PackArchive archive;
  platform::ScopedTempFolder scratch(files);
  if (ArchiveStatus s = OpenSection(files, model, section, archive, scratch, expected); !s.ok()) {
    return s;
  }
  return archive.ExtractAll(destination);
}

// Index of the first section of the name when it holds lines; -1 otherwise.
int FindFilledSection(const IniModel& model, std::string_view name) {
  return model.SectionExists(name) ? model.FindSection(name) : -1;
}

bool LooksLikeProgram(platform::FileSystem& files, const std::string& path) {
  FileSource file;
  if (file.Open(files, path)) return false;
  char head[4] = {};
  size_t got = 0;
  if (file.ReadAt(0, head, sizeof head, got)) return false;
  const std::string_view h(head, got);
  return h.substr(0, 2) == "#!" || h == std::string_view(
                                            "\x7f"
                                            "ELF",
                                            4);
}

}  // namespace

std::string EmbeddedFileSection(std::string_view folder, std::string_view file_name) {
  std::string s = "EncodedFile-";
  s.append(folder);
  s.push_back('-');
  s.append(file_name);
  return s;
}

bool IsEmbeddedFileSection(std::string_view section) {
  constexpr std::string_view kPrefix = "EncodedFile-";
  return section.size() > kPrefix.size() && IEquals(section.substr(0, kPrefix.size()), kPrefix);
}

namespace {

constexpr const char* kFolderList = "EncodedFolders";

// One file on its way into the script: its archive in the scratch folder and
// the sizes of the archive and of its text.
struct Packed {
  std::string name;  // file name, the key of the folder index
  std::string section;
  std::string archive;  // a scratch file, or empty when `bytes` hold it
  std::string bytes;
  uint64_t archive_size = 0;
  uint64_t text_size = 0;
  int64_t last_line = -1;
  bool placed = false;    // its text section is written
  bool key_done = false;  // its folder index key is written
};

// The number of text lines and the text size of an archive of `size` bytes.
void TextShape(uint64_t size, int64_t& last_line, uint64_t& text_size) {
  const uint64_t full = size * 4 / 3;           // characters of a full 6-bit group
  const uint64_t tail = size % 3 != 0 ? 1 : 0;  // the one of the bits left over
  const uint64_t breaks = full / kBase64LineLength;
  const uint64_t rest = full % kBase64LineLength + tail;
  last_line = static_cast<int64_t>(breaks + (rest > 0 ? 1 : 0)) - 1;
  text_size = full + tail + 2 * breaks;
}

// Copies a script while it is read, line by line with each line's own line
// end, with the text sections of the packed files put in and their folder
// index keys set: the sections and keys it names change, every other byte of
// the script stays (comments, blank lines, layout, line ends). The script
// reads back as embedding the files one after another gives, and neither
// the script nor a text is ever held whole. Lines added take the script's
// line end (its first line's; CR LF for an empty script).
class EmbeddingWriter {
 public:
  EmbeddingWriter(platform::FileSystem& fs, std::vector<Packed>& files, std::string_view folder,
                  bool list_folder, platform::FileWriter& out)
      : fs_(fs), files_(files), folder_(folder), list_folder_(list_folder), out_(out) {
    for (size_t i = 0; i < files_.size(); ++i) {
      by_section_.emplace(AsciiLowerCopy(files_[i].section), i);
      by_name_.emplace(AsciiLowerCopy(files_[i].name), i);
    }
  }

  // One line of the script as written and its line end ("" for a last line
  // without one). False once a text could not be written (see status()).
  bool Visit(std::string_view raw, std::string_view eol) {
    if (!status_.ok()) return false;
    std::string_view text = raw;
    if (first_line_) {
      first_line_ = false;
      if (!eol.empty()) eol_.assign(eol);
      if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    }
    const std::string_view trimmed = TrimControl(text);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      EndSection();
      Begin(TrimControl(trimmed.substr(1, trimmed.size() - 2)),
            Held{std::string(raw), std::string(eol)});
    } else if (!in_section_ || trimmed.empty() || trimmed.front() == ';') {
      Other(Held{std::string(raw), std::string(eol)});
    } else {
      Line(IniModel::StoredForm(text), Held{std::string(raw), std::string(eol)});
    }
    return status_.ok();
  }

  void Finish() {
    if (!status_.ok()) return;
    EndSection();
    if (list_folder_ && !list_done_) {
      Separate();
      Put("[" + std::string(kFolderList) + "]");
      Put(folder_);
    }
    for (size_t i = 0; i < files_.size(); ++i) {
      if (!files_[i].placed) {
        Separate();
        Put("[" + files_[i].section + "]");
        WriteText(files_[i]);
        if (!status_.ok()) return;
      }
      if (i == 0 && !folder_seen_) {
        Separate();
        Put("[" + folder_ + "]");
        WriteMissingKeys();
        folder_seen_ = true;
      }
    }
  }

  // The first failure; the script must then not be replaced.
  const ArchiveStatus& status() const { return status_; }

 private:
  enum class Mode { kCopy, kMaybeSlot, kDrop, kFolder, kFolderList };

  // A line as written, kept until its place is known.
  struct Held {
    std::string raw, eol;
    bool kept = false;  // a key or text line of its section
  };

  // Writes a line with the given line end (the script's when none is
  // given); a line before it without a line end gets one first.
  void Put(std::string_view raw, std::string_view eol = {}) {
    if (open_) out_.Write(eol_);
    out_.Write(raw);
    out_.Write(eol.empty() ? std::string_view(eol_) : eol);
    open_ = false;
    written_ = true;
    last_blank_ = TrimControl(raw).empty();
  }
  // A line copied as it was, its line end included (or its lack of one).
  void Copy(const Held& line) {
    if (open_) out_.Write(eol_);
    out_.Write(line.raw);
    out_.Write(line.eol);
    open_ = line.eol.empty();
    written_ = true;
    last_blank_ = TrimControl(line.raw).empty();
  }
  void CopyAll(std::vector<Held>& lines) {
    for (const Held& line : lines) Copy(line);
    lines.clear();
  }
  // One empty line before a section added at the end, unless the script is
  // empty or ends with an empty line.
  void Separate() {
    if (written_ && !last_blank_) Put("");
  }

  // The text section's lines, encoded from the archive as they are written.
  void WriteText(Packed& file) {
    Put("lines=" + std::to_string(file.last_line));
    Base64LineEncoder encoder;
    uint64_t number = 0;
    std::string line;
    encoder.set_sink([&](std::string_view text) {
      line.assign(std::to_string(number++)).append("=").append(text).append(eol_);
      out_.Write(line);
    });
    if (file.archive.empty()) {
      for (size_t at = 0; at < file.bytes.size(); at += kBlock) {
        encoder.Add(std::string_view(file.bytes).substr(at, kBlock));
      }
      encoder.Finish();
      std::string().swap(file.bytes);
      file.placed = true;
      return;
    }
    FileSource in;
    if (in.Open(fs_, file.archive)) {
      status_ = ArchiveStatus::Failure("Unable to open archive " + file.archive);
      return;
    }
    std::string buf(kBlock, '\0');
    for (uint64_t pos = 0;;) {
      size_t got = 0;
      if (in.ReadAt(pos, buf.data(), buf.size(), got)) {
        status_ = ArchiveStatus::Failure("Unable to open archive " + file.archive);
        return;
      }
      if (got == 0) break;
      encoder.Add(std::string_view(buf.data(), got));
      pos += got;
    }
    encoder.Finish();
    file.placed = true;
  }

  void WriteMissingKeys() {
    for (Packed& f : files_) {
      if (f.key_done) continue;
      Put(KeyLine(f));
      f.key_done = true;
    }
  }

  static std::string KeyLine(const Packed& f) {
    return f.name + "=" + std::to_string(f.archive_size) + "," + std::to_string(f.text_size);
  }

  void Begin(std::string_view name, Held header) {
    in_section_ = true;
    mode_ = Mode::kCopy;
    // The file's first sections that hold lines are dropped; the first
    // empty one of the name takes its text.
    if (const auto it = by_section_.find(AsciiLowerCopy(name));
        it != by_section_.end() && !files_[it->second].placed) {
      mode_ = Mode::kMaybeSlot;
      slot_ = it->second;
      held_.push_back(std::move(header));
      return;
    }
    if (!folder_seen_ && IEquals(name, folder_)) {
      folder_seen_ = true;
      mode_ = Mode::kFolder;
    } else if (list_folder_ && !list_done_ && IEquals(name, kFolderList)) {
      mode_ = Mode::kFolderList;
      listed_ = false;
      held_.push_back(std::move(header));
      return;
    }
    Copy(header);
  }

  // A comment, a blank line or a line above the first header.
  void Other(Held line) {
    switch (mode_) {
      case Mode::kDrop:
        return;
      case Mode::kCopy:
        Copy(line);
        return;
      case Mode::kMaybeSlot:
      case Mode::kFolder:
      case Mode::kFolderList:
        held_.push_back(std::move(line));
        return;
    }
  }

  void Line(const std::string& line, Held raw) {
    switch (mode_) {
      case Mode::kMaybeSlot:
        mode_ = Mode::kDrop;
        held_.clear();
        return;
      case Mode::kDrop:
        return;
      case Mode::kFolder: {
        // Comments and blanks before the line stay before it; those after
        // the section's last line come after the keys added to it.
        CopyAll(held_);
        std::string_view key;
        if (IniModel::KeyOfLine(line, key)) {
          const auto it = by_name_.find(AsciiLowerCopy(key));
          if (it != by_name_.end() && !files_[it->second].key_done) {
            raw.raw = KeyLine(files_[it->second]);
            files_[it->second].key_done = true;
          }
        }
        Copy(raw);
        return;
      }
      case Mode::kFolderList:
        listed_ = listed_ || IEquals(line, folder_);
        raw.kept = true;
        held_.push_back(std::move(raw));
        return;
      case Mode::kCopy:
        Copy(raw);
        return;
    }
  }

  void EndSection() {
    switch (mode_) {
      case Mode::kMaybeSlot:
        // The header, the section's text, then the comments it held.
        Copy(held_.front());
        held_.erase(held_.begin());
        WriteText(files_[slot_]);
        if (!status_.ok()) return;
        CopyAll(held_);
        break;
      case Mode::kDrop:
        break;
      case Mode::kFolder:
        WriteMissingKeys();
        CopyAll(held_);
        break;
      case Mode::kFolderList: {
        // A new folder goes in after the first line, as the editor puts
        // it, or after the header of a list without lines.
        size_t after = 0;
        for (size_t i = 1; i < held_.size(); ++i) {
          if (held_[i].kept) {
            after = i;
            break;
          }
        }
        for (size_t i = 0; i < held_.size(); ++i) {
          Copy(held_[i]);
          if (i == after && !listed_) Put(folder_);
        }
        held_.clear();
        list_done_ = true;
        break;
      }
      case Mode::kCopy:
        break;
    }
    mode_ = Mode::kCopy;
  }

  platform::FileSystem& fs_;
  std::vector<Packed>& files_;
  std::string folder_;
  bool list_folder_;
  platform::FileWriter& out_;
  Mode mode_ = Mode::kCopy;
  std::string eol_ = "\r\n";
  bool first_line_ = true;
  bool in_section_ = false;
  bool open_ = false;        // the line written last has no line end
  bool written_ = false;     // anything was written
  bool last_blank_ = false;  // the line written last is blank
  std::vector<Held> held_;
  size_t slot_ = 0;
  bool folder_seen_ = false;
  bool list_done_ = false;
  bool listed_ = false;
  ArchiveStatus status_;
  // The files by their section and by their name, folded.
  std::unordered_map<std::string, size_t> by_section_;
  std::unordered_map<std::string, size_t> by_name_;
};

// Reads a file as lines with their own line ends (CR, LF or CR LF; "" for a
// last line without one) and hands each to `visit`, which returns false to
// stop.
std::error_code ScanRawLines(platform::FileReader& file,
                             const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::string buf(128 * 1024, '\0');
  std::string carry;  // the start of a line that goes on in the next piece
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    if (const std::error_code ec = file.ReadAt(offset, buf.data(), buf.size(), got)) return ec;
    const bool last = got == 0;
    offset += got;
    std::string_view data(buf.data(), got);
    if (!carry.empty()) data = carry.append(data);
    size_t pos = 0;
    while (pos < data.size()) {
      const size_t brk = data.find_first_of("\r\n", pos);
      if (brk == std::string_view::npos) break;
      size_t next = brk + 1;
      if (data[brk] == '\r') {
        if (next == data.size() && !last) break;  // its LF may follow
        if (next < data.size() && data[next] == '\n') ++next;
      }
      if (!visit(data.substr(pos, brk - pos), data.substr(brk, next - brk))) return {};
      pos = next;
    }
    std::string rest(data.substr(pos));
    if (last) {
      if (!rest.empty()) visit(rest, {});
      return {};
    }
    carry = std::move(rest);
  }
}

}  // namespace

ArchiveResult<bool> EmbedFile(platform::FileSystem& files, std::string_view source,
                              std::string_view script, std::string_view folder) {
  ArchiveResult<std::vector<bool>> r =
      EmbedFiles(files, {std::string(source)}, script, folder, false);
  return {r.value.front(), std::move(r.status)};
}

ArchiveResult<std::vector<bool>> EmbedFiles(platform::FileSystem& fs,
                                            const std::vector<std::string>& sources,
                                            std::string_view script, std::string_view folder,
                                            bool list_folder,
                                            const std::function<void(uint64_t steps)>& progress) {
  ArchiveResult<std::vector<bool>> result;
  std::vector<bool>& done = result.value;
  done.assign(sources.size(), false);
  const auto fail = [&result](ArchiveStatus status) {
    // Nothing is embedded when the script is not written.
    result.value.assign(result.value.size(), false);
    result.status = std::move(status);
    return std::move(result);
  };
  if (!fs.IsFile(script)) return result;
  platform::ScopedTempFolder scratch(fs);
  std::vector<Packed> files;
  std::unordered_map<std::string, size_t> index_of;  // by the folded name
  // Small files are packed in memory, up to a budget; the others each into
  // a scratch file (creating thousands of files costs more than packing).
  constexpr uint64_t kSmallFile = uint64_t{1} << 20;
  constexpr uint64_t kMemoryBudget = uint64_t{16} << 20;
  uint64_t in_memory = 0;
  for (size_t i = 0; i < sources.size(); ++i) {
    if (i > 0 && progress) progress(i);
    const platform::FileStatus status = fs.Status(sources[i]);
    if (!status.is_file()) continue;
    Packed p;
    p.name = FileNameOfPath(sources[i]);
    p.section = EmbeddedFileSection(folder, p.name);
    PackArchive archive;
    archive.set_files(&fs);
    if (status.size <= kSmallFile && in_memory + status.size <= kMemoryBudget) {
      archive.set_memory_output(&p.bytes);
      if (ArchiveStatus s = archive.CreateArchive(sources[i]); !s.ok()) return fail(s);
      if (ArchiveStatus s = archive.AddFile(sources[i]); !s.ok()) return fail(s);
      p.archive_size = p.bytes.size();
      in_memory += p.bytes.size();
    } else {
      if (scratch.path().empty()) {
        if (ArchiveStatus s = MakeScratchFolder(scratch); !s.ok()) return fail(s);
      }
      p.archive = scratch.path() + "/" + std::to_string(i) + ".arc";
      archive.set_durability(platform::Durability::kScratch);
      if (ArchiveStatus s = archive.CreateArchive(p.archive); !s.ok()) return fail(s);
      if (ArchiveStatus s = archive.AddFile(sources[i]); !s.ok()) return fail(s);
      FileSource packed;
      if (packed.Open(fs, p.archive)) {
        return fail(ArchiveStatus::Failure("Unable to open archive " + p.archive));
      }
      p.archive_size = packed.size();
    }
    archive.CloseArchive();
    TextShape(p.archive_size, p.last_line, p.text_size);
    // A later file of the same name replaces an earlier one.
    const auto [same, added] = index_of.emplace(AsciiLowerCopy(p.name), files.size());
    if (added) {
      files.push_back(std::move(p));
    } else {
      files[same->second] = std::move(p);
    }
    done[i] = true;
  }
  if (progress && !sources.empty()) progress(sources.size());
  if (files.empty()) return result;

  // The script is read from the replacement's view of it, under its lock.
  std::unique_ptr<platform::FileWriter> out;
  std::error_code ec = fs.OpenReplace(script, platform::Durability::kRewrite, out);
  if (!ec && out->old() != nullptr) {
    platform::FileReader& old = *out->old();
    EmbeddingWriter writer(fs, files, folder, list_folder, *out);
    if (const std::error_code read_ec = ScanRawLines(
            old,
            [&](std::string_view raw, std::string_view eol) { return writer.Visit(raw, eol); })) {
      return fail(ArchiveStatus::Failure("Cannot open file \"" + std::string(script) + "\". " +
                                         platform::SystemMessage(read_ec)));
    }
    writer.Finish();
    if (!writer.status().ok()) return fail(writer.status());
    ec = out->Commit();
  }
  if (ec) return fail(ArchiveStatus::CannotCreate(script, ec));
  if (progress) progress(sources.size() + 1);
  return result;
}

namespace {

// Decodes the lines of a text section as they are read. Lines in their
// written order ("lines" first, then the numbered lines rising, gaps being
// empty lines) are decoded on the spot; a section in any other order is
// "irregular" and must be read whole (DecodeSection).
class StreamingSection {
 public:
  explicit StreamingSection(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}

  // False once the section turns out irregular.
  bool Line(std::string_view line) {
    if (irregular_) return false;
    std::string_view key;
    if (!IniModel::KeyOfLine(line, key)) return true;  // a text line has no number
    const std::string_view value = line.substr(key.size() + 1);
    if (!seen_lines_) {
      if (!IEquals(key, "lines")) return Irregular();
      seen_lines_ = true;
      last_ = ParseIntegerText(value).value_or(0);
      return true;
    }
    int32_t index = 0;
    if (!IsLineKey(key, index) || index > last_) return true;
    if (index < next_) {
      // A later copy of a number counts for nothing; one that fills a gap
      // left before means the lines are out of order.
      for (const auto& [from, to] : gaps_) {
        if (index >= from && index < to) return Irregular();
      }
      return true;
    }
    if (index > next_) {
      decoder_.SkipEmptyLines(static_cast<uint64_t>(index - next_));
      gaps_.emplace_back(next_, index);
    }
    decoder_.AddLine(value, bytes_);
    next_ = static_cast<int64_t>(index) + 1;
    if (bytes_.size() >= kBlock) {
      sink_(bytes_);
      decoded_ += bytes_.size();
      bytes_.clear();
    }
    return true;
  }

  void Finish() {
    if (!bytes_.empty()) sink_(bytes_);
    decoded_ += bytes_.size();
    bytes_.clear();
  }
  bool irregular() const { return irregular_; }
  // After Finish: empty when the text is whole, else why it is not (lines
  // missing at its end, or fewer bytes than the folder index records).
  std::string Incomplete(uint64_t expected) const {
    if (next_ <= last_) {
      return "it has " + std::to_string(next_) + " of its " +
             std::to_string(static_cast<int64_t>(last_) + 1) + " lines";
    }
    if (decoded_ < expected) {
      return std::to_string(decoded_) + " of " + std::to_string(expected) + " bytes";
    }
    return {};
  }

 private:
  bool Irregular() {
    irregular_ = true;
    return false;
  }

  std::function<void(std::string_view)> sink_;
  Base64Decoder decoder_;
  std::string bytes_;
  bool seen_lines_ = false;
  bool irregular_ = false;
  int32_t last_ = 0;
  int64_t next_ = 0;
  uint64_t decoded_ = 0;
  std::vector<std::pair<int64_t, int64_t>> gaps_;
};

// The bytes of an archive being decoded: in memory while they fit
// `memory_limit`, then in a scratch file. The first failure to write them
// is kept (see status()); later bytes are dropped.
class ArchiveBytes {
 public:
  ArchiveBytes(platform::FileSystem& files, std::string file, uint64_t memory_limit)
      : files_(files), file_(std::move(file)), memory_limit_(memory_limit) {}

  void Add(std::string_view piece) {
    if (!status_.ok()) return;
    if (!out_ && !committed_ && memory_.size() + piece.size() <= memory_limit_) {
      memory_.append(piece);
      return;
    }
    if (!out_) {
      if (auto ec = files_.OpenReplace(file_, platform::Durability::kScratch, out_)) {
        status_ = ArchiveStatus::CannotCreate(file_, ec);
        return;
      }
      Write(memory_);
      std::string().swap(memory_);
    }
    Write(piece);
  }

  // Ends the bytes: a scratch file is closed.
  void Seal() {
    if (!out_ || !status_.ok()) return;
    if (auto ec = out_->Commit()) status_ = ArchiveStatus::CannotCreate(file_, ec);
    out_.reset();
    committed_ = true;
  }

  const ArchiveStatus& status() const { return status_; }

  // Extracts the archive into the destination (again and again, if asked).
  // `incomplete` (see StreamingSection::Incomplete) is the reason given when
  // the archive cannot be read.
  ArchiveStatus ExtractTo(const std::string& name, std::string_view destination,
                          const std::string& incomplete) {
    PackArchive archive;
    if (ArchiveStatus opened = Open(archive, name, incomplete); !opened.ok()) return opened;
    return archive.ExtractAll(destination);
  }

  // Reads the archive through (see PackArchive::VerifyAll).
  ArchiveStatus Verify(const std::string& name, const std::string& incomplete) {
    PackArchive archive;
    if (ArchiveStatus opened = Open(archive, name, incomplete); !opened.ok()) return opened;
    return archive.VerifyAll();
  }

 private:
  ArchiveStatus Open(PackArchive& archive, const std::string& name, const std::string& incomplete) {
    Seal();
    if (!status_.ok()) return status_;
    archive.set_files(&files_);
    return Unreadable(
        committed_ ? archive.OpenArchive(file_) : archive.OpenArchiveBytes(memory_, name),
        incomplete, name);
  }

  void Write(std::string_view piece) {
    if (auto ec = out_->Write(piece)) status_ = ArchiveStatus::CannotCreate(file_, ec);
  }

  platform::FileSystem& files_;
  std::string file_;
  uint64_t memory_limit_;
  std::string memory_;
  std::unique_ptr<platform::FileWriter> out_;
  bool committed_ = false;
  ArchiveStatus status_;
};

// Extracts a section whose lines are out of their written order: it is
// read whole, as Load would give it alone. False when it holds no lines.
ArchiveResult<bool> ExtractIrregular(platform::FileSystem& files, std::string_view script,
                                     const std::string& section_name, std::string_view destination,
                                     uint64_t expected) {
  std::unique_ptr<platform::FileReader> file;
  if (files.OpenRead(script, file)) return {};
  const IniModel model = IniModel::LoadFirstSection(*file, script, section_name);
  const int section = FindFilledSection(model, section_name);
  if (section < 0) return {};
  return {true, ExtractSection(files, model, section, destination, expected)};
}

// The place the file of that name is extracted to, as the caller checks it.
std::string ExtractedFile(std::string_view destination, std::string_view file_name) {
  const std::string target = std::string(destination) + "\\" + std::string(file_name);
  return IReplaceAll(target, "\\\\", "\\");
}

// Extracts one file the ordinary way: its archive is decoded whole (into
// memory or a scratch file) and then extracted.
ArchiveResult<bool> ExtractThroughArchive(platform::FileSystem& files, std::string_view script,
                                          std::string_view folder, std::string_view file_name,
                                          std::string_view destination) {
  const std::string section_name = EmbeddedFileSection(folder, file_name);
  platform::ScopedTempFolder scratch(files);
  if (ArchiveStatus s = MakeScratchFolder(scratch); !s.ok()) return {false, s};
  ArchiveBytes bytes(files, scratch.path() + kArchiveName, kInMemoryArchive);
  StreamingSection decoder([&](std::string_view piece) { bytes.Add(piece); });
  enum class State { kBefore, kIn, kDone } state = State::kBefore;
  bool filled = false;
  bool index_seen = false;
  bool in_index = false;
  uint64_t expected = 0;
  // The folder index (for the recorded size) may come before or after the
  // text section; the scan stops once both are read.
  IniModel::Scan(files, script, [&](bool header, std::string_view text) {
    if (!bytes.status().ok()) return false;
    if (header) {
      if (state == State::kIn) state = State::kDone;
      in_index = !index_seen && IEquals(text, folder);
      index_seen = index_seen || in_index;
      if (state == State::kDone) return !index_seen || in_index;
      if (state == State::kBefore && IEquals(text, section_name)) state = State::kIn;
      return true;
    }
    if (in_index) {
      std::string_view key;
      if (IniModel::KeyOfLine(text, key) && IEquals(key, file_name) && expected == 0) {
        const IniModel line =
            IniModel::FromLines({"[" + std::string(folder) + "]", std::string(text)});
        expected = RecordedArchiveSize(line, folder, file_name);
      }
    }
    if (state != State::kIn) return true;
    filled = true;
    decoder.Line(text);
    return true;
  });
  if (!bytes.status().ok()) return {false, bytes.status()};
  if (!filled) return {};
  if (decoder.irregular()) {
    ArchiveResult<bool> r = ExtractIrregular(files, script, section_name, destination, expected);
    if (!r.status.ok() || !r.value) return r;
  } else {
    decoder.Finish();
    const ArchiveStatus s =
        bytes.ExtractTo(section_name, destination, decoder.Incomplete(expected));
    if (!s.ok()) return {false, s};
  }
  return {files.IsFile(ExtractedFile(destination, file_name))};
}

// Checks one embedded text the ordinary way: its archive is decoded whole
// (into memory or a scratch file) and then read through.
ArchiveStatus VerifyThroughArchive(platform::FileSystem& files, std::string_view script,
                                   const std::string& section_name) {
  platform::ScopedTempFolder scratch(files);
  if (ArchiveStatus s = MakeScratchFolder(scratch); !s.ok()) return s;
  ArchiveBytes bytes(files, scratch.path() + kArchiveName, kInMemoryArchive);
  StreamingSection decoder([&](std::string_view piece) { bytes.Add(piece); });
  bool in_section = false;
  IniModel::Scan(files, script, [&](bool header, std::string_view text) {
    if (header) {
      if (in_section) return false;
      in_section = IEquals(text, section_name);
      return true;
    }
    if (in_section) decoder.Line(text);
    return bytes.status().ok() && !decoder.irregular();
  });
  if (!bytes.status().ok()) return bytes.status();
  if (decoder.irregular()) {
    // Out of order: read whole, as a loaded script has it.
    std::unique_ptr<platform::FileReader> file;
    if (files.OpenRead(script, file)) return {};
    const IniModel model = IniModel::LoadFirstSection(*file, script, section_name);
    const int section = FindFilledSection(model, section_name);
    return section < 0 ? ArchiveStatus() : VerifyEmbeddedSection(files, model, section);
  }
  decoder.Finish();
  return bytes.Verify(section_name, decoder.Incomplete(0));
}

// Extracts the files a folder's index lists, in its order, in one pass over
// the script. The section of the file whose turn it is streams straight
// into the destination (see StreamingExtraction). So does the first section
// before the index (where the first file's section usually stands), but its
// file is put in place only when its turn comes. Any other section that
// comes before its turn is decoded into a scratch file and extracted when
// its turn comes; sections no file still waiting needs are passed over.
class FolderExtraction {
 public:
  FolderExtraction(platform::FileSystem& files, std::string_view script, std::string_view folder,
                   std::string_view destination, bool skip_existing,
                   const std::function<void(uint64_t)>& progress, const std::function<bool()>& stop,
                   const std::function<void(uint64_t)>& read)
      : files_(files),
        script_(script),
        folder_(folder),
        destination_(destination),
        prefix_(EmbeddedFileSection(folder, "")),
        skip_existing_(skip_existing),
        progress_(progress),
        stop_(stop),
        read_(read),
        scratch_(files) {}

  // Counts the archive bytes read and reports them.
  void Read(size_t bytes) {
    read_bytes_ += bytes;
    if (read_) read_(read_bytes_);
  }

  ArchiveResult<bool> Run() {
    IniModel::Scan(files_, script_,
                   [this](bool header, std::string_view text) { return Visit(header, text); });
    if (!ended_) {
      EndSection();
      EndIndex();
      Advance();
    }
    if (ended_) return std::move(result_);
    // A listed file whose section is missing or empty ends it there.
    if (keys_.empty()) {
      why_ = index_seen_ ? "the folder index [" + folder_ + "] lists no files"
                         : "the script has no folder index [" + folder_ + "]";
      return {};
    }
    if (next_ < keys_.size()) {
      NotEmbedded(keys_[next_]);
      return {};
    }
    return {true};
  }

  // Why the value is false, when neither a failure nor a stop made it so.
  const std::string& why() const { return why_; }

 private:
  // A file name as the index and the sections are matched: without case,
  // and without the blanks at its ends (which the index's keys lose).
  static std::string Fold(std::string_view name) { return AsciiLowerCopy(TrimControl(name)); }

  // The first section of a file name (later ones are never read).
  struct Section {
    std::string name;       // the file name as the header writes it
    bool filled = false;    // it holds lines
    bool done = false;      // its file is written, or no listed file waits for it
    bool streamed = false;  // read by streaming
    // Streamed and checked, not yet in place (none: it could not stream).
    std::unique_ptr<StreamingExtraction> checked;
    // Decoded ahead of its turn:
    std::unique_ptr<ArchiveBytes> bytes;
    std::unique_ptr<StreamingSection> decoder;
  };

  bool Visit(bool header, std::string_view text) {
    if (header) {
      EndSection();
      EndIndex();
      Advance();
      if (ended_) return false;
      if (!index_seen_ && IEquals(text, folder_)) {
        index_seen_ = in_index_ = true;
      } else if (text.size() > prefix_.size() && IEquals(text.substr(0, prefix_.size()), prefix_)) {
        Begin(text.substr(prefix_.size()));
      }
      return !ended_;
    }
    if (in_index_) {
      std::string_view key;
      if (IniModel::KeyOfLine(text, key)) {
        keys_.emplace_back(key);
        index_lines_.emplace_back(text);
      }
    }
    if (current_ == nullptr) return true;
    current_->filled = true;
    if (streamed_) {
      if (streaming_ && !stream_decoder_->Line(text)) streaming_ = false;  // irregular
      if (streamed_->stopped()) Stop();
    } else if (current_->decoder) {
      current_->decoder->Line(text);
      if (!current_->bytes->status().ok()) Fail(current_->bytes->status());
    }
    return !ended_;
  }

  void Begin(std::string_view name) {
    const std::string folded = Fold(name);
    const auto [it, added] = sections_.try_emplace(folded);
    if (!added) return;
    Section& s = it->second;
    s.name = name;
    current_ = &s;
    const bool turn = index_read_ && next_ < keys_.size() && Fold(keys_[next_]) == folded;
    if (turn || (!index_read_ && speculative_ == nullptr)) {
      if (!turn) speculative_ = &s;
      s.streamed = true;
      streamed_ =
          std::make_unique<StreamingExtraction>(files_, destination_, s.name, stop_, kHeldArchive);
      streaming_ = true;
      stream_decoder_ = std::make_unique<StreamingSection>([this](std::string_view piece) {
        if (!streaming_) return;
        streaming_ = streamed_->Add(piece);
        Read(piece.size());
      });
      return;
    }
    if (index_read_ && waiting_.count(folded) == 0) {
      s.done = true;
      return;
    }
    if (scratch_.path().empty()) {
      if (ArchiveStatus status = MakeScratchFolder(scratch_); !status.ok()) return Fail(status);
    }
    s.bytes = std::make_unique<ArchiveBytes>(
        files_, scratch_.path() + "/" + std::to_string(sections_.size()) + ".arc", 0);
    s.decoder =
        std::make_unique<StreamingSection>([this, out = s.bytes.get()](std::string_view piece) {
          if (stop_ && stop_()) return Stop();
          out->Add(piece);
          Read(piece.size());
        });
  }

  void EndIndex() {
    if (!in_index_) return;
    in_index_ = false;
    index_read_ = true;
    for (const std::string& key : keys_) ++waiting_[Fold(key)];
    std::vector<std::string> lines{"[" + folder_ + "]"};
    lines.insert(lines.end(), index_lines_.begin(), index_lines_.end());
    index_ = IniModel::FromLines(lines);
    if (speculative_ != nullptr && waiting_.count(Fold(speculative_->name)) == 0) {
      speculative_->checked.reset();  // not listed: dropped
      speculative_->done = true;
    }
  }

  void EndSection() {
    if (current_ == nullptr) return;
    Section& s = *current_;
    current_ = nullptr;
    if (streamed_) return EndStreamed(s);
    if (!s.decoder || ended_) return;
    s.decoder->Finish();
    s.bytes->Seal();
    if (!s.bytes->status().ok()) Fail(s.bytes->status());
  }

  // Checks the file streamed from the section; Advance puts it in place.
  void EndStreamed(Section& s) {
    if (streaming_) stream_decoder_->Finish();
    ArchiveStatus status;
    const StreamingExtraction::Outcome outcome =
        streaming_ ? streamed_->Check(status) : StreamingExtraction::Outcome::kGaveUp;
    const bool stopped = streamed_->stopped();
    stream_decoder_.reset();
    if (outcome == StreamingExtraction::Outcome::kDone) s.checked = std::move(streamed_);
    streamed_.reset();  // what could not stream goes
    if (stopped || outcome == StreamingExtraction::Outcome::kStopped) Stop();
  }

  // Extracts the listed files in turn while their sections are at hand.
  void Advance() {
    if (!index_read_) return;
    while (!ended_ && next_ < keys_.size()) {
      if (stop_ && stop_()) return Stop();
      const std::string& key = keys_[next_];
      const auto it = sections_.find(Fold(key));
      if (it != sections_.end() && it->second.done) {
        Next();  // listed again: written already
        continue;
      }
      if (!turn_checked_) {
        if (skip_existing_ && files_.Exists(destination_ + "\\" + key)) {
          Next();
          continue;
        }
        turn_checked_ = true;
      }
      if (it == sections_.end() || &it->second == current_) return;  // still to come
      Section& s = it->second;
      if (!s.filled) {
        NotEmbedded(key);
        return End({});
      }
      if (ArchiveStatus status = Extract(s, key); !status.ok()) return Fail(status);
      Written(s);
    }
  }

  ArchiveStatus Extract(Section& s, const std::string& key) {
    if (s.streamed) {
      if (s.checked) {
        ArchiveStatus status;
        const StreamingExtraction::Outcome outcome = s.checked->Commit(status);
        s.checked.reset();
        if (outcome != StreamingExtraction::Outcome::kGaveUp) return status;
      }
      // It could not stream: the ordinary way gives a failure its exact reason.
      return ExtractThroughArchive(files_, script_, folder_, s.name, destination_).status;
    }
    const std::string section_name = EmbeddedFileSection(folder_, s.name);
    const uint64_t expected = RecordedArchiveSize(index_, folder_, key);
    if (s.decoder->irregular()) {
      return ExtractIrregular(files_, script_, section_name, destination_, expected).status;
    }
    const ArchiveStatus status =
        s.bytes->ExtractTo(section_name, destination_, s.decoder->Incomplete(expected));
    s.bytes.reset();
    s.decoder.reset();
    return status;
  }

  void Written(Section& s) {
    s.done = true;
    Next();
  }

  void Next() {
    if (progress_) progress_(next_);
    const auto it = waiting_.find(Fold(keys_[next_]));
    if (it != waiting_.end() && --it->second == 0) waiting_.erase(it);
    ++next_;
    turn_checked_ = false;
  }

  void NotEmbedded(const std::string& key) {
    why_ = "the listed file \"" + key + "\" has no embedded text (section [" +
           EmbeddedFileSection(folder_, key) + "])";
  }

  void Stop() { End({}); }
  void Fail(const ArchiveStatus& status) { End({false, status}); }
  void End(ArchiveResult<bool> result) {
    if (ended_) return;
    ended_ = true;
    result_ = std::move(result);
  }

  platform::FileSystem& files_;
  std::string script_;
  std::string folder_;
  std::string destination_;
  std::string prefix_;
  bool skip_existing_;
  const std::function<void(uint64_t)>& progress_;
  const std::function<bool()>& stop_;
  const std::function<void(uint64_t)>& read_;
  uint64_t read_bytes_ = 0;
  platform::ScopedTempFolder scratch_;

  // The index: its keys in order, how many still wait by folded name.
  std::vector<std::string> keys_;
  std::vector<std::string> index_lines_;
  IniModel index_;
  std::unordered_map<std::string, size_t> waiting_;
  bool index_seen_ = false;
  bool in_index_ = false;
  bool index_read_ = false;
  size_t next_ = 0;            // the listed file whose turn it is
  bool turn_checked_ = false;  // it is not one to skip

  std::map<std::string, Section> sections_;  // by the folded file name
  Section* current_ = nullptr;               // the section being read, if of a file
  Section* speculative_ = nullptr;           // the one streamed before the index
  std::unique_ptr<StreamingExtraction> streamed_;
  std::unique_ptr<StreamingSection> stream_decoder_;
  bool streaming_ = false;

  bool ended_ = false;
  ArchiveResult<bool> result_;
  std::string why_;
};

}  // namespace

ArchiveResult<bool> ExtractEmbeddedFile(platform::FileSystem& files, std::string_view script,
                                        std::string_view folder, std::string_view file_name,
                                        std::string_view destination,
                                        const std::function<bool()>& stop,
                                        const std::function<void(uint64_t bytes)>& read) {
  if (script.empty()) return {};
  // The text is decoded, inflated and written as it is read, in one pass
  // over the script; an archive that cannot go that way is then extracted
  // the ordinary way.
  const std::string section_name = EmbeddedFileSection(folder, file_name);
  StreamingExtraction streamed(files, destination, std::string(file_name), stop, kHeldArchive);
  bool streaming = true;
  uint64_t bytes_read = 0;
  StreamingSection decoder([&](std::string_view piece) {
    if (!streaming) return;
    streaming = streamed.Add(piece);
    bytes_read += piece.size();
    if (read) read(bytes_read);
  });
  bool in_section = false;
  bool filled = false;
  IniModel::Scan(files, script, [&](bool header, std::string_view text) {
    if (header) {
      if (in_section) return false;
      in_section = IEquals(text, section_name);
      return true;
    }
    if (!in_section) return true;
    filled = true;
    decoder.Line(text);
    return streaming && !decoder.irregular();
  });
  if (streamed.stopped()) return {};
  if (!filled) return {};
  if (streaming && !decoder.irregular()) {
    decoder.Finish();
    ArchiveStatus status;
    switch (streamed.Finish(status)) {
      case StreamingExtraction::Outcome::kDone:
        return {files.IsFile(ExtractedFile(destination, file_name))};
      case StreamingExtraction::Outcome::kStopped:
        return {};
      case StreamingExtraction::Outcome::kFailed:
        return {false, status};
      case StreamingExtraction::Outcome::kGaveUp:
        break;
    }
  }
  if (streamed.stopped()) return {};
  return ExtractThroughArchive(files, script, folder, file_name, destination);
}

ArchiveResult<bool> ExtractEmbeddedFolder(platform::FileSystem& files, std::string_view script,
                                          std::string_view folder, std::string_view destination,
                                          bool skip_existing,
                                          const std::function<void(uint64_t files)>& progress,
                                          const std::function<bool()>& stop, std::string* why,
                                          const std::function<void(uint64_t bytes)>& read) {
  std::string reason;
  ArchiveResult<bool> result;
  if (script.empty()) {
    reason = "no script file is named";
  } else if (const platform::FileStatus to = files.Status(destination); !to.is_folder()) {
    reason = "the destination folder \"" + std::string(destination) +
             (to.exists() ? "\" is not a folder" : "\" does not exist");
  } else if (!files.Exists(script)) {
    reason = "the script file \"" + std::string(script) + "\" does not exist";
  } else {
    FolderExtraction extraction(files, script, folder, destination, skip_existing, progress, stop,
                                read);
    result = extraction.Run();
    reason = extraction.why();
  }
  if (why != nullptr) *why = result.value || !result.status.ok() ? std::string() : reason;
  return result;
}

bool DeleteEmbeddedFile(platform::FileSystem& files, std::string_view script,
                        std::string_view folder, std::string_view file_name) {
  // One edit of the script: only the key's line and the section go.
  return EditIniFile(files, script,
                     [&](IniText& text) {
                       text.DeleteKey(UnescapeField(folder), UnescapeField(file_name));
                       text.EraseSection(UnescapeField(EmbeddedFileSection(folder, file_name)));
                     })
      .exists;
}

ArchiveResult<RunOutcome> RunEmbeddedFile(platform::FileSystem& files, std::string_view script,
                                          std::string_view folder, std::string_view file_name,
                                          platform::ProcessLauncher* launcher,
                                          std::function<bool()> stop) {
  // The name becomes a path in the scratch folder: it must stay inside.
  if (!PackArchive::IsPlainFileName(file_name)) return {RunOutcome::kNotExtracted};
  platform::ScopedTempFolder scratch(files);
  if (ArchiveStatus s = MakeScratchFolder(scratch); !s.ok()) {
    return {RunOutcome::kNotExtracted, s};
  }
  const ArchiveResult<bool> extracted =
      ExtractEmbeddedFile(files, script, folder, file_name, scratch.path());
  if (!extracted.status.ok()) return {RunOutcome::kNotExtracted, extracted.status};
  if (!extracted.value) return {RunOutcome::kNotExtracted};
  const std::string program = scratch.path() + "/" + std::string(file_name);
  if (LooksLikeProgram(files, program)) files.MakeExecutable(program);
  platform::ProcessOutcome outcome;
  if (launcher != nullptr) {
    platform::ProcessRequest request;
    request.file = files.Resolve(program);
    request.stop = std::move(stop);
    outcome = launcher->Run(request, /*wait=*/true);
  }
  files.Delete(program);
  if (!outcome.started) return {RunOutcome::kNotStarted};
  return {outcome.stopped ? RunOutcome::kStopped : RunOutcome::kRan};
}

ArchiveStatus VerifyEmbeddedSection(platform::FileSystem& files, const IniModel& model,
                                    int section) {
  // Decoded, inflated and checked in one pass; an archive that cannot be
  // checked that way is read the ordinary way, which gives the exact reason.
  StreamingExtraction check(files, model.sections()[static_cast<size_t>(section)].name, {},
                            kHeldArchive);
  bool streaming = true;
  const std::string incomplete = DecodeSection(model, section, [&](std::string_view piece) {
    if (streaming) streaming = check.Add(piece);
  });
  if (streaming && incomplete.empty()) {
    ArchiveStatus status;
    switch (check.Finish(status)) {
      case StreamingExtraction::Outcome::kDone:
        return {};
      case StreamingExtraction::Outcome::kFailed:
        return status;
      case StreamingExtraction::Outcome::kStopped:
      case StreamingExtraction::Outcome::kGaveUp:
        break;
    }
  }
  PackArchive archive;
  platform::ScopedTempFolder scratch(files);
  if (ArchiveStatus s = OpenSection(files, model, section, archive, scratch, 0); !s.ok()) return s;
  return archive.VerifyAll();
}

void VerifyEmbeddedTexts(platform::FileSystem& files, std::string_view script,
                         const std::function<void(const EmbeddedTextCheck&)>& found) {
  // The text being read: checked as it is decoded.
  struct Text {
    EmbeddedTextCheck check;
    bool filled = false;
    bool streaming = true;
    std::unique_ptr<StreamingExtraction> archive;
    std::unique_ptr<StreamingSection> decoder;
  };
  std::unique_ptr<Text> text;
  std::unordered_set<std::string> seen;  // folded section names
  const auto end = [&] {
    if (!text) return;
    const std::unique_ptr<Text> ended = std::move(text);
    if (!ended->filled) return;
    bool done = false;
    if (ended->streaming && !ended->decoder->irregular()) {
      ended->decoder->Finish();
      if (ended->streaming && ended->decoder->Incomplete(0).empty()) {
        const StreamingExtraction::Outcome outcome = ended->archive->Finish(ended->check.status);
        done = outcome == StreamingExtraction::Outcome::kDone ||
               outcome == StreamingExtraction::Outcome::kFailed;
      }
    }
    ended->decoder.reset();
    ended->archive.reset();
    // What could not be checked so gets its exact reason the ordinary way.
    if (!done) ended->check.status = VerifyThroughArchive(files, script, ended->check.section);
    found(ended->check);
  };
  IniModel::ScanNumbered(files, script, [&](bool header, std::string_view line, uint32_t number) {
    if (header) {
      end();
      if (IsEmbeddedFileSection(line) && seen.insert(AsciiLowerCopy(line)).second) {
        text = std::make_unique<Text>();
        Text& t = *text;
        t.check.section = line;
        t.archive = std::make_unique<StreamingExtraction>(files, t.check.section,
                                                          std::function<bool()>(), kHeldArchive);
        t.decoder = std::make_unique<StreamingSection>([&t](std::string_view piece) {
          if (t.streaming) t.streaming = t.archive->Add(piece);
        });
      }
      return true;
    }
    if (!text) return true;
    if (!text->filled) {
      text->filled = true;
      text->check.line = number;
    }
    if (text->streaming && !text->decoder->Line(line)) {
      text->streaming = false;
    }
    return true;
  });
  end();
}

// The same on the thread's real file system.

ArchiveResult<bool> EmbedFile(std::string_view source, std::string_view script,
                              std::string_view folder) {
  return EmbedFile(platform::ThreadFileSystem(), source, script, folder);
}

ArchiveResult<std::vector<bool>> EmbedFiles(const std::vector<std::string>& sources,
                                            std::string_view script, std::string_view folder,
                                            bool list_folder,
                                            const std::function<void(uint64_t steps)>& progress) {
  return EmbedFiles(platform::ThreadFileSystem(), sources, script, folder, list_folder, progress);
}

ArchiveStatus VerifyEmbeddedSection(const IniModel& model, int section) {
  return VerifyEmbeddedSection(platform::ThreadFileSystem(), model, section);
}

ArchiveResult<bool> ExtractEmbeddedFile(std::string_view script, std::string_view folder,
                                        std::string_view file_name, std::string_view destination,
                                        const std::function<bool()>& stop) {
  return ExtractEmbeddedFile(platform::ThreadFileSystem(), script, folder, file_name, destination,
                             stop);
}

ArchiveResult<bool> ExtractEmbeddedFolder(std::string_view script, std::string_view folder,
                                          std::string_view destination, bool skip_existing,
                                          const std::function<void(uint64_t files)>& progress,
                                          const std::function<bool()>& stop) {
  return ExtractEmbeddedFolder(platform::ThreadFileSystem(), script, folder, destination,
                               skip_existing, progress, stop);
}

bool DeleteEmbeddedFile(std::string_view script, std::string_view folder,
                        std::string_view file_name) {
  return DeleteEmbeddedFile(platform::ThreadFileSystem(), script, folder, file_name);
}

ArchiveResult<RunOutcome> RunEmbeddedFile(std::string_view script, std::string_view folder,
                                          std::string_view file_name,
                                          platform::ProcessLauncher* launcher,
                                          std::function<bool()> stop) {
  return RunEmbeddedFile(platform::ThreadFileSystem(), script, folder, file_name, launcher,
                         std::move(stop));
}

}  // namespace pelvar::archive
