// Byte-string helpers shared by the engine and the commands. Script text is
// 8-bit; letter case is folded for A-Z only, so UTF-8 bytes compare as they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string AsciiLowerCopy(std::string_view text);

// True when a and b are equal ignoring the case of A-Z.
bool IEquals(std::string_view a, std::string_view b);

// First position of `needle` in `text` at or after `from`, ignoring the case of
// A-Z; npos when absent. An empty needle is never found.
size_t IFind(std::string_view text, std::string_view needle, size_t from = 0);

// True when `text` contains `needle` ignoring case.
inline bool IContains(std::string_view text, std::string_view needle) {
  return IFind(text, needle) != std::string_view::npos;
}

// Replaces every occurrence of `from` (ignoring case) by `to`, scanning left to
// right once: inserted text is not scanned again.
std::string IReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Removes characters with codes 0 to 32 from both ends.
std::string_view TrimControl(std::string_view text);

// True for the two separators of a script path on this platform.
inline bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

// Folder part of a path: everything before the last "\", "/" or ":", a root
// keeping its separator ("C:\", "/"); "C:" for "C:x"; empty when the path has
// no folder part.
std::string FolderOfPath(std::string_view path);

// The same, cut at the last "\" or "/" only (a ":" in a file name stays in
// the name): the folder of a script.
std::string FolderOfScriptPath(std::string_view path);

// Text after the last "\", "/" or ":" of a path.
std::string FileNameOfPath(std::string_view path);

// Everything up to and including the last "\", "/" or ":"; empty when none.
std::string FolderPrefixOfPath(std::string_view path);

// Splits text into lines at CR, LF or CR LF; a final line ending adds no
// empty line. The text ends at the first NUL when `stop_at_nul` is set.
std::vector<std::string> SplitTextLines(std::string_view text, bool stop_at_nul = true);

// Joins lines, ending each with CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

// Decimal text of an integer.
std::string IntToText(long long value);

}  // namespace pelvar
