#include "archive/embedded_files.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "archive/base64_text.h"
#include "archive/byte_source.h"
#include "archive/pack_archive.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/integer_text.h"
#include "engine/script_error.h"
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

// A private scratch folder for one operation; a ScriptError when it cannot
// be made.
class ScratchFolder : public platform::ScopedTempFolder {
 public:
  explicit ScratchFolder(platform::FileSystem& files) : ScopedTempFolder(files) {
    if (auto ec = Create()) {
      ThrowCannotCreate(platform::HostTempDir() + "pelvar-XXXXXX", platform::SystemMessage(ec));
    }
  }
};

// Packs one file into a new archive and returns the archive's text lines;
// `archive_size` and `text_size` receive the two sizes of the folder index.
std::vector<std::string> EncodeFile(platform::FileSystem& files, std::string_view source,
                                    uint64_t& archive_size, uint64_t& text_size) {
  ScratchFolder scratch(files);
  const std::string archive_path = scratch.path() + kArchiveName;
  PackArchive archive;
  archive.set_files(&files);
  archive.CreateArchive(archive_path);
  archive.AddFile(source);
  archive.CloseArchive();

  FileSource file;
  if (file.Open(files, archive_path)) throw ScriptError("Unable to open archive " + archive_path);
  Base64LineEncoder encoder;
  std::string buf(kBlock, '\0');
  for (uint64_t pos = 0;;) {
    size_t got = 0;
    if (file.ReadAt(pos, buf.data(), buf.size(), got)) {
      throw ScriptError("Unable to open archive " + archive_path);
    }
    if (got == 0) break;
    encoder.Add(std::string_view(buf.data(), got));
    pos += got;
  }
  encoder.Finish();
  archive_size = file.size();
  text_size = encoder.text_size();
  return std::move(encoder.lines());
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

// The error of an archive that could not be read: when its text is not
// whole, that is the reason given.
[[noreturn]] void ThrowUnreadable(const ScriptError& error, const std::string& incomplete,
                                  const std::string& section_name) {
  if (incomplete.empty()) throw error;
  throw ScriptError("The embedded text of \"" + section_name + "\" is truncated: " + incomplete);
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

// Decodes one file section and extracts its archive into `destination`: a
// small archive from memory, a large one from a scratch file. `expected`:
// the archive's size as the folder index records it (0: unknown).
void ExtractSection(platform::FileSystem& files, const IniModel& model, int section,
                    std::string_view destination, uint64_t expected) {
  PackArchive archive;
  archive.set_files(&files);
  const std::string& name = model.sections()[static_cast<size_t>(section)].name;
  if (TextSize(model, section) / 4 * 3 <= kInMemoryArchive) {
    std::string bytes;
    std::string incomplete =
        DecodeSection(model, section, [&](std::string_view piece) { bytes.append(piece); });
    if (incomplete.empty() && bytes.size() < expected) {
      incomplete = std::to_string(bytes.size()) + " of " + std::to_string(expected) + " bytes";
    }
    try {
      archive.OpenArchiveBytes(std::move(bytes), name);
    } catch (const ScriptError& e) {
      ThrowUnreadable(e, incomplete, name);
    }
    archive.ExtractAll(destination);
    return;
  }
  ScratchFolder scratch(files);
  const std::string archive_path = scratch.path() + kArchiveName;
  std::string incomplete;
  {
    std::unique_ptr<platform::FileWriter> out;
    if (auto ec = files.OpenReplace(archive_path, platform::Durability::kBulk, out)) {
      ThrowCannotCreate(archive_path, platform::SystemMessage(ec));
    }
    uint64_t decoded = 0;
    incomplete = DecodeSection(model, section, [&](std::string_view piece) {
      decoded += piece.size();
      if (auto ec = out->Write(piece)) ThrowCannotCreate(archive_path, platform::SystemMessage(ec));
    });
    if (incomplete.empty() && decoded < expected) {
      incomplete = std::to_string(decoded) + " of " + std::to_string(expected) + " bytes";
    }
    if (auto ec = out->Commit()) ThrowCannotCreate(archive_path, platform::SystemMessage(ec));
  }
  try {
    archive.OpenArchive(archive_path);
  } catch (const ScriptError& e) {
    ThrowUnreadable(e, incomplete, name);
  }
  archive.ExtractAll(destination);
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

bool EmbedFile(platform::FileSystem& files, std::string_view source, std::string_view script,
               std::string_view folder) {
  if (!files.IsFile(script) || !files.IsFile(source)) return false;
  const std::string name = FileNameOfPath(source);
  uint64_t archive_size = 0;
  uint64_t text_size = 0;
  std::vector<std::string> lines = EncodeFile(files, source, archive_size, text_size);
  // The section body: "lines" first, then the numbered lines.
  std::vector<std::string> body;
  body.reserve(lines.size() + 1);
  body.push_back("lines=" + std::to_string(static_cast<int64_t>(lines.size()) - 1));
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string key = std::to_string(i) + "=";
    std::string line;
    line.reserve(key.size() + lines[i].size());
    line.append(key).append(lines[i]);
    std::string().swap(lines[i]);
    body.push_back(std::move(line));
  }
  lines.clear();

  IniModel model = IniModel::Load(files, script);
  const std::string section = EmbeddedFileSection(folder, name);
  while (model.SectionExists(section)) model.EraseSection(section);
  int index = model.FindSection(section);
  if (index < 0) index = model.AppendSection(section);
  model.SetSectionLines(index, std::move(body));
  model.WriteKey(folder, name, std::to_string(archive_size) + "," + std::to_string(text_size));
  model.Save(files, script);
  return true;
}

bool ExtractEmbeddedFile(platform::FileSystem& files, std::string_view script,
                         std::string_view folder, std::string_view file_name,
                         std::string_view destination) {
  if (script.empty()) return false;
  const std::string section_name = EmbeddedFileSection(folder, file_name);
  {
    const IniModel model = IniModel::LoadSections(files, script, [&](std::string_view name) {
      return IEquals(name, section_name) || IEquals(name, folder);
    });
    const int section = FindFilledSection(model, section_name);
    if (section < 0) return false;
    ExtractSection(files, model, section, destination, RecordedArchiveSize(model, folder, file_name));
  }
  std::string target = std::string(destination) + "\\" + std::string(file_name);
  target = IReplaceAll(target, "\\\\", "\\");
  return files.IsFile(target);
}

bool ExtractEmbeddedFolder(platform::FileSystem& files, std::string_view script,
                           std::string_view folder, std::string_view destination,
                           bool skip_existing,
                           const std::function<void(uint64_t files)>& progress) {
  if (script.empty() || !files.IsFolder(destination)) return false;
  const std::string prefix = EmbeddedFileSection(folder, "");
  const IniModel model = IniModel::LoadSections(files, script, [&](std::string_view name) {
    return IEquals(name, folder) ||
           (name.size() > prefix.size() && IEquals(name.substr(0, prefix.size()), prefix));
  });
  std::vector<std::string> keys;
  const int index = model.FindSection(folder);
  if (index >= 0) {
    for (const auto& l : model.sections()[static_cast<size_t>(index)].lines) {
      std::string_view key;
      if (IniModel::KeyOfLine(l, key)) keys.emplace_back(key);
    }
  }
  if (keys.empty()) return false;
  uint64_t done = 0;
  for (const auto& key : keys) {
    if (progress) progress(done++);
    if (skip_existing && files.Exists(std::string(destination) + "\\" + key)) continue;
    const int section = FindFilledSection(model, EmbeddedFileSection(folder, key));
    if (section < 0) return false;
    ExtractSection(files, model, section, destination, RecordedArchiveSize(model, folder, key));
  }
  return true;
}

bool DeleteEmbeddedFile(platform::FileSystem& files, std::string_view script,
                        std::string_view folder, std::string_view file_name) {
  if (!files.IsFile(script)) return false;
  DeleteIniKey(files, script, folder, file_name);
  EraseIniSection(files, script, EmbeddedFileSection(folder, file_name));
  return true;
}

RunOutcome RunEmbeddedFile(platform::FileSystem& files, std::string_view script,
                           std::string_view folder, std::string_view file_name,
                           platform::ProcessLauncher* launcher, std::function<bool()> stop) {
  // The name becomes a path in the scratch folder: it must stay inside.
  if (!PackArchive::IsPlainFileName(file_name)) return RunOutcome::kNotExtracted;
  ScratchFolder scratch(files);
  if (!ExtractEmbeddedFile(files, script, folder, file_name, scratch.path())) {
    return RunOutcome::kNotExtracted;
  }
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
  if (!outcome.started) return RunOutcome::kNotStarted;
  return outcome.stopped ? RunOutcome::kStopped : RunOutcome::kRan;
}

// The same on the thread's real file system.

bool EmbedFile(std::string_view source, std::string_view script, std::string_view folder) {
  return EmbedFile(platform::ThreadFileSystem(), source, script, folder);
}

bool ExtractEmbeddedFile(std::string_view script, std::string_view folder,
                         std::string_view file_name, std::string_view destination) {
  return ExtractEmbeddedFile(platform::ThreadFileSystem(), script, folder, file_name, destination);
}

bool ExtractEmbeddedFolder(std::string_view script, std::string_view folder,
                           std::string_view destination, bool skip_existing,
                           const std::function<void(uint64_t files)>& progress) {
  return ExtractEmbeddedFolder(platform::ThreadFileSystem(), script, folder, destination,
                               skip_existing, progress);
}

bool DeleteEmbeddedFile(std::string_view script, std::string_view folder,
                        std::string_view file_name) {
  return DeleteEmbeddedFile(platform::ThreadFileSystem(), script, folder, file_name);
}

RunOutcome RunEmbeddedFile(std::string_view script, std::string_view folder,
                           std::string_view file_name, platform::ProcessLauncher* launcher,
                           std::function<bool()> stop) {
  return RunEmbeddedFile(platform::ThreadFileSystem(), script, folder, file_name, launcher,
                         std::move(stop));
}

}  // namespace pelvar::archive
