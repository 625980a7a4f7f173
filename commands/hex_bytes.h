// Binary data written as text, as in .reg files: hexadecimal byte pairs in
// either letter case, optionally separated by a comma and/or blanks
// ("01,ff,0a", "01 FF 0A", "01ff0a"). Blanks around the whole are ignored;
// an empty text is no bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelvar::commands {

// The bytes the text spells; nullopt when it does not follow the form (an odd
// digit, another character, two commas in a row, a leading or trailing comma).
std::optional<std::string> ParseHexBytes(std::string_view text);

}  // namespace pelvar::commands
