#include "app/reg_file.h"

#include <cstdio>

#include "platform/registry_text.h"

namespace pelvar::app {

namespace {

namespace reg_type = platform::reg_type;

// Longest line of hexadecimal data before it continues on the next line.
constexpr size_t kHexLineLimit = 76;

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// True for UTF-16LE text ending in its one NUL, which .reg files show as text.
bool IsPlainString(std::string_view data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  for (size_t i = 0; i + 2 < data.size(); i += 2) {
    if (data[i] == '\0' && data[i + 1] == '\0') return false;
  }
  return data[data.size() - 2] == '\0' && data[data.size() - 1] == '\0';
}

// "hex:" or "hex(N):" and the bytes as comma-separated pairs, continued over
// lines ending in "\" when long.
void AppendHex(std::string& out, size_t line_start, uint32_t type, std::string_view data) {
  char buf[16];
  if (type == reg_type::kBinary) {
    out += "hex:";
  } else {
    std::snprintf(buf, sizeof buf, "hex(%x):", type);
    out += buf;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
    out += buf;
    if (i + 1 == data.size()) break;
    out += ',';
    if (out.size() - line_start > kHexLineLimit) {
      out += "\\\r\n  ";
      line_start = out.size() - 2;
    }
  }
}

void AppendValue(std::string& out, const platform::RegistryValue& v) {
  const size_t line_start = out.size();
  out += v.name.empty() ? "@" : Quoted(v.name);
  out += '=';
  if (v.type == reg_type::kString && IsPlainString(v.data)) {
    out += Quoted(platform::Utf16LeToUtf8(v.data));
  } else if (v.type == reg_type::kDword && v.data.size() == 4) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      bits |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "dword:%08x", bits);
    out += buf;
  } else {
    AppendHex(out, line_start, v.type, v.data);
  }
  out += "\r\n";
}

}  // namespace

std::string RegFileText(const std::vector<RegFileKey>& keys) {
  std::string out = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const RegFileKey& key : keys) {
    out += "[" + key.path + "]\r\n";
    for (const auto& v : key.values) AppendValue(out, v);
    out += "\r\n";
  }
  return out;
}

std::string RegFileBytes(std::string_view text) {
  std::string bytes = "\xFF\xFE";
  std::string wide = platform::RegistryStringBytes(text);
  wide.resize(wide.size() - 2);  // no terminating NUL in a file
  return bytes + wide;
}

}  // namespace pelvar::app
