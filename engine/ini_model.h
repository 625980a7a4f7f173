// In-memory model of an INI file: an ordered list of sections, each an ordered
// list of lines. Several sections may share a name; lookups take the first.
// Loading normalises lines (trimmed, comments and blank lines dropped, blanks
// around the first "=" removed); saving writes "[name]", the lines and one
// empty line per section, every line ended by CR LF. Files are 8-bit text,
// or UTF-16LE when they begin with its byte order mark.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelvar::platform {
class FileSystem;
class FileReader;
class FileWriter;
}  // namespace pelvar::platform

namespace pelvar {

class IniModel {
 public:
  struct Section {
    std::string name;
    std::vector<std::string> lines;
    // For a model read from a file: the number of each line in the file (as
    // an editor counts, whatever the line ends). Empty once the section was
    // changed; see LineNumber.
    std::vector<uint32_t> numbers;

    // Number in the file of line i; 0 when unknown.
    uint32_t LineNumber(size_t i) const { return i < numbers.size() ? numbers[i] : 0; }
  };

  IniModel();
  ~IniModel();
  IniModel(IniModel&&) noexcept;
  IniModel& operator=(IniModel&&) noexcept;
  IniModel(const IniModel&) = delete;
  IniModel& operator=(const IniModel&) = delete;

  // Builds a model from file bytes by the load rules. A UTF-8 byte order mark
  // at the start is skipped and remembered for saving.
  static IniModel Parse(std::string_view text);
  // Builds a model from lines by the load rules (as if they were a file).
  static IniModel FromLines(const std::vector<std::string>& lines);
  // Loads a file; a missing file gives an empty model. Read errors raise
  // "Cannot open file \"%s\". %s". The file is read in chunks, so the peak
  // memory is the model plus a small buffer.
  static IniModel Load(platform::FileSystem& files, std::string_view path);
  // The same on the thread's real file system.
  static IniModel Load(std::string_view path);
  // Accepts a section name (as stored: trimmed, case as written).
  using SectionFilter = std::function<bool(std::string_view name)>;
  // Loads only the sections whose names `keep` accepts, as Load would have
  // them; the lines of other sections are passed over without being split,
  // so that one small section of a large file is read at the speed of the
  // disk. An empty filter keeps every section.
  static IniModel LoadSections(platform::FileSystem& files, std::string_view path,
                               const SectionFilter& keep);
  static IniModel LoadSections(std::string_view path, const SectionFilter& keep);
  // Loads only the first section bearing `name` (ignoring case) and stops
  // reading at the header that follows it, so a small section at the top of
  // a large file costs one small read.
  static IniModel LoadFirstSection(std::string_view path, std::string_view name);
  // The same over an open file; `path` names it in errors.
  static IniModel LoadFirstSection(platform::FileReader& file, std::string_view path,
                                   std::string_view name);
  // Loads the content of an open file; raises "Cannot open file" for `path`
  // when a read fails.
  static IniModel LoadFrom(platform::FileReader& file, std::string_view path,
                           const SectionFilter& keep = {});

  // Reads a file by the load rules one line at a time, keeping none of it:
  // `visit` gets each section header (`header` true, the section's name)
  // and each line of a section in its stored form, in file order, and
  // returns false to stop. A missing file visits nothing; read errors raise
  // as Load does.
  using LineVisitor = std::function<bool(bool header, std::string_view text)>;
  static void Scan(std::string_view path, const LineVisitor& visit);
  static void Scan(platform::FileSystem& files, std::string_view path, const LineVisitor& visit);
  // The same over an open file; `path` names it in errors.
  static void Scan(platform::FileReader& file, std::string_view path, const LineVisitor& visit);
  // Scan with the number of each line in the file, as Section::numbers has it.
  using NumberedLineVisitor =
      std::function<bool(bool header, std::string_view text, uint32_t number)>;
  static void ScanNumbered(platform::FileSystem& files, std::string_view path,
                           const NumberedLineVisitor& visit);
  static void ScanNumbered(platform::FileReader& file, std::string_view path,
                           const NumberedLineVisitor& visit);
  // Line `number` (from 1) of a file exactly as written, without its line
  // end; nullopt when the file is shorter or cannot be read.
  static std::optional<std::string> ReadRawLine(platform::FileSystem& files, std::string_view path,
                                                uint32_t number);
  // The form in which the load rules store a line of a section: trimmed, the
  // blanks around its first "=" removed.
  static std::string StoredForm(std::string_view raw);

