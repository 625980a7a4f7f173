#include "engine/ini_file.h"

#include "engine/text.h"
#include "platform/file_system.h"

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

std::vector<std::string> ReadSectionLines(std::string_view path, std::string_view section) {
  return ReadSectionLines(IniModel::Load(path), section);
}

bool ReadSectionValues(std::string_view path, std::string_view section,
                       std::vector<std::string>& table) {
  table.clear();
  const IniModel model = IniModel::Load(path);
  const int s = model.FindSection(section);
  if (s >= 0) table = model.sections()[static_cast<size_t>(s)].lines;
  return !table.empty();
}

bool WriteIniKey(std::string_view path, std::string_view section, std::string_view key,
                 std::string_view value) {
  if (!platform::IsFile(path)) return false;
  IniModel model = IniModel::Load(path);
  model.WriteKey(section, key, value);
  model.Save(path);
  return true;
}

bool DeleteIniKey(std::string_view path, std::string_view section, std::string_view key) {
  if (!platform::IsFile(path)) return false;
  IniModel model = IniModel::Load(path);
  model.DeleteKey(UnescapeField(section), UnescapeField(key));
  model.Save(path);
  return true;
}

bool EraseIniSection(std::string_view path, std::string_view section) {
  if (!platform::IsFile(path)) return false;
  const std::string name = UnescapeField(section);
  IniModel model = IniModel::Load(path);
  for (int erased = 0; erased < 10 && model.SectionExists(name); ++erased) {
    model.EraseSection(name);
  }
  model.Save(path);
  return !model.SectionExists(name);
}

bool IniSectionExists(std::string_view path, std::string_view section) {
  return IniModel::Load(path).SectionExists(UnescapeField(section));
}

bool InsertSectionLine(std::string_view path, std::string_view section, std::string_view line) {
  if (!platform::IsFile(path)) return false;
  const IniModel loaded = IniModel::Load(path);
  std::vector<std::string> lines = loaded.RenderLines();
  const std::string header = "[" + UnescapeField(section) + "]";
  bool inserted = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == header) {
      lines.insert(lines.begin() + static_cast<long>(i + 2), UnescapeField(line));
      inserted = true;
      break;
    }
  }
  IniModel model = IniModel::FromLines(lines);
  model.set_has_bom(loaded.has_bom());
  model.Save(path);
  return inserted;
}

}  // namespace pelvar
