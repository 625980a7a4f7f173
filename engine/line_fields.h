// Splitting a script line into fields: comma separated, double quotes group
// (a doubled quote inside stands for one), an unquoted field ends at a comma
// or any character of code 32 or less, blanks around commas vanish and a
// comma at the end of the line adds one empty field.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar {

// With `unclosed_quote`, it is set when a quoted field has no closing quote
// (that field runs to the end of the line, without the line's last character).
std::vector<std::string> SplitFields(std::string_view line, bool* unclosed_quote = nullptr);

}  // namespace pelvar
