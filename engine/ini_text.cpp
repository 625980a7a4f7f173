#include "engine/ini_text.h"

#include <algorithm>
#include <memory>

#include "engine/ini_model.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/registry_text.h"

namespace pelvar {

namespace {

constexpr std::string_view kUtf16LeMark("\xFF\xFE", 2);
constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);

bool IsBreak(char c) {
  return c == '\r' || c == '\n';
}

// True when every character is a blank or a control character (codes 0 to
// 32), as the load rules trim them.
bool AllBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

// A kept line (not blank, not a comment) in its trimmed form; empty when the
// load rules drop it.
std::string_view KeptLine(std::string_view raw) {
  const std::string_view line = TrimControl(raw);
  if (line.empty() || line.front() == ';') return {};
  return line;
}

bool KeyMatches(std::string_view line, std::string_view key) {
  const size_t eq = line.find('=');
  return eq != std::string_view::npos && IEquals(TrimControl(line.substr(0, eq)), TrimControl(key));
}

ScriptError CannotRead(std::string_view path, std::error_code ec) {
  return ScriptError("Cannot open file \"" + std::string(path) + "\". " +
                     platform::SystemMessage(ec));
}

}  // namespace

IniText IniText::Parse(std::string bytes) {
  IniText out;
  if (std::string_view(bytes).substr(0, 2) == kUtf16LeMark) {
    const std::string_view wide = std::string_view(bytes).substr(2);
    out.text_ = platform::Utf16LeTextToUtf8(wide);
    out.utf16_ = true;
    if (platform::TextToUtf16Le(out.text_) != wide) {
      out.problem_ =
          "the file's UTF-16 text does not convert back to the same bytes: it is left as it is";
    }
  } else {
    out.text_ = std::move(bytes);
    if (std::string_view(out.text_).substr(0, 3) == kUtf8Mark) out.start_ = 3;
  }
  if (out.problem_.empty() && out.text_.find('\0') != std::string::npos) {
    out.problem_ = "the file holds a NUL byte: it is left as it is rather than cut there";
  }
  if (out.start_ < out.text_.size()) {
    const Span first = out.LineAt(out.start_);
    if (first.end < first.next) out.eol_ = out.text_.substr(first.end, first.next - first.end);
  }
  return out;
}

std::string IniText::Bytes() const {
  if (utf16_) return std::string(kUtf16LeMark) + platform::TextToUtf16Le(text_);
  return text_;
}

void IniText::WriteTo(platform::FileWriter& writer) const {
  if (utf16_) {
    (void)writer.Write(Bytes());
  } else {
    (void)writer.Write(text_);
  }
}

IniText::Span IniText::LineAt(size_t pos) const {
  size_t end = pos;
  while (end < text_.size() && !IsBreak(text_[end])) ++end;
  if (end == text_.size()) return {pos, end, end};
  size_t next = end + 1;
  if (text_[end] == '\r' && next < text_.size() && text_[next] == '\n') ++next;
  return {pos, end, next};
}

std::string_view IniText::TextOf(const Span& span) const {
  return std::string_view(text_).substr(span.begin, span.end - span.begin);
}

std::vector<IniText::Header> IniText::Headers() const {
  // Only lines with a "[" can be headers: the text is searched for that
  // character, so that long runs of other lines (embedded data) cost a
  // memory scan.
  std::vector<Header> out;
  const std::string_view text(text_);
  size_t pos = start_;  // always the start of a line
  while (pos < text.size()) {
    const size_t bracket = text.find('[', pos);
    if (bracket == std::string_view::npos) break;
    size_t begin = bracket;
    while (begin > pos && !IsBreak(text[begin - 1])) --begin;
    const Span line = LineAt(begin);
    pos = line.next;
    if (!AllBlank(text.substr(begin, bracket - begin))) continue;
    const std::string_view trimmed = TrimControl(TextOf(line));
    if (trimmed.size() < 2 || trimmed.back() != ']') continue;
    out.push_back({line, std::string(TrimControl(trimmed.substr(1, trimmed.size() - 2))), 0});
  }
  for (size_t i = 0; i < out.size(); ++i) {
    out[i].body_end = i + 1 < out.size() ? out[i + 1].line.begin : text.size();
  }
  return out;
}

std::vector<IniText::Span> IniText::BodyLines(const Header& header) const {
  std::vector<Span> out;
  for (size_t pos = header.line.next; pos < header.body_end;) {
    const Span line = LineAt(pos);
    pos = line.next;
    if (!KeptLine(TextOf(line)).empty()) out.push_back(line);
  }
  return out;
}