  // Writes the rendered model over the file atomically and durably. Raises
  // "Cannot create file \"%s\". %s" when it cannot be written.
  void Save(platform::FileSystem& files, std::string_view path) const;
  void Save(std::string_view path) const;
  // Writes the rendered model into a replacement that has begun.
  void WriteTo(platform::FileWriter& writer) const;

  // Edits an existing file in one step: loads it, lets `edit` change the
  // model and saves it when `edit` returns true, with the file locked
  // throughout so that no other writer's change in between is lost. False
  // (and nothing written) when the file does not exist. Raises the errors
  // of Load and Save.
  static bool Edit(platform::FileSystem& files, std::string_view path,
                   const std::function<bool(IniModel&)>& edit);

  // Begins the replacement of an existing file under its lock; the writer's
  // old() reads the file as it stands. Null when the file does not exist.
  // Raises "Cannot open file" when it cannot be read and "Cannot create
  // file" when it cannot be replaced.
  static std::unique_ptr<platform::FileWriter> BeginRewrite(platform::FileSystem& files,
                                                            std::string_view path);

  // Rendered form: "[name]", the lines, "" for each section.
  std::vector<std::string> RenderLines() const;
  std::string Render() const;

  const std::vector<Section>& sections() const { return sections_; }
  bool has_bom() const { return has_bom_; }
  void set_has_bom(bool value) { has_bom_ = value; }
  // A file that begins with the UTF-16LE byte order mark is loaded as UTF-8
  // text and saved as UTF-16LE with the mark again.
  bool utf16() const { return utf16_; }
  void set_utf16(bool value) { utf16_ = value; }
  // True when loading stopped at a NUL byte of an 8-bit file (or a NUL
  // character of a UTF-16 one): saving the model would lose the rest.
  bool cut_at_nul() const { return cut_at_nul_; }

  // Index of the first section bearing `name` (ignoring case); -1 when none.
  int FindSection(std::string_view name) const;
  // True when the first section of the name holds at least one line.
  bool SectionExists(std::string_view name) const;
  // Index of the first line of section `section` whose key matches; -1.
  int FindKeyLine(int section, std::string_view key) const;
  // Value of the first matching key of the first section; nullptr when absent.
  const std::string* FindValue(std::string_view section, std::string_view key) const;
  // Value or `fallback` when the key is absent.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback = {}) const;

  // Write a key: replace the first matching line of the first section of the
  // name by key=value, or append it; a missing section is appended.
  void WriteKey(std::string_view section, std::string_view key, std::string_view value);
  // Removes the first matching key line of the first section of the name.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes the first section of the name with its lines.
  void EraseSection(std::string_view section);
  // Removes section `index` with its lines.
  void EraseSectionAt(int index);
  // Appends a section (even when one of the name exists); returns its index.
  int AppendSection(std::string_view name);
  // Replaces the lines of section `index`.
  void SetSectionLines(int index, std::vector<std::string> lines);
  // Appends a line to section `index`, stored as given.
  void AppendLine(int index, std::string line);

  // Key part of a stored line (text before the first "="), or nullopt-like
  // false when the line has no "=".
  static bool KeyOfLine(std::string_view line, std::string_view& key);

 private:
  struct KeyIndex;
  void Invalidate(int section) const;
  // Marks a section changed: its key index and line numbers are dropped.
  void Touch(int section);
  void LoadLine(std::string_view raw, uint32_t number);
  enum class RawLine { kDropped, kHeader, kLine };
  // What a raw line is by the load rules; `out` gets a header's name or a
  // line's stored form.
  static RawLine Normalize(std::string_view raw, std::string& out);
  // `stop_after_kept`: reading ends at the first header after a kept section.
  static IniModel LoadFiltered(platform::FileReader& file, std::string_view path,
                               const SectionFilter& keep, bool stop_after_kept);

  std::vector<Section> sections_;
  bool has_bom_ = false;
  bool utf16_ = false;
  bool cut_at_nul_ = false;
  // Per-section key indexes, built once a section has been searched a few
  // times, so that reading many keys of one large section costs a hash
  // lookup each while a single lookup stays one linear scan.
  mutable std::vector<std::unique_ptr<KeyIndex>> indexes_;
  mutable std::vector<uint32_t> lookups_;
};

}  // namespace pelvar
