// Text as the registry keeps it: names and strings are Unicode (UTF-16 in
// the registry, UTF-8 here), script text is 8-bit. Names compare as the
// system compares them: code unit by code unit after upper-casing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar::platform {

// Script text as UTF-8: kept when it is valid UTF-8, else read as Windows-1252.
std::string ScriptTextToUtf8(std::string_view text);

// The stored form of a string value: UTF-16LE of the script text followed by
// a two-byte NUL.
std::string RegistryStringBytes(std::string_view script_text);

// Text (UTF-8 when valid, else Windows-1252) as UTF-16LE bytes without a
// terminating NUL. Each line (up to a LF) is judged on its own, so that a
// line added from an 8-bit script joins the UTF-8 lines of a file intact.
std::string TextToUtf16Le(std::string_view text);

// UTF-16LE bytes as UTF-8, every code unit (NUL included); an odd last byte
// is ignored and unpaired surrogates become U+FFFD.
std::string Utf16LeTextToUtf8(std::string_view bytes);

// Text for showing: kept when it is valid UTF-8, else read as Windows-1252
// (the same rule as ScriptTextToUtf8).
inline std::string DisplayTextOf(std::string_view bytes) {
  return ScriptTextToUtf8(bytes);
}

// UTF-16LE bytes in the 8-bit code page of Windows (Windows-1252), for
// files in the older 8-bit .reg format: false when a character has no byte
// there.
bool Utf16LeToWindows1252(std::string_view bytes, std::string& out);

// Windows-1252 bytes as UTF-16LE bytes, each byte one character.
std::string Windows1252ToUtf16Le(std::string_view bytes);

// UTF-16LE bytes (a string value's data) as UTF-8, up to the first NUL; an odd
// last byte is ignored and unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// The key under which a UTF-8 name compares: its UTF-16 code units, each
// upper-cased by the simple Unicode mapping.
std::u16string NameFoldKey(std::string_view utf8);

// UTF-8 form of NameFoldKey, used as an index key.
std::string NameFoldText(std::string_view utf8);

// True when the two UTF-8 names are equal ignoring letter case.
bool NamesEqual(std::string_view a, std::string_view b);

// Length of a UTF-8 text in UTF-16 code units.
size_t Utf16Length(std::string_view utf8);

// Longest names the system accepts, in UTF-16 code units.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;

// Empty when the UTF-8 name may name a key, else why not.
std::string KeyNameProblem(std::string_view utf8);
// Empty when the UTF-8 name may name a value, else why not.
std::string ValueNameProblem(std::string_view utf8);

// Splits a key path (script text) at "\" into UTF-8 names. An empty path
// gives no names; one trailing "\" is ignored. False when a name is empty
// (a doubled or leading "\").
bool SplitKeyPath(std::string_view path, std::vector<std::string>& names);

}  // namespace pelvar::platform
