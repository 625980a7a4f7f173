// An INI-syntax file edited line by line. The file is held as its bytes; each
// edit works out, by the load and lookup rules of IniModel, which lines a
// write into the model would change, and changes only those. Every other
// byte stays as it was: comments, blank lines, lines above the first header,
// blanks around "=", the letter case of names, each line's own line end, a
// UTF-8 or UTF-16LE byte order mark (and the UTF-16LE encoding), and a last
// line without a line end. A line that is added takes the file's line end
// (its first line's; CR LF for a file without one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvar::platform {
class FileSystem;
class FileWriter;
}  // namespace pelvar::platform

namespace pelvar {

class IniText {
 public:
  // Takes the file's bytes. A file that begins with the UTF-16LE byte order
  // mark is edited as UTF-8 and written back as UTF-16LE.
  static IniText Parse(std::string bytes);

  // Why the file cannot be edited without losing bytes (a NUL byte, at which
  // a run stops reading; UTF-16 text that does not convert back to the same
  // bytes); empty when it can.
  const std::string& problem() const { return problem_; }
  // True once an edit changed a byte.
  bool changed() const { return changed_; }
  // The file's bytes with the edits made.
  std::string Bytes() const;
  // The text as held: the file's bytes unless it is a UTF-16 file.
  std::string_view text() const { return text_; }
  bool utf16() const { return utf16_; }
  void WriteTo(platform::FileWriter& writer) const;

  // The key and text lines of the sections of the name (the first only, or
  // with `every` all of them), in their stored form, as IniModel reads them;
  // `numbers`, when given, gets the number in the file of each (from 1, as
  // an editor counts lines).
  std::vector<std::string> SectionLines(std::string_view section, bool every,
                                        std::vector<uint32_t>* numbers = nullptr) const;

  // The section lookup of IniModel: true when the first section of the name
  // (ignoring case) holds a key or text line.
  bool SectionExists(std::string_view section) const;

  // The key's line of the first section of the name becomes KEY=VALUE, with
  // that line's line end. A new key goes directly after the section's last
  // key or text line (after its header when it has none); a missing section
  // is added at the end of the file after one empty line (none when the
  // file ends with an empty line already).
  void WriteKey(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's line from the first section of the name; nothing
  // changes when the section or the key is missing.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes the sections of the name that hold lines (at most ten), each
  // from its header up to the next header; headers without lines stay. True
  // when no section of the name that holds lines remains.
  bool EraseSection(std::string_view section);
  // Inserts `line` directly after the first key or text line of the first
  // section whose stored name equals `section` exactly (letter case too), or
  // directly after its header when it has none. False, and nothing changed,
  // when no header matches.
  bool InsertTextLine(std::string_view section, std::string_view line);
  // Gives every section header a new name where `rename` (called with the
  // header's stored name) returns one: only the header lines change, each
  // keeping its line end.
  void RenameSections(const std::function<std::string(std::string_view name)>& rename);
  // Appends the header line "[section]" at the end of the file (a last line
  // without a line end gets one first).
  void AppendHeader(std::string_view section);
  // Makes the sections of the name read as `lines` (in their stored form;
  // each is written trimmed, and blank ones are left out): the first section only, or with `every`
  // all sections of the name one after another. Only the lines that differ are touched: the longest
  // run of equal lines at the start and at the end stays, the lines between are replaced one by
  // one, and the rest removed or added after the last line kept. A missing section is added at the
  // end of the file as WriteKey adds one.
  void SetSectionLines(std::string_view section, const std::vector<std::string>& lines,
                       bool every = false);

 private:
  // A line of the text: [begin, end) its text, [end, next) its line end.
  struct Span {
    size_t begin = 0, end = 0, next = 0;
  };
  struct Header {
    Span line;
    std::string name;  // trimmed, as the model stores it
    size_t body_end;   // where the next header's line begins
  };
  // One replacement of the text: [begin, end) becomes `text`.
  struct Splice {
    size_t begin, end;
    std::string text;
  };

  std::vector<Header> Headers() const;
  Span LineAt(size_t pos) const;
  // The key and text lines of a section's body, in order.
  std::vector<Span> BodyLines(const Header& header) const;
  std::string_view TextOf(const Span& span) const;
  int FindSection(const std::vector<Header>& headers, std::string_view name) const;
  // Splices that add `lines` after the line `after` (each with the file's
  // line end; a line without one gets one first).
  Splice AddAfter(const Span& after, const std::vector<std::string>& lines) const;
  // The splice that adds a new section at the end of the text.
  Splice AddSectionAtEnd(std::string_view section, const std::vector<std::string>& lines) const;
  void Apply(std::vector<Splice> splices);

  std::string text_;  // UTF-8 for a UTF-16 file, without its mark
  size_t start_ = 0;  // after a UTF-8 byte order mark
  std::string eol_ = "\r\n";
  bool utf16_ = false;
  bool changed_ = false;
  std::string problem_;
};

// How an edit of a file through IniText ended.
struct IniFileEdit {
  bool exists = false;  // the file was there (it is never created)
  bool written = false;
  // Why the file was left as it was although it exists (IniText::problem).
  std::string problem;
};

// Edits an existing file through IniText: reads it under the replacement's
// lock, lets `edit` change it, and replaces the file atomically and durably
// when a byte changed. A file whose text IniText refuses is left untouched.
// Raises "Cannot create file \"%s\". %s" when the file cannot be written.
IniFileEdit EditIniFile(platform::FileSystem& files, std::string_view path,
                        const std::function<void(IniText&)>& edit);

}  // namespace pelvar
