// Pieces shared by the commands' log texts.
#pragma once

#include <string>
#include <string_view>

namespace pelvar::commands {

// The text between double quotes, as paths and values stand in log lines.
inline std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  out.append(text);
  out.push_back('"');
  return out;
}

}  // namespace pelvar::commands
