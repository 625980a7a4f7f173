#include "engine/ini_file.h"

#include <memory>
#include <optional>

#include "engine/ini_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar {

std::string UnescapeField(std::string_view text) {
  if (text.find('#') == std::string_view::npos) return std::string(text);
  return IReplaceAll(IReplaceAll(text, "#$q", "\""), "#$c", ",");
}

std::vector<std::string> ReadSectionLines(const IniModel& model, std::string_view section,
                                          std::vector<uint32_t>* numbers) {
  const std::string target = "[" + AsciiLowerCopy(UnescapeField(section)) + "]";
  enum class State { kNone, kStart, kStop };
  State state = State::kNone;
  std::vector<std::string> result;
  if (numbers != nullptr) numbers->clear();

  // Walks the rendered lines without building them: header, lines, "".
  auto visit = [&](const std::string& line, uint32_t number) {
    if (state == State::kStart) {
      if (!line.empty() && (line.front() == '[' || line.back() == ']')) {
        state = State::kStop;
      } else {
        result.push_back(line);
        if (numbers != nullptr) numbers->push_back(number);
      }
    }
    if (line.size() == target.size() && IEquals(line, target)) state = State::kStart;
  };
  std::string header;
  const std::string empty;
  for (const auto& s : model.sections()) {
    header.assign("[").append(s.name).append("]");
    visit(header, 0);
    for (size_t i = 0; i < s.lines.size(); ++i) visit(s.lines[i], s.LineNumber(i));
    visit(empty, 0);
  }
  return result;
}

std::vector<std::string> ReadSectionLines(platform::FileSystem& files, std::string_view path,
                                          std::string_view section) {
  return ReadSectionLines(IniModel::Load(files, path), section);
}

bool ReadSectionValues(platform::FileSystem& files, std::string_view path, std::string_view section,
                       std::vector<std::string>& table) {
  table.clear();
  const IniModel model = IniModel::Load(files, path);
  const int s = model.FindSection(section);
  if (s >= 0) table = model.sections()[static_cast<size_t>(s)].lines;
  return !table.empty();
}

std::string IniKeyProblem(std::string_view key) {
  const std::string_view kept = TrimControl(key);
  if (key.find('=') != std::string_view::npos) return "a key cannot hold \"=\"";
  if (!kept.empty() && kept.front() == ';') return "a key beginning with \";\" is a comment";
  if (!kept.empty() && kept.front() == '[') return "a key beginning with \"[\" reads as a section";
  return {};
}

bool WriteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                 std::string_view key, std::string_view value) {
  // A key the file cannot hold as a key is not written at all: it would read
  // back as another key, a comment or a section header.
  if (!IniKeyProblem(key).empty()) return false;
  const IniFileEdit edit =
      EditIniFile(files, path, [&](IniText& text) { text.WriteKey(section, key, value); });
  return edit.exists && edit.problem.empty();
}

bool DeleteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                  std::string_view key) {
  const IniFileEdit edit = EditIniFile(files, path, [&](IniText& text) {
    text.DeleteKey(UnescapeField(section), UnescapeField(key));
  });
  return edit.exists && edit.problem.empty();
}

bool EraseIniSection(platform::FileSystem& files, std::string_view path, std::string_view section) {
  bool gone = false;
  const IniFileEdit edit = EditIniFile(
      files, path, [&](IniText& text) { gone = text.EraseSection(UnescapeField(section)); });
  return edit.exists && edit.problem.empty() && gone;
}

bool AddIniSection(platform::FileSystem& files, std::string_view path, std::string_view section) {
  const IniFileEdit edit = EditIniFile(files, path, [&](IniText& text) {
    if (!text.SectionExists(section)) text.AppendHeader(section);
  });
  return edit.exists && edit.problem.empty();
}

bool EraseIniSection(IniModel& model, std::string_view section) {
  const std::string name(TrimControl(UnescapeField(section)));
  // Every section of the name that holds lines counts, also one behind an
  // empty header of the same name; empty headers stay.
  auto next_with_lines = [&model, &name]() {
    const auto& sections = model.sections();
    for (size_t i = 0; i < sections.size(); ++i) {
      if (!sections[i].lines.empty() && IEquals(TrimControl(sections[i].name), name)) {
        return static_cast<int>(i);
      }
    }
    return -1;
  };
  for (int erased = 0; erased < 10; ++erased) {
    const int s = next_with_lines();
    if (s < 0) break;
    model.EraseSectionAt(s);
  }
  return next_with_lines() < 0;
}

bool IniSectionExists(platform::FileSystem& files, std::string_view path,
                      std::string_view section) {
  return IniModel::Load(files, path).SectionExists(UnescapeField(section));
}

std::string IniTextLineProblem(std::string_view line) {
  const std::string_view kept = TrimControl(line);
  if (kept.empty() || kept.front() == ';') {
    return "an empty line or a ; comment would be dropped from the INI file";
  }
  if (kept.size() >= 2 && kept.front() == '[' && kept.back() == ']') {
    return "a line in brackets would start a new section";
  }
  return {};
}

bool InsertSectionLine(platform::FileSystem& files, std::string_view path, std::string_view section,
                       std::string_view line) {
  // A comment or blank line would not read back as a line of the section,
  // and a section header would take the section's later lines into a new
  // section: the file is left as it is.
  if (!IniTextLineProblem(UnescapeField(line)).empty()) return false;
  bool inserted = false;
  EditIniFile(files, path, [&](IniText& text) {
    inserted = text.InsertTextLine(UnescapeField(section), UnescapeField(line));
  });
  return inserted;
}

bool InsertSectionLine(IniModel& model, std::string_view section, std::string_view line) {
  if (!IniTextLineProblem(UnescapeField(line)).empty()) return false;
  std::vector<std::string> lines = model.RenderLines();
  const std::string header = "[" + UnescapeField(section) + "]";
  bool inserted = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == header) {
      lines.insert(lines.begin() + static_cast<long>(i + 2), UnescapeField(line));
      inserted = true;
      break;
    }
  }
  const bool bom = model.has_bom();
  const bool utf16 = model.utf16();
  model = IniModel::FromLines(lines);
  model.set_has_bom(bom);
  model.set_utf16(utf16);
  return inserted;
}

// The same on the thread's real file system.

std::vector<std::string> ReadSectionLines(std::string_view path, std::string_view section) {
  return ReadSectionLines(platform::ThreadFileSystem(), path, section);
}

bool ReadSectionValues(std::string_view path, std::string_view section,
                       std::vector<std::string>& table) {
  return ReadSectionValues(platform::ThreadFileSystem(), path, section, table);
}

bool WriteIniKey(std::string_view path, std::string_view section, std::string_view key,
                 std::string_view value) {
  return WriteIniKey(platform::ThreadFileSystem(), path, section, key, value);
}

bool DeleteIniKey(std::string_view path, std::string_view section, std::string_view key) {
  return DeleteIniKey(platform::ThreadFileSystem(), path, section, key);
}

bool EraseIniSection(std::string_view path, std::string_view section) {
  return EraseIniSection(platform::ThreadFileSystem(), path, section);
}

bool IniSectionExists(std::string_view path, std::string_view section) {
  return IniSectionExists(platform::ThreadFileSystem(), path, section);
}

bool InsertSectionLine(std::string_view path, std::string_view section, std::string_view line) {
  return InsertSectionLine(platform::ThreadFileSystem(), path, section, line);
}

bool AddIniSection(std::string_view path, std::string_view section) {
  return AddIniSection(platform::ThreadFileSystem(), path, section);
}

}  // namespace pelvar
