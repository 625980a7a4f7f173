// The one accepted form of a 32-bit integer in scripts: optional leading
// blanks, at most one sign, then decimal digits that fit a signed 32-bit
// integer, or "$", "x", "X", "0x", "0X" followed by 1 to 8 hexadecimal digits
// (taken as the 32 bits they spell; a "-" negates them too). Nothing may follow.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelvar {

std::optional<int32_t> ParseIntegerText(std::string_view text);

}  // namespace pelvar
