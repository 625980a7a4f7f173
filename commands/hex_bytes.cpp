#include "commands/hex_bytes.h"

#include <charconv>

namespace pelvar::commands {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<std::string> ParseHexBytes(std::string_view text) {
  std::string out;
  size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skip_blanks();
  while (i < text.size()) {
    if (i + 1 >= text.size()) return std::nullopt;
    unsigned byte = 0;
    const char* pair = text.data() + i;
    const auto [end, ec] = std::from_chars(pair, pair + 2, byte, 16);
    if (ec != std::errc() || end != pair + 2) return std::nullopt;
    out.push_back(static_cast<char>(byte));
    i += 2;
    skip_blanks();
    if (i < text.size() && text[i] == ',') {
      ++i;
      skip_blanks();
      if (i == text.size()) return std::nullopt;  // a trailing comma
    }
  }
  return out;
}

}  // namespace pelvar::commands
