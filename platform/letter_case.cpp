#include "platform/letter_case.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace pelvar::platform {

std::string FoldCase(std::string_view name) {
  std::string out(name);
  size_t i = 0;
  for (; i < out.size() && static_cast<unsigned char>(out[i]) < 0x80; ++i) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + 32);
  }
  if (i == out.size()) return out;
  // Beyond ASCII: each character of the Basic Multilingual Plane is taken
  // by its simple upper case, as the Windows file systems compare names;
  // other characters and bytes that are not UTF-8 stay as they are.
  out.resize(i);
  const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
  const auto length = static_cast<int32_t>(std::min<size_t>(name.size(), INT32_MAX));
  auto at = static_cast<int32_t>(i);
  while (at < length) {
    const int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (c < 0 || c > 0xFFFF) {
      out.append(name.substr(static_cast<size_t>(start), static_cast<size_t>(at - start)));
      continue;
    }
    c = u_toupper(c);
    if (c >= 'A' && c <= 'Z') c += 32;
    char unit[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(unit, n, c);
    out.append(unit, static_cast<size_t>(n));
  }
  return out;
}

std::u32string FoldedCharacters(std::string_view text) {
  const std::string folded = FoldCase(text);
  std::u32string out;
  out.reserve(folded.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(folded.data());
  const auto length = static_cast<int32_t>(std::min<size_t>(folded.size(), INT32_MAX));
  int32_t at = 0;
  while (at < length) {
    const int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (c >= 0) {
      out.push_back(static_cast<char32_t>(c));
    } else {
      for (int32_t i = start; i < at; ++i) out.push_back(0x110000u + bytes[i]);
    }
  }
  return out;
}

}  // namespace pelvar::platform
