// The text form of embedded files: the standard base64 alphabet without
// padding, in lines of at most 4,090 characters.
//
// Encoding counts the characters that carry a full 6-bit group; after every
// 4,090th of them the line ends (also after the very last one). The one
// character that carries the 2 or 4 bits left over at the end is not counted
// and never ends a line, so it may stand alone on the last line.
//
// Decoding reads the text as the lines joined by CR LF, each line ended by
// one. CR and LF are skipped. Any other character outside the alphabet ("="
// padding, say) ends the decoding of the block of 65,536 characters of that
// text in which it stands; decoding goes on with the next block. Bits that
// do not make a whole byte at the end are dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvar::archive {

inline constexpr size_t kBase64LineLength = 4090;
inline constexpr size_t kBase64DecodeBlock = 65536;

class Base64LineEncoder {
 public:
  // Encodes more bytes.
  void Add(std::string_view bytes);
  // Ends the text: encodes the bytes left over and closes the last line.
  void Finish();
  // The finished lines, without line breaks; may be taken.
  std::vector<std::string>& lines() { return lines_; }
  // Hands each finished line to `sink` instead of keeping it.
  void set_sink(std::function<void(std::string_view line)> sink) { sink_ = std::move(sink); }
  // Size of the text: characters plus two for each line break.
  uint64_t text_size() const { return text_size_; }

 private:
  void PutFull(const char* chars, size_t count);

  std::vector<std::string> lines_;
  std::string line_;
  unsigned char carry_[2] = {0, 0};
  size_t carry_count_ = 0;
  uint64_t text_size_ = 0;
  std::string chars_;
  std::function<void(std::string_view)> sink_;
};

class Base64Decoder {
 public:
  // Decodes the next piece of the text; bytes are appended to `out`.
  void Add(std::string_view text, std::string& out);
  // Decodes a line and the CR LF that ends it.
  void AddLine(std::string_view line, std::string& out) {
    Add(line, out);
    Add("\r\n", out);
  }
  // Passes over `count` empty lines (their CR LF only move the position).
  void SkipEmptyLines(uint64_t count) { position_ += 2 * count; }

 private:
  uint64_t position_ = 0;  // characters of the text seen so far
  uint64_t skip_until_ = 0;
  uint32_t bits_ = 0;
  int bit_count_ = 0;
};

// The whole text of `bytes` as one string with CR LF line breaks.
std::string EncodeBase64Text(std::string_view bytes);
// Decodes a whole text.
std::string DecodeBase64Text(std::string_view text);

}  // namespace pelvar::archive
