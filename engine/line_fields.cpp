#include "engine/line_fields.h"

namespace pelvar {

namespace {

inline bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

inline bool EndsUnquoted(char c) {
  return c == ',' || static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::vector<std::string> SplitFields(std::string_view line, bool* unclosed_quote) {
  std::vector<std::string> fields;
  if (unclosed_quote != nullptr) *unclosed_quote = false;
  // The line's text ends at a NUL character, if any.
  const size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = line.substr(0, nul);
  const size_t n = line.size();
  size_t p = 0;
  while (p < n && IsBlank(line[p])) ++p;
  while (p < n) {
    std::string field;
    if (line[p] == '"') {
      size_t q = p + 1;
      bool closed = false;
      while (q < n) {
        if (line[q] == '"') {
          if (q + 1 < n && line[q + 1] == '"') {
            field.push_back('"');
            q += 2;
            continue;
          }
          closed = true;
          break;
        }
        field.push_back(line[q]);
        ++q;
      }
      if (closed) {
        p = q + 1;
      } else {
        // No closing quote: the field loses the line's last character.
        if (!field.empty()) field.pop_back();
        if (unclosed_quote != nullptr) *unclosed_quote = true;
        p = n;
      }
    } else {
      const size_t start = p;
      while (p < n && !EndsUnquoted(line[p])) ++p;
      field.assign(line.substr(start, p - start));
    }
    fields.push_back(std::move(field));
    while (p < n && IsBlank(line[p])) ++p;
    if (p < n && line[p] == ',') {
      if (p + 1 == n) fields.emplace_back();
      ++p;
      while (p < n && IsBlank(line[p])) ++p;
    }
  }
  return fields;
}

}  // namespace pelvar
