// The .reg text format of registry files, read and written.
//
// A file begins with its header line, "Windows Registry Editor Version 5.00"
// (UTF-16LE with a byte-order mark, or UTF-8 or 8-bit text) or "REGEDIT4"
// (8-bit text, Windows-1252). Then come key lines, "[ROOT\PATH]" (made when
// missing) or "[-ROOT\PATH]" (removed with everything below it), each
// followed by its value lines: "NAME"=DATA or @=DATA for the default value,
// where DATA is "text" (REG_SZ; "\\" and "\"" escape a backslash and a
// quote), dword:XXXXXXXX, hex:BYTES (REG_BINARY), hex(T):BYTES (type T in
// hexadecimal, bytes as comma-separated pairs that may go on over lines
// ending in "\"), or "-" to remove the value. Lines end in CR LF or LF;
// blank lines and lines starting with ";" are left out.
//
// Writing follows the layout of the system's registry editor, so that a
// written file reads back into the same values and, written again, into
// the same bytes: long hexadecimal data is folded after the first pair that
// takes a line beyond 76 characters, going on after two blanks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace pelvar::app {

enum class RegFileFormat {
  kUnicode,  // "Windows Registry Editor Version 5.00", UTF-16LE
  kAnsi,     // "REGEDIT4", Windows-1252
};

struct RegFileKey {
  std::string path;  // full path, long root name first
  std::vector<platform::RegistryValue> values;
};

// The text (UTF-8) of an export of the keys, in the order given. For
// kAnsi, false (with `problem` naming the value) when some text has no
// Windows-1252 form; the text is then incomplete.
std::string RegFileText(const std::vector<RegFileKey>& keys,
                        RegFileFormat format = RegFileFormat::kUnicode);
bool RegFileText(const std::vector<RegFileKey>& keys, RegFileFormat format, std::string& out,
                 std::string& problem);

// The same written piece by piece, for a file that need not be held whole:
// the header (with the blank line after it), then each key with its values
// and the blank line after them. False (with `problem`) as RegFileText.
std::string RegFileHeader(RegFileFormat format);
bool AppendRegFileKey(std::string& out, std::string_view path,
                      const std::vector<platform::RegistryValue>& values, RegFileFormat format,
                      std::string& problem);

// The bytes of a .reg file holding the text: UTF-16LE with byte-order mark
// (kUnicode), or Windows-1252 (kAnsi; false when a character has no byte).
std::string RegFileBytes(std::string_view text);
bool RegFileBytes(std::string_view text, RegFileFormat format, std::string& out);
// The bytes of a piece of the text (whole lines), without the byte-order
// mark, appended to `out`: the bytes of a file are its mark and the bytes of
// its pieces. A piece is judged on its own whether it is UTF-8 (see
// RegistryStringBytes); the pieces of one export all begin with the same
// key path, so they are all judged alike.
bool AppendRegFileBytes(std::string_view text, RegFileFormat format, std::string& out);
// The byte-order mark a kUnicode file begins with; empty for kAnsi.
std::string_view RegFileMark(RegFileFormat format);

// One change a file asks for, with the number of the line that asks (the
// first line of a value that goes on over several).
struct RegFileEntry {
  platform::RegistryChange change;
  size_t line = 0;
};

struct RegFileContents {
  RegFileFormat format = RegFileFormat::kUnicode;
  std::vector<RegFileEntry> entries;
  // The first problem: its line (1 for the header) and what is wrong.
  size_t error_line = 0;
  std::string error;
  bool ok() const { return error.empty(); }
};

// Reads a .reg file's bytes. On a problem the entries read so far are
// kept, but none should be applied.
RegFileContents ParseRegFile(std::string_view bytes);

}  // namespace pelvar::app
