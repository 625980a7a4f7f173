// How names that differ only in letter case meet: the folding shared by the
// file systems' lookups, the wildcard masks and the commands that keep
// several spellings of one name apart. Text only; no file is touched.
#pragma once

#include <string>
#include <string_view>

namespace pelvar::platform {

// The key under which names that differ only in letter case meet: A-Z
// folded to a-z, and beyond ASCII each character of the Basic Multilingual
// Plane by its simple upper case (so "Ärger" meets "ÄRGER", "Дом" meets
// "ДОМ"). Bytes that are not UTF-8 stay as they are.
std::string FoldCase(std::string_view name);
// The characters of FoldCase(name), one element each (so that a wildcard
// can stand for one character however many bytes it takes); a byte that is
// not UTF-8 is an element of its own, above every character.
std::u32string FoldedCharacters(std::string_view name);

}  // namespace pelvar::platform
