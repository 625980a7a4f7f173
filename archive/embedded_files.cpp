#include "archive/embedded_files.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "archive/base64_text.h"
#include "archive/pack_archive.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/integer_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_maintenance.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/private_temp_folder.h"
#include "platform/process_launcher.h"
#include "platform/system_folders.h"

namespace pelvar::archive {

namespace {

constexpr size_t kBlock = 1 << 20;
constexpr const char* kArchiveName = "/embedded.arc";
// Archives up to this size are decoded into memory rather than a file.
constexpr uint64_t kInMemoryArchive = 16u << 20;

// A private scratch folder, or a ScriptError.
void MakeScratchFolder(platform::PrivateTempFolder& folder) {
  if (auto ec = folder.Create()) {
    ThrowCannotCreate(platform::HostTempDir() + "pelvar-XXXXXX", platform::SystemMessage(ec));
  }
}

// Packs one file into a new archive and returns the archive's text lines;
// `archive_size` and `text_size` receive the two sizes of the folder index.
std::vector<std::string> EncodeFile(std::string_view source, uint64_t& archive_size,
                                    uint64_t& text_size) {
  platform::PrivateTempFolder scratch;
  MakeScratchFolder(scratch);
  const std::string archive_path = scratch.path() + kArchiveName;
  PackArchive archive;
  archive.CreateArchive(archive_path);
  archive.AddFile(source);
  archive.CloseArchive();

  platform::InputFile file;
  if (file.Open(archive_path)) throw ScriptError("Unable to open archive " + archive_path);
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
// pieces of about 1 MiB.
void DecodeSection(const IniModel& model, int section,
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
}

// Characters of the section's text lines.
uint64_t TextSize(const IniModel& model, int section) {
  uint64_t size = 0;
  for (const auto& l : model.sections()[static_cast<size_t>(section)].lines) size += l.size();
  return size;
}

// Decodes one file section and opens its archive: a small archive from
// memory, a large one from a scratch file in `scratch`.
void OpenSection(const IniModel& model, int section, PackArchive& archive,
                 platform::PrivateTempFolder& scratch) {
  if (TextSize(model, section) / 4 * 3 <= kInMemoryArchive) {
    std::string bytes;
    DecodeSection(model, section, [&](std::string_view piece) { bytes.append(piece); });
    archive.OpenArchiveBytes(std::move(bytes), model.sections()[static_cast<size_t>(section)].name);
    return;
  }
  MakeScratchFolder(scratch);
  const std::string archive_path = scratch.path() + kArchiveName;
  {
    platform::OutputFile out;
    if (auto ec = out.Open(archive_path)) {
      ThrowCannotCreate(archive_path, platform::SystemMessage(ec));
    }
    DecodeSection(model, section, [&](std::string_view piece) {
      if (auto ec = out.Write(piece)) ThrowCannotCreate(archive_path, platform::SystemMessage(ec));
    });
    if (auto ec = out.Commit()) ThrowCannotCreate(archive_path, platform::SystemMessage(ec));
  }
  archive.OpenArchive(archive_path);
}

// Decodes one file section and extracts its archive into `destination`.
void ExtractSection(const IniModel& model, int section, std::string_view destination) {
  PackArchive archive;
  platform::PrivateTempFolder scratch;
  OpenSection(model, section, archive, scratch);
  archive.ExtractAll(destination);
}

// Index of the first section of the name when it holds lines; -1 otherwise.
int FindFilledSection(const IniModel& model, std::string_view name) {
  return model.SectionExists(name) ? model.FindSection(name) : -1;
}

bool LooksLikeProgram(const std::string& path) {
  platform::InputFile file;
  if (file.Open(path)) return false;
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

bool EmbedFile(std::string_view source, std::string_view script, std::string_view folder) {
  if (!platform::IsFile(script) || !platform::IsFile(source)) return false;
  const std::string name = FileNameOfPath(source);
  uint64_t archive_size = 0;
  uint64_t text_size = 0;
  std::vector<std::string> lines = EncodeFile(source, archive_size, text_size);
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

  IniModel model = IniModel::Load(script);
  const std::string section = EmbeddedFileSection(folder, name);
  while (model.SectionExists(section)) model.EraseSection(section);
  int index = model.FindSection(section);
  if (index < 0) index = model.AppendSection(section);
  model.SetSectionLines(index, std::move(body));
  model.WriteKey(folder, name, std::to_string(archive_size) + "," + std::to_string(text_size));
  model.Save(script);
  return true;
}

void VerifyEmbeddedSection(const IniModel& model, int section) {
  PackArchive archive;
  platform::PrivateTempFolder scratch;
  OpenSection(model, section, archive, scratch);
  archive.VerifyAll();
}

bool ExtractEmbeddedFile(std::string_view script, std::string_view folder,
                         std::string_view file_name, std::string_view destination) {
  if (script.empty()) return false;
  const std::string section_name = EmbeddedFileSection(folder, file_name);
  {
    const IniModel model = IniModel::LoadSections(
        script, [&](std::string_view name) { return IEquals(name, section_name); });
    const int section = FindFilledSection(model, section_name);
    if (section < 0) return false;
    ExtractSection(model, section, destination);
  }
  std::string target = std::string(destination) + "\\" + std::string(file_name);
  target = IReplaceAll(target, "\\\\", "\\");
  return platform::IsFile(target);
}

bool ExtractEmbeddedFolder(std::string_view script, std::string_view folder,
                           std::string_view destination, bool skip_existing,
                           const std::function<void(uint64_t files)>& progress) {
  if (script.empty() || !platform::IsDirectory(destination)) return false;
  const std::string prefix = EmbeddedFileSection(folder, "");
  const IniModel model = IniModel::LoadSections(script, [&](std::string_view name) {
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
    if (skip_existing && platform::PathExists(std::string(destination) + "\\" + key)) continue;
    const int section = FindFilledSection(model, EmbeddedFileSection(folder, key));
    if (section < 0) return false;
    ExtractSection(model, section, destination);
  }
  return true;
}

bool DeleteEmbeddedFile(std::string_view script, std::string_view folder,
                        std::string_view file_name) {
  if (!platform::IsFile(script)) return false;
  DeleteIniKey(script, folder, file_name);
  EraseIniSection(script, EmbeddedFileSection(folder, file_name));
  return true;
}

RunOutcome RunEmbeddedFile(std::string_view script, std::string_view folder,
                           std::string_view file_name, platform::ProcessLauncher* launcher) {
  // The name becomes a path in the scratch folder: it must stay inside.
  if (!PackArchive::IsPlainFileName(file_name)) return RunOutcome::kNotExtracted;
  platform::PrivateTempFolder scratch;
  MakeScratchFolder(scratch);
  if (!ExtractEmbeddedFile(script, folder, file_name, scratch.path())) {
    return RunOutcome::kNotExtracted;
  }
  const std::string program = scratch.path() + "/" + std::string(file_name);
  if (LooksLikeProgram(program)) platform::MakeExecutable(program);
  bool started = false;
  if (launcher != nullptr) {
    platform::ProcessRequest request;
    request.file = program;
    started = launcher->Run(request, /*wait=*/true).started;
  }
  platform::RemoveFile(program);
  return started ? RunOutcome::kRan : RunOutcome::kNotStarted;
}

}  // namespace pelvar::archive
