// File operations over the INI model. Each loads the file anew; nothing is
// cached between calls. A missing file reads as an empty model and is never
// created by a write. The writes edit the file in place (IniText): they
// change only the lines the model's write would change and keep every other
// byte; a file whose text a NUL cuts short is never rewritten (the writes
// return false). Paths are script paths. Each operation works on the given
// file system; the forms without one use the thread's real one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ini_model.h"
#include "platform/file_system.h"

namespace pelvar {

// Replaces "#$q" by a double quote, then "#$c" by a comma, ignoring case.
std::string UnescapeField(std::string_view text);

// Raw lines of the section (all sections of the name, each run closed by its
// empty line), read from the rendered file by the header state walk. The
// section name is unescaped first.
std::vector<std::string> ReadSectionLines(platform::FileSystem& files, std::string_view path,
                                          std::string_view section);
std::vector<std::string> ReadSectionLines(std::string_view path, std::string_view section);
// The same walk over a model already loaded. With `numbers`, it receives the
// number in the file of each returned line (0 for the closing empty lines and
// for lines of a changed model).
std::vector<std::string> ReadSectionLines(const IniModel& model, std::string_view section,
                                          std::vector<uint32_t>* numbers = nullptr);

// Clears `table`, then copies the lines of the first section of the name.
// True when the table holds at least one line.
bool ReadSectionValues(platform::FileSystem& files, std::string_view path, std::string_view section,
                       std::vector<std::string>& table);
bool ReadSectionValues(std::string_view path, std::string_view section,
                       std::vector<std::string>& table);

// Why `key` cannot be stored as an INI key (it holds "=", or begins with
// ";" or "[" after blanks); empty when it can.
std::string IniKeyProblem(std::string_view key);

// Writes key=value into the first section of the name: the key's line (the
// one a run reads) is replaced, or a line is added below the section's last
// line, or the section is added at the end of the file. False when the file
// does not exist or IniKeyProblem refuses the key; raises "Cannot create
// file \"%s\". %s" when it cannot be written. No unescaping.
bool WriteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                 std::string_view key, std::string_view value);
bool WriteIniKey(std::string_view path, std::string_view section, std::string_view key,
                 std::string_view value);

// Deletes the key's line (section and key unescaped). True when the file
// exists; a missing key changes nothing.
bool DeleteIniKey(platform::FileSystem& files, std::string_view path, std::string_view section,
                  std::string_view key);
bool DeleteIniKey(std::string_view path, std::string_view section, std::string_view key);

// Erases the sections of the name that hold lines (at most ten), each from
// its header up to the next header; empty headers of the name stay. True
// when none holding lines remains; false when the file does not exist.
bool EraseIniSection(platform::FileSystem& files, std::string_view path, std::string_view section);
bool EraseIniSection(std::string_view path, std::string_view section);
// The same erasure on a model already loaded (nothing is saved).
bool EraseIniSection(IniModel& model, std::string_view section);

// Appends the header line "[section]" (no unescaping) unless the first
// section of the name holds lines; nothing else of the file changes. False
// when the file does not exist or cannot be edited without loss.
bool AddIniSection(platform::FileSystem& files, std::string_view path, std::string_view section);
bool AddIniSection(std::string_view path, std::string_view section);

// True when the first section of the name (unescaped) holds lines.
bool IniSectionExists(platform::FileSystem& files, std::string_view path, std::string_view section);
bool IniSectionExists(std::string_view path, std::string_view section);

// Why `line` cannot be inserted as a text line of a section: the save would
// drop it (empty, blank or a ";" comment), or it reads as a section header.
// Empty when it can.
std::string IniTextLineProblem(std::string_view line);

// Inserts the unescaped line directly after the first key or text line of
// the first section whose header equals "[" + unescaped name + "]" exactly
// (directly after the header when the section has none). False when nothing
// was inserted; the file is then untouched, as it is for a line that
// IniTextLineProblem refuses.
bool InsertSectionLine(platform::FileSystem& files, std::string_view path, std::string_view section,
                       std::string_view line);
bool InsertSectionLine(std::string_view path, std::string_view section, std::string_view line);
// The same insertion on a model already loaded (the model is re-parsed from
// its rendered lines; nothing is saved).
bool InsertSectionLine(IniModel& model, std::string_view section, std::string_view line);

}  // namespace pelvar