int IniText::FindSection(const std::vector<Header>& headers, std::string_view name) const {
  name = TrimControl(name);
  for (size_t i = 0; i < headers.size(); ++i) {
    if (IEquals(headers[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> IniText::SectionLines(std::string_view section, bool every,
                                               std::vector<uint32_t>* numbers) const {
  std::vector<std::string> out;
  if (numbers != nullptr) numbers->clear();
  uint32_t number = 1;  // of the line that begins at `counted`
  size_t counted = 0;
  for (const Header& header : Headers()) {
    if (!IEquals(header.name, TrimControl(section))) continue;
    for (const Span& span : BodyLines(header)) {
      out.push_back(IniModel::StoredForm(TextOf(span)));
      if (numbers == nullptr) continue;
      // A CR LF pair is one line end: it is counted at its LF.
      for (; counted < span.begin; ++counted) {
        const char c = text_[counted];
        if (c == '\n' || (c == '\r' && (counted + 1 >= text_.size() || text_[counted + 1] != '\n')))
          ++number;
      }
      numbers->push_back(number);
    }
    if (!every) break;
  }
  return out;
}

bool IniText::SectionExists(std::string_view section) const {
  const std::vector<Header> headers = Headers();
  const int s = FindSection(headers, section);
  return s >= 0 && !BodyLines(headers[static_cast<size_t>(s)]).empty();
}

IniText::Splice IniText::AddAfter(const Span& after, const std::vector<std::string>& lines) const {
  std::string added;
  // A last line without a line end gets one, and the added lines end the
  // file without one, as it ended before.
  const bool ended = after.end < after.next;
  for (const std::string& line : lines) {
    if (ended) {
      added.append(line).append(eol_);
    } else {
      added.append(eol_).append(line);
    }
  }
  return {after.next, after.next, std::move(added)};
}

IniText::Splice IniText::AddSectionAtEnd(std::string_view section,
                                         const std::vector<std::string>& lines) const {
  const std::string_view text(text_);
  std::string added;
  bool ended = true;
  if (text.size() > start_) {
    ended = IsBreak(text.back());
    size_t last_end = text.size();
    if (ended) {
      // The last line: the text before the final line end.
      last_end -= text.size() >= 2 && text.substr(text.size() - 2) == "\r\n" ? 2 : 1;
    } else {
      added.append(eol_);
    }
    size_t last_begin = last_end;
    while (last_begin > start_ && !IsBreak(text[last_begin - 1])) --last_begin;
    const bool ends_empty = ended && AllBlank(text.substr(last_begin, last_end - last_begin));
    if (!ends_empty) added.append(eol_);
  }
  added.append("[").append(section).append("]");
  for (const std::string& line : lines) added.append(eol_).append(line);
  if (ended) added.append(eol_);
  return {text.size(), text.size(), std::move(added)};
}

void IniText::Apply(std::vector<Splice> splices) {
  // From the end backwards, so that every splice's offsets stay right.
  std::stable_sort(splices.begin(), splices.end(),
                   [](const Splice& a, const Splice& b) { return a.begin > b.begin; });
  for (Splice& s : splices) {
    // The text of a UTF-16 file is held as UTF-8: 8-bit text from a script
    // is read as Windows-1252, as every write into such a file has it.
    if (utf16_) s.text = platform::ScriptTextToUtf8(s.text);
    if (text_.compare(s.begin, s.end - s.begin, s.text) == 0) continue;
    text_.replace(s.begin, s.end - s.begin, s.text);
    changed_ = true;
  }
}

void IniText::WriteKey(std::string_view section, std::string_view key, std::string_view value) {
  std::string line;
  line.append(key).append("=").append(value);
  const std::vector<Header> headers = Headers();
  const int s = FindSection(headers, section);
  if (s < 0) {
    Apply({AddSectionAtEnd(section, {line})});
    return;
  }
  const Header& header = headers[static_cast<size_t>(s)];
  const std::vector<Span> body = BodyLines(header);
  for (const Span& span : body) {
    if (KeyMatches(TrimControl(TextOf(span)), key)) {
      Apply({{span.begin, span.end, line}});
      return;
    }
  }
  Apply({AddAfter(body.empty() ? header.line : body.back(), {line})});
}

void IniText::DeleteKey(std::string_view section, std::string_view key) {
  const std::vector<Header> headers = Headers();
  const int s = FindSection(headers, section);
  if (s < 0) return;
  for (const Span& span : BodyLines(headers[static_cast<size_t>(s)])) {
    if (!KeyMatches(TrimControl(TextOf(span)), key)) continue;
    size_t begin = span.begin;
    if (span.end == span.next && begin > start_) {
      // The file's last line without a line end: the line end before it
      // goes with it, so the file still ends without one.
      --begin;
      if (text_[begin] == '\n' && begin > start_ && text_[begin - 1] == '\r') --begin;
    }
    Apply({{begin, span.next, {}}});
    return;
  }
}

bool IniText::EraseSection(std::string_view section) {
  const std::string_view name = TrimControl(section);
  // The next section of the name that holds lines, also one behind an empty
  // header of the same name; -1 when none.
  auto next_with_lines = [this, name](const std::vector<Header>& headers) {
    for (size_t i = 0; i < headers.size(); ++i) {
      if (IEquals(headers[i].name, name) && !BodyLines(headers[i]).empty()) {
        return static_cast<int>(i);
      }
    }
    return -1;
  };
  for (int erased = 0; erased < 10; ++erased) {
    const std::vector<Header> headers = Headers();
    const int s = next_with_lines(headers);
    if (s < 0) return true;
    const Header& header = headers[static_cast<size_t>(s)];
    Apply({{header.line.begin, header.body_end, {}}});
  }
  return next_with_lines(Headers()) < 0;
}

bool IniText::InsertTextLine(std::string_view section, std::string_view line) {
  for (const Header& header : Headers()) {
    if (header.name != section) continue;
    const std::vector<Span> body = BodyLines(header);
    Apply({AddAfter(body.empty() ? header.line : body.front(), {std::string(line)})});
    return true;
  }
  return false;
}

void IniText::RenameSections(const std::function<std::string(std::string_view name)>& rename) {
  std::vector<Splice> splices;
  for (const Header& header : Headers()) {
    const std::string name = rename(header.name);
    if (name.empty()) continue;
    splices.push_back({header.line.begin, header.line.end, "[" + name + "]"});
  }
  Apply(std::move(splices));
}

void IniText::AppendHeader(std::string_view section) {
  std::string added;
  if (text_.size() > start_ && !IsBreak(text_.back())) added.append(eol_);
  added.append("[").append(section).append("]").append(eol_);
  Apply({{text_.size(), text_.size(), std::move(added)}});
}

void IniText::SetSectionLines(std::string_view section, const std::vector<std::string>& lines,
                              bool every) {
  std::vector<std::string> wanted;
  for (const std::string& line : lines) {
    const std::string_view kept = TrimControl(line);
    if (!kept.empty()) wanted.emplace_back(kept);
  }
  const std::vector<Header> headers = Headers();
  const Header* first = nullptr;
  std::vector<Span> old;
  for (const Header& header : headers) {
    if (!IEquals(header.name, TrimControl(section))) continue;
    if (first == nullptr) first = &header;
    const std::vector<Span> body = BodyLines(header);
    old.insert(old.end(), body.begin(), body.end());
    if (!every) break;
  }
  if (first == nullptr) {
    if (!wanted.empty()) Apply({AddSectionAtEnd(section, wanted)});
    return;
  }
  const size_t n = old.size();
  const size_t m = wanted.size();
  auto same = [&](size_t o, size_t w) { return IniModel::StoredForm(TextOf(old[o])) == wanted[w]; };
  size_t prefix = 0;
  while (prefix < n && prefix < m && same(prefix, prefix)) ++prefix;
  size_t suffix = 0;
  while (suffix < n - prefix && suffix < m - prefix && same(n - 1 - suffix, m - 1 - suffix)) {
    ++suffix;
  }
  const size_t old_mid = n - prefix - suffix;
  const size_t new_mid = m - prefix - suffix;
  const size_t pairs = std::min(old_mid, new_mid);
  std::vector<Splice> splices;
  for (size_t i = 0; i < pairs; ++i) {
    const Span& span = old[prefix + i];
    splices.push_back({span.begin, span.end, wanted[prefix + i]});
  }
  for (size_t i = pairs; i < old_mid; ++i) {
    const Span& span = old[prefix + i];
    splices.push_back({span.begin, span.next, {}});
  }
  if (new_mid > pairs) {
    const std::vector<std::string> added(wanted.begin() + static_cast<long>(prefix + pairs),
                                         wanted.begin() + static_cast<long>(prefix + new_mid));
    if (prefix + pairs > 0) {
      splices.push_back(AddAfter(old[prefix + pairs - 1], added));
    } else if (n > 0) {
      std::string text;
      for (const std::string& line : added) text.append(line).append(eol_);
      splices.push_back({old[0].begin, old[0].begin, std::move(text)});
    } else {
      splices.push_back(AddAfter(first->line, added));
    }
  }
  Apply(std::move(splices));
}

IniFileEdit EditIniFile(platform::FileSystem& files, std::string_view path,
                        const std::function<void(IniText&)>& edit) {
  IniFileEdit result;
  // The old text is read under the replacement's lock, so that another
  // writer's change is not lost between the read and the rename.
  const std::unique_ptr<platform::FileWriter> writer = IniModel::BeginRewrite(files, path);
  if (writer == nullptr) return result;
  result.exists = true;
  std::string bytes;
  if (const std::error_code ec = writer->old()->ReadRest(0, bytes)) throw CannotRead(path, ec);
  IniText text = IniText::Parse(std::move(bytes));
  if (!text.problem().empty()) {
    result.problem = text.problem();
    return result;
  }
  edit(text);
  if (!text.changed()) return result;
  text.WriteTo(*writer);
  if (const std::error_code ec = writer->Commit()) {
    ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  }
  result.written = true;
  return result;
}

}  // namespace pelvar
