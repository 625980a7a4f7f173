#include "engine/ini_file.h"

#include "engine/text.h"
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

bool WriteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                 std::string_view key, std::string_view value) {
  return IniModel::Edit(files, path, [&](IniModel& model) {
    model.WriteKey(section, key, value);
    return true;
  });
}

bool DeleteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                  std::string_view key) {
  return IniModel::Edit(files, path, [&](IniModel& model) {
    model.DeleteKey(UnescapeField(section), UnescapeField(key));
    return true;
  });
}

bool EraseIniSection(platform::FileSystem& files, std::string_view path, std::string_view section) {
  bool gone = false;
  const bool exists = IniModel::Edit(files, path, [&](IniModel& model) {
    gone = EraseIniSection(model, section);
    return true;
  });
  return exists && gone;
}

bool EraseIniSection(IniModel& model, std::string_view section) {
  const std::string name = UnescapeField(section);
  for (int erased = 0; erased < 10 && model.SectionExists(name); ++erased) {
    model.EraseSection(name);
  }
  return !model.SectionExists(name);
}

bool IniSectionExists(platform::FileSystem& files, std::string_view path,
                      std::string_view section) {
  return IniModel::Load(files, path).SectionExists(UnescapeField(section));
}

bool InsertSectionLine(platform::FileSystem& files, std::string_view path, std::string_view section,
                       std::string_view line) {
  bool inserted = false;
  IniModel::Edit(files, path, [&](IniModel& model) {
    inserted = InsertSectionLine(model, section, line);
    return true;
  });
  return inserted;
}

bool InsertSectionLine(IniModel& model, std::string_view section, std::string_view line) {
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
  model = IniModel::FromLines(lines);
  model.set_has_bom(bom);
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

}  // namespace pelvar
