// Integer text: any text parses without fault; a value that parses prints
// back (in decimal and in each hexadecimal form) to a text of the same value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "engine/integer_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::optional<int32_t> value = pelvar::ParseIntegerText(input);
  if (!value) return 0;
  if (pelvar::ParseIntegerText(std::to_string(*value)) != value) std::abort();
  char hex[32];
  for (const char* form : {"$%X", "0x%x", "x%08X", "  +0X%X"}) {
    std::snprintf(hex, sizeof hex, form, static_cast<unsigned>(*value));
    if (pelvar::ParseIntegerText(hex) != value) std::abort();
  }
  return 0;
}
