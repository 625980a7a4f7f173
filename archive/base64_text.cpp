#include "archive/base64_text.h"

#include <array>

namespace pelvar::archive {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0-63 for the alphabet, kLineBreak for CR and LF, kForeign for the rest.
constexpr int8_t kLineBreak = -1;
constexpr int8_t kForeign = -2;

constexpr std::array<int8_t, 256> MakeTable() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kForeign;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  t['\r'] = kLineBreak;
  t['\n'] = kLineBreak;
  return t;
}

constexpr std::array<int8_t, 256> kTable = MakeTable();

}  // namespace

void Base64LineEncoder::PutFull(const char* chars, size_t count) {
  while (count > 0) {
    const size_t room = kBase64LineLength - line_.size();
    const size_t n = count < room ? count : room;
    line_.append(chars, n);
    chars += n;
    count -= n;
    text_size_ += n;
    if (line_.size() == kBase64LineLength) {
      if (sink_) {
        sink_(line_);
      } else {
        lines_.push_back(std::move(line_));
      }
      line_.clear();
      line_.reserve(kBase64LineLength);
      text_size_ += 2;
    }
  }
}

void Base64LineEncoder::Add(std::string_view bytes) {
  auto byte = [](char c) { return static_cast<unsigned char>(c); };
  while (carry_count_ > 0 && carry_count_ < 3 && !bytes.empty()) {
    if (carry_count_ == 2) {
      const unsigned char b[3] = {carry_[0], carry_[1], byte(bytes[0])};
      const char out[4] = {kAlphabet[b[0] >> 2], kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)],
                           kAlphabet[((b[1] & 15) << 2) | (b[2] >> 6)], kAlphabet[b[2] & 63]};
      PutFull(out, 4);
      carry_count_ = 0;
    } else {
      carry_[carry_count_++] = byte(bytes[0]);
    }
    bytes.remove_prefix(1);
  }
  const size_t groups = bytes.size() / 3;
  chars_.resize(groups * 4);
  char* o = chars_.data();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t g = 0; g < groups; ++g, in += 3, o += 4) {
    const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = kAlphabet[(v >> 6) & 63];
    o[3] = kAlphabet[v & 63];
  }
  PutFull(chars_.data(), chars_.size());
  for (size_t i = groups * 3; i < bytes.size(); ++i) carry_[carry_count_++] = byte(bytes[i]);
}

void Base64LineEncoder::Finish() {
  if (carry_count_ == 1) {
    const char full = kAlphabet[carry_[0] >> 2];
    PutFull(&full, 1);
    line_.push_back(kAlphabet[(carry_[0] & 3) << 4]);
    ++text_size_;
  } else if (carry_count_ == 2) {
    const char full[2] = {kAlphabet[carry_[0] >> 2],
                          kAlphabet[((carry_[0] & 3) << 4) | (carry_[1] >> 4)]};
    PutFull(full, 2);
    line_.push_back(kAlphabet[(carry_[1] & 15) << 2]);
    ++text_size_;
  }
  carry_count_ = 0;
  if (!line_.empty()) {
    if (sink_) {
      sink_(line_);
    } else {
      lines_.push_back(std::move(line_));
    }
  }
  line_.clear();
}

void Base64Decoder::Add(std::string_view text, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    if (position_ < skip_until_) {
      // The rest of a block that held a foreign character.
      const uint64_t skip =
          std::min<uint64_t>(skip_until_ - position_, static_cast<uint64_t>(end - p));
      p += skip;
      position_ += skip;
      continue;
    }
    // Whole groups of four while nothing is pending.
    if (bit_count_ == 0 && end - p >= 4) {
      const size_t old_size = out.size();
      out.resize(old_size + static_cast<size_t>(end - p) / 4 * 3);
      char* o = out.data() + old_size;
      const auto* const group_start = p;
      while (end - p >= 4) {
        const int a = kTable[p[0]], b = kTable[p[1]], c = kTable[p[2]], d = kTable[p[3]];
        if ((a | b | c | d) < 0) break;
        const uint32_t v = (static_cast<uint32_t>(a) << 18) | (static_cast<uint32_t>(b) << 12) |
                           (static_cast<uint32_t>(c) << 6) | static_cast<uint32_t>(d);
        o[0] = static_cast<char>(v >> 16);
        o[1] = static_cast<char>(v >> 8);
        o[2] = static_cast<char>(v);
        o += 3;
        p += 4;
      }
      out.resize(static_cast<size_t>(o - out.data()));
      position_ += static_cast<uint64_t>(p - group_start);
      if (p == end) break;
    }
    const int v = kTable[*p];
    if (v >= 0) {
      bits_ = (bits_ << 6) | static_cast<uint32_t>(v);
      bit_count_ += 6;
      if (bit_count_ >= 8) {
        bit_count_ -= 8;
        out.push_back(static_cast<char>((bits_ >> bit_count_) & 0xFF));
      }
      bits_ &= (1u << bit_count_) - 1;
    } else if (v == kForeign) {
      skip_until_ = (position_ / kBase64DecodeBlock + 1) * kBase64DecodeBlock;
    }
    ++p;
    ++position_;
  }
}

std::string EncodeBase64Text(std::string_view bytes) {
  Base64LineEncoder encoder;
  encoder.Add(bytes);
  encoder.Finish();
  std::string text;
  text.reserve(encoder.text_size());
  const auto& lines = encoder.lines();
  const uint64_t full_lines = (encoder.text_size() -
                               [&] {
                                 uint64_t chars = 0;
                                 for (const auto& l : lines) chars += l.size();
                                 return chars;
                               }()) /
                              2;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i < full_lines) text += "\r\n";
  }
  return text;
}

std::string DecodeBase64Text(std::string_view text) {
  Base64Decoder decoder;
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  decoder.Add(text, out);
  return out;
}

}  // namespace pelvar::archive
