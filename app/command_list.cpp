#include "app/command_list.h"

#include <array>
#include <functional>
#include <memory>
#include <utility>

#include "engine/ini_model.h"
#include "engine/ini_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

namespace {

constexpr std::string_view kProcess = "process";

struct ImagePrefix {
  const char* prefix;
  int image;
};

constexpr std::array<ImagePrefix, 25> kImagePrefixes = {{
    {"iniwr", 1},  {"iniad", 1},  {"inide", 2},  {"regwr", 3},  {"regde", 4},
    {"regre", 5},  {"dirco", 6},  {"dirmo", 6},  {"dirde", 6},  {"dirma", 6},
    {"reghi", 7},  {"filec", 9},  {"filea", 9},  {"filer", 9},  {"filed", 10},
    {"shell", 11}, {"beep,", 11}, {"messa", 11}, {"wait,", 11}, {"extra", 12},
    {"webge", 13}, {"txtre", 14}, {"txtad", 14}, {"txtde", 14}, {"echo,", 15},
}};

}  // namespace

int CommandImage(std::string_view line) {
  const std::string head = AsciiLowerCopy(line.substr(0, 5));
  for (const ImagePrefix& entry : kImagePrefixes) {
    if (head == entry.prefix) return entry.image;
  }
  return 0;
}

FlagMark LineFlagMark(std::string_view line) {
  const size_t comma = line.find(',');
  if (comma == std::string_view::npos) return FlagMark::kNone;
  if (comma + 1 >= line.size()) return FlagMark::kOff;
  const char flag = line[comma + 1];
  if (flag == '1') return FlagMark::kOn;
  if (flag >= '2' && flag <= '9') return FlagMark::kOther;
  return FlagMark::kOff;
}

std::optional<std::string> ToggleLineFlag(std::string_view line) {
  const FlagMark mark = LineFlagMark(line);
  if (mark != FlagMark::kOff && mark != FlagMark::kOn) return std::nullopt;
  std::string out(line);
  const size_t at = out.find(',') + 1;
  const char flag = mark == FlagMark::kOff ? '1' : '0';
  if (at < out.size()) {
    out[at] = flag;
  } else {
    out.push_back(flag);
  }
  return out;
}

std::vector<std::string> MoveLines(const std::vector<std::string>& lines,
                                   const std::vector<size_t>& rows, size_t at, size_t* first) {
  std::vector<std::string> moved;
  std::vector<std::string> rest;
  size_t insert = 0;  // where the moved lines go among the rest
  for (size_t i = 0, next = 0; i < lines.size(); ++i) {
    if (i == at) insert = rest.size();
    if (next < rows.size() && rows[next] == i) {
      moved.push_back(lines[i]);
      ++next;
    } else {
      rest.push_back(lines[i]);
    }
  }
  if (at >= lines.size()) insert = rest.size();
  if (first != nullptr) *first = insert;
  rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(insert), moved.begin(), moved.end());
  return rest;
}

std::vector<std::string> ListCommandLines(const IniModel& script) {
  std::vector<std::string> out;
  for (const IniModel::Section& section : script.sections()) {
    if (!IEquals(section.name, kProcess)) continue;
    for (const std::string& line : section.lines) {
      if (!line.empty()) out.push_back(line);
    }
  }
  return out;
}

WriteOutcome WriteCommandLines(platform::FileSystem& files, std::string_view script,
                               const std::vector<std::string>& lines,
                               std::optional<size_t> expected, WrittenScript* written) {
  std::unique_ptr<platform::FileWriter> writer;
  std::error_code ec = files.OpenReplace(script, platform::Durability::kRewrite, writer);
  if (ec) ThrowCannotCreate(std::string(script), platform::SystemMessage(ec));
  std::string bytes;
  if (writer->old() == nullptr) return WriteOutcome::kChanged;
  ec = writer->old()->ReadRest(0, bytes);
  if (ec) {
    throw ScriptError("Cannot open file \"" + std::string(script) + "\". " +
                      platform::SystemMessage(ec));
  }
  if (!expected || BytesFingerprint(bytes) != *expected) return WriteOutcome::kChanged;

  IniText text = IniText::Parse(std::move(bytes));
  if (!text.problem().empty()) {
    throw ScriptError("The script \"" + std::string(script) +
                      "\" was not changed: " + text.problem());
  }
  text.SetSectionLines(kProcess, lines, true);
  if (text.changed()) {
    text.WriteTo(*writer);
    ec = writer->Commit();
    if (ec) ThrowCannotCreate(std::string(script), platform::SystemMessage(ec));
  }
  if (written != nullptr) {
    written->bytes = text.utf16() ? std::string(text.Bytes()) : std::string(text.text());
    written->fingerprint = BytesFingerprint(written->bytes);
    written->lines = text.SectionLines(kProcess, true, &written->numbers);
  }
  return WriteOutcome::kWritten;
}

size_t BytesFingerprint(std::string_view bytes) {
  return std::hash<std::string_view>{}(bytes);
}

EditedScript ReadEditedScript(std::string_view path) {
  std::string bytes;
  const std::error_code ec = platform::ThreadFileSystem().ReadAll(path, bytes);
  if (ec == std::errc::no_such_file_or_directory) return {};
  if (ec) {
    throw ScriptError("Cannot open file \"" + std::string(path) + "\". " +
                      platform::SystemMessage(ec));
  }
  EditedScript out;
  out.fingerprint = BytesFingerprint(bytes);
  out.model = IniModel::Parse(bytes);
  out.bytes = std::move(bytes);
  return out;
}

std::optional<size_t> FileFingerprint(std::string_view path) {
  std::string bytes;
  if (platform::ThreadFileSystem().ReadAll(path, bytes)) return std::nullopt;
  return BytesFingerprint(bytes);
}

}  // namespace pelvar::app
