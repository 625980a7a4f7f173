#include "archive/base64_text.h"

#include <gtest/gtest.h>

#include <random>

namespace pelvar::archive {
namespace {

std::string RandomBytes(size_t n) {
  std::mt19937 gen(11);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// Encodes in uneven pieces, as a file read in blocks would.
Base64LineEncoder EncodeInPieces(const std::string& bytes) {
  Base64LineEncoder encoder;
  for (size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 7 % 1000 + 1) {
    encoder.Add(std::string_view(bytes).substr(at, step));
  }
  encoder.Finish();
  return encoder;
}

TEST(Base64TextTest, StandardAlphabetWithoutPadding) {
  EXPECT_EQ(EncodeBase64Text(""), "");
  EXPECT_EQ(EncodeBase64Text("f"), "Zg");
  EXPECT_EQ(EncodeBase64Text("fo"), "Zm8");
  EXPECT_EQ(EncodeBase64Text("foo"), "Zm9v");
  EXPECT_EQ(EncodeBase64Text("\xfb\xff\xbf"), "+/+/");
  EXPECT_EQ(DecodeBase64Text("Zm9vYmE"), "fooba");
}

TEST(Base64TextTest, LinesBreakAfterEvery4090thFullCharacter) {
  struct Case {
    size_t bytes;
    std::vector<size_t> line_lengths;
    uint64_t text_size;
  };
  const std::vector<Case> cases = {
      {3066, {4088}, 4088},    {3067, {4090}, 4090},  // 4089 full characters and the leftover one
      {3068, {4090, 1}, 4093},  // the leftover character alone on the last line
      {3069, {4090, 2}, 4094}, {6135, {4090, 4090}, 8184},  // the text ends with a line break
  };
  for (const auto& c : cases) {
    const std::string bytes = RandomBytes(c.bytes);
    Base64LineEncoder encoder = EncodeInPieces(bytes);
    std::vector<size_t> lengths;
    for (const auto& l : encoder.lines()) lengths.push_back(l.size());
    EXPECT_EQ(lengths, c.line_lengths) << c.bytes;
    EXPECT_EQ(encoder.text_size(), c.text_size) << c.bytes;
    const std::string text = EncodeBase64Text(bytes);
    EXPECT_EQ(text.size(), c.text_size);
    EXPECT_EQ(DecodeBase64Text(text), bytes);
  }
}

TEST(Base64TextTest, LineByLineRoundTrip) {
  for (size_t n : {0, 1, 2, 3, 4, 5, 4000, 100001}) {
    const std::string bytes = RandomBytes(n);
    Base64LineEncoder encoder = EncodeInPieces(bytes);
    Base64Decoder decoder;
    std::string out;
    for (const auto& l : encoder.lines()) decoder.AddLine(l, out);
    EXPECT_EQ(out, bytes) << n;
  }
}

TEST(Base64TextTest, ForeignCharacterEndsItsBlock) {
  // Padding from another encoder at the end: the bytes before it stand.
  EXPECT_EQ(DecodeBase64Text("Zm8=\r\n"), "fo");
  EXPECT_EQ(DecodeBase64Text("Zg==\r\n"), "f");
  EXPECT_EQ(DecodeBase64Text("Zm\r\n9v"), "foo");
  // Everything after "=" up to the 65,536th character is skipped, the next
  // block decodes again.
  const std::string text =
      "Zm9v=" + std::string(kBase64DecodeBlock - 9, 'A') + "QUFB" + "YmFy" + "=Zm9v\r\n";
  EXPECT_EQ(DecodeBase64Text(text), "foobar");
  // Piecewise input sees the same blocks.
  Base64Decoder decoder;
  std::string out;
  for (size_t at = 0; at < text.size(); at += 1000) decoder.Add(text.substr(at, 1000), out);
  EXPECT_EQ(out, DecodeBase64Text(text));

  // Empty lines passed over keep the blocks where the text has them.
  for (uint64_t empty : {uint64_t{0}, uint64_t{32760}, uint64_t{32770}}) {
    Base64Decoder by_lines;
    Base64Decoder skipping;
    std::string a;
    std::string b;
    by_lines.AddLine("Zm9v=", a);
    skipping.AddLine("Zm9v=", b);
    for (uint64_t i = 0; i < empty; ++i) by_lines.AddLine("", a);
    skipping.SkipEmptyLines(empty);
    by_lines.AddLine("YmFy", a);
    skipping.AddLine("YmFy", b);
    EXPECT_EQ(a, b) << empty;
    EXPECT_EQ(a, empty == 32770 ? "foobar" : "foo") << empty;
  }
}

}  // namespace
}  // namespace pelvar::archive
