// The base64 text: arbitrary text decodes without fault and the same way
// piecewise; arbitrary bytes survive encoding into lines and decoding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/base64_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pelvar::archive;  // NOLINT
  const std::string input(reinterpret_cast<const char*>(data), size);

  const std::string whole = DecodeBase64Text(input);
  Base64Decoder decoder;
  std::string pieces;
  const size_t step = size > 0 ? data[0] % 13 + 1 : 1;
  for (size_t at = 0; at < size; at += step) decoder.Add(input.substr(at, step), pieces);
  if (pieces != whole) std::abort();

  Base64LineEncoder encoder;
  for (size_t at = 0; at < size; at += step) encoder.Add(input.substr(at, step));
  encoder.Finish();
  Base64Decoder line_decoder;
  std::string back;
  uint64_t chars = 0;
  for (const auto& line : encoder.lines()) {
    if (line.empty() || line.size() > kBase64LineLength) std::abort();
    chars += line.size();
    line_decoder.AddLine(line, back);
  }
  if (back != input) std::abort();
  if (encoder.text_size() < chars || (encoder.text_size() - chars) % 2 != 0) std::abort();
  if (DecodeBase64Text(EncodeBase64Text(input)) != input) std::abort();
  return 0;
}
