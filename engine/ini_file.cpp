#include "engine/ini_file.h"

#include <memory>
#include <optional>

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
  bool cut = false;
  const bool exists = IniModel::Edit(files, path, [&](IniModel& model) {
    cut = model.cut_at_nul();
    if (!cut) model.WriteKey(section, key, value);
    return !cut;
  });
  return exists && !cut;
}

namespace {

// One line of a file: where its text starts and ends, and where the next
// line starts (after its line end).
struct RawLine {
  size_t begin, end, next;
};

// The line of `text` that begins at `pos` (before the end of the text).
RawLine RawLineAt(std::string_view text, size_t pos) {
  size_t end = pos;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
  if (end == text.size()) return {pos, end, end};
  size_t next = end + 1;
  if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
  return {pos, end, next};
}

}  // namespace

bool WriteIniKeyInPlace(platform::FileSystem& files, std::string_view path,
                        std::string_view section, std::string_view key, std::string_view value) {
  if (!files.IsFile(path)) return false;
  // The old text is read under the replacement's lock, so that a second
  // writer's change is not lost between the read and the rename.
  std::unique_ptr<platform::FileWriter> writer;
  std::string text;
  std::error_code ec = files.OpenReplace(path, platform::Durability::kRewrite, writer);
  if (!ec && writer->old() == nullptr) return false;
  if (!ec) ec = writer->old()->ReadRest(0, text);
  if (ec) ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  // The file's own line end for a line that is added.
  std::string eol = "\r\n";
  if (!text.empty()) {
    const RawLine first = RawLineAt(text, 0);
    if (first.end < first.next) eol = text.substr(first.end, first.next - first.end);
  }
  const std::string new_line = std::string(key) + "=" + std::string(value);
  // One pass over the lines, kept in the text: the key's line, or else the
  // section's last line, after which the key is added.
  bool in_section = false;
  bool found_section = false;
  std::optional<RawLine> hit;
  std::optional<RawLine> last_of_section;
  for (size_t pos = 0; pos < text.size() && !hit;) {
    const RawLine raw = RawLineAt(text, pos);
    pos = raw.next;
    const std::string_view line =
        TrimControl(std::string_view(text).substr(raw.begin, raw.end - raw.begin));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      if (in_section) break;
      in_section = !found_section &&
                   IEquals(TrimControl(line.substr(1, line.size() - 2)), TrimControl(section));
      found_section = found_section || in_section;
      if (in_section) last_of_section = raw;
      continue;
    }
    if (!in_section || line.empty() || line.front() == ';') continue;
    last_of_section = raw;
    std::string_view line_key;
    if (IniModel::KeyOfLine(line, line_key) && IEquals(TrimControl(line_key), key)) hit = raw;
  }
  // The new text goes out in pieces of the old one; a write error is kept
  // by the writer and reported by Commit.
  const std::string_view old_text(text);
  auto put = [&writer](std::string_view piece) { (void)writer->Write(piece); };
  if (hit) {
    put(old_text.substr(0, hit->begin));
    put(new_line);
    put(old_text.substr(hit->end));
  } else if (last_of_section) {
    const bool ended = last_of_section->end < last_of_section->next;
    put(old_text.substr(0, last_of_section->next));
    if (!ended) put(eol);
    put(new_line);
    if (ended) put(eol);
    put(old_text.substr(last_of_section->next));
  } else {
    const bool ended = text.empty() || text.back() == '\n' || text.back() == '\r';
    put(old_text);
    if (!ended) put(eol);
    put("[" + std::string(section) + "]" + eol + new_line + eol);
  }
  ec = writer->Commit();
  if (ec) ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  return true;
}

bool DeleteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                  std::string_view key) {
  bool cut = false;
  const bool exists = IniModel::Edit(files, path, [&](IniModel& model) {
    cut = model.cut_at_nul();
    if (!cut) model.DeleteKey(UnescapeField(section), UnescapeField(key));
    return !cut;
  });
  return exists && !cut;
}

bool EraseIniSection(platform::FileSystem& files, std::string_view path, std::string_view section) {
  bool gone = false;
  const bool exists = IniModel::Edit(files, path, [&](IniModel& model) {
    if (model.cut_at_nul()) return false;
    gone = EraseIniSection(model, section);
    return true;
  });
  return exists && gone;
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
  // A comment or blank line would be dropped again by the save, and a
  // section header would take the section's later lines into a new section:
  // the file is left as it is rather than rewritten without the line.
  if (!IniTextLineProblem(UnescapeField(line)).empty()) return false;
  bool inserted = false;
  IniModel::Edit(files, path, [&](IniModel& model) {
    if (model.cut_at_nul()) return false;
    inserted = InsertSectionLine(model, section, line);
    return true;
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

bool WriteIniKeyInPlace(std::string_view path, std::string_view section, std::string_view key,
                        std::string_view value) {
  return WriteIniKeyInPlace(platform::ThreadFileSystem(), path, section, key, value);
}

}  // namespace pelvar
