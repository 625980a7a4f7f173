// The mask matcher: any name and mask match without fault and in time
// (libFuzzer's time-out catches a matcher that backtracks without bound);
// a name without wildcard characters matches itself in any letter case, and
// "*" and "*.*" match every name.
//
// Input: the mask, a NUL byte, the name.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "commands/file_finder.h"
#include "engine/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  if (split == std::string_view::npos) return 0;
  const std::string_view mask = input.substr(0, split);
  const std::string_view name = input.substr(split + 1);
  (void)pelvar::commands::MatchesMask(name, mask);
  if (name.empty() || name.find_first_of("*?.\\/") != std::string_view::npos) return 0;
  if (!pelvar::commands::MatchesMask(name, "*")) std::abort();
  if (!pelvar::commands::MatchesMask(name, "*.*")) std::abort();
  if (!pelvar::commands::MatchesMask(name, name)) std::abort();
  if (!pelvar::commands::MatchesMask(pelvar::AsciiLowerCopy(name), name)) std::abort();
  return 0;
}
