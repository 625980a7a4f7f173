#include "app/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "engine/text.h"
#include "platform/registry_text.h"

namespace pelvar::app {

namespace {

namespace reg_type = platform::reg_type;
using platform::RegistryChange;

constexpr std::string_view kUnicodeHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kAnsiHeader = "REGEDIT4";

// Longest line of hexadecimal data before it continues on the next line.
constexpr size_t kHexLineLimit = 76;

// ---------------------------------------------------------------------------
// Writing

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// True for UTF-16LE text ending in its one NUL that a quoted string carries
// back unchanged: no other NUL, no line break, no unpaired surrogate.
bool IsPlainString(std::string_view data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  for (size_t i = 0; i + 2 < data.size(); i += 2) {
    if (data[i + 1] != '\0') continue;
    if (data[i] == '\0' || data[i] == '\r' || data[i] == '\n') return false;
  }
  if (data[data.size() - 2] != '\0' || data[data.size() - 1] != '\0') return false;
  return platform::RegistryStringBytes(platform::Utf16LeToUtf8(data)) == data;
}

// The text of an ASCII string value (UTF-16LE units below 0x80 ending in
// its one NUL, no line break), which IsPlainString accepts; false for any
// other data, which the general check then judges.
bool AsciiPlainString(std::string_view data, std::string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 2] != '\0' || data[data.size() - 1] != '\0') return false;
  text.clear();
  for (size_t i = 0; i + 2 < data.size(); i += 2) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (data[i + 1] != '\0' || c == 0 || c >= 0x80 || c == '\r' || c == '\n') return false;
    text.push_back(static_cast<char>(c));
  }
  return true;
}

// Types whose data are text, written as 8-bit text in kAnsi files.
bool IsTextType(uint32_t type) {
  return type == reg_type::kString || type == reg_type::kExpandString ||
         type == reg_type::kMultiString;
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
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
    if (i + 1 == data.size()) break;
    out += ',';
    if (out.size() - line_start > kHexLineLimit) {
      out += "\\\r\n  ";
      line_start = out.size() - 2;
    }
  }
}

// Appends one value line; false when a kAnsi file cannot carry its text.
bool AppendValue(std::string& out, const platform::RegistryValue& v, RegFileFormat format) {
  const size_t line_start = out.size();
  out += v.name.empty() ? "@" : Quoted(v.name);
  out += '=';
  std::string ascii;
  if (v.type == reg_type::kString && AsciiPlainString(v.data, ascii)) {
    out += Quoted(ascii);
  } else if (v.type == reg_type::kString && IsPlainString(v.data)) {
    out += Quoted(platform::Utf16LeToUtf8(v.data));
  } else if (v.type == reg_type::kDword && v.data.size() == 4) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      bits |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "dword:%08x", bits);
    out += buf;
  } else if (format == RegFileFormat::kAnsi && IsTextType(v.type) && v.data.size() % 2 == 0) {
    std::string bytes;
    if (!platform::Utf16LeToWindows1252(v.data, bytes)) return false;
    AppendHex(out, line_start, v.type, bytes);
  } else {
    AppendHex(out, line_start, v.type, v.data);
  }
  out += "\r\n";
  return true;
}

// ---------------------------------------------------------------------------
// Reading

// The file's text as UTF-8, and its format's encoding.
struct Decoded {
  std::string text;
  bool wide = false;
};

Decoded Decode(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return {platform::Utf16LeTextToUtf8(bytes.substr(2)), true};
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return {std::string(bytes.substr(3)), false};
  }
  return {platform::ScriptTextToUtf8(bytes), false};
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// A problem found on a line.
struct LineError {
  std::string what;
};

// A text for a message, in quotes: a long one shortened to its start and
// its length.
std::string Shown(std::string_view text) {
  constexpr size_t kLongest = 60;
  if (text.size() <= kLongest) return "\"" + std::string(text) + "\"";
  size_t cut = 40;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return "\"" + std::string(text.substr(0, cut)) + "...\" (" + std::to_string(text.size()) +
         " bytes)";
}

// "[ROOT\PATH]" text without its brackets (and "-") as a key.
platform::RegistryKey ParseKey(std::string_view text) {
  static const struct {
    const char* short_name;
    platform::RegistryRoot root;
  } kRoots[] = {{"HKLM", platform::RegistryRoot::kLocalMachine},
                {"HKCU", platform::RegistryRoot::kCurrentUser},
                {"HKCR", platform::RegistryRoot::kClassesRoot},
                {"HKU", platform::RegistryRoot::kUsers},
                {"HKCC", platform::RegistryRoot::kCurrentConfig}};
  const size_t slash = text.find('\\');
  const std::string_view root = text.substr(0, slash);
  std::string path =
      slash == std::string_view::npos ? std::string() : std::string(text.substr(slash + 1));
  for (const auto& r : kRoots) {
    if (!IEquals(root, r.short_name) && !IEquals(root, platform::RootName(r.root))) continue;
    std::vector<std::string> names;
    if (!platform::SplitKeyPath(path, names)) {
      throw LineError{"an empty key name in " + Shown(text)};
    }
    while (!path.empty() && path.back() == '\\') path.pop_back();
    for (const std::string& name : names) {
      if (const std::string problem = platform::KeyNameProblem(name); !problem.empty()) {
        throw LineError{"key name " + Shown(name) + ": " + problem};
      }
    }
    return {r.root, path};
  }
  throw LineError{Shown(root) +
                  " is none of the five roots (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "
                  "HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_CONFIG)"};
}

// A quoted text at the start of `s` (which begins with '"'), without its
// quotes and escapes; `s` is left after the closing quote.
std::string ParseQuoted(std::string_view& s) {
  std::string out;
  size_t i = 1;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') break;
    if (c == '\\') {
      if (i + 1 >= s.size()) break;
      const char next = s[++i];
      if (next != '\\' && next != '"') {
        throw LineError{std::string("\"\\") + next +
                        "\" is no escape: a backslash is written \"\\\\\", a quote \"\\\"\""};
      }
      out.push_back(next);
    } else {
      out.push_back(c);
    }
  }
  if (i >= s.size()) throw LineError{"a quoted text without its closing quote"};
  s.remove_prefix(i + 1);
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to `max_digits` hexadecimal digits, the whole of `s`.
std::optional<uint32_t> ParseHexNumber(std::string_view s, size_t max_digits) {
  if (s.empty() || s.size() > max_digits) return std::nullopt;
  uint32_t v = 0;
  for (const char c : s) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  return v;
}

// Comma-separated byte pairs (blanks allowed around them; a comma may end
// the list).
std::string ParseHexBytes(std::string_view s) {
  std::string out;
  s = TrimBlanks(s);
  while (!s.empty()) {
    const size_t comma = s.find(',');
    const std::string_view item = TrimBlanks(s.substr(0, comma));
    const auto byte = ParseHexNumber(item, 2);
    if (!byte) {
      throw LineError{Shown(item) +
                      " is not a byte in hexadecimal (two digits, pairs separated by commas)"};
    }
    out.push_back(static_cast<char>(*byte));
    if (comma == std::string_view::npos) break;
    s = TrimBlanks(s.substr(comma + 1));
  }
  return out;
}

// The data after "=" as a change of `value` (kind and data).
void ParseData(std::string_view data, bool ansi, RegistryChange& change) {
  platform::RegistryValue& value = change.value;
  if (data == "-") {
    change.kind = RegistryChange::Kind::kDeleteValue;
    return;
  }
  change.kind = RegistryChange::Kind::kSetValue;
  if (!data.empty() && data.front() == '"') {
    const std::string text = ParseQuoted(data);
    if (!TrimBlanks(data).empty()) {
      throw LineError{Shown(TrimBlanks(data)) + " after the closing quote"};
    }
    value.type = reg_type::kString;
    value.data = platform::RegistryStringBytes(text);
    return;
  }
  const size_t colon = data.find(':');
  if (colon == std::string_view::npos) {
    throw LineError{Shown(data) + " is no value: a quoted text, dword:, hex:, hex(T): or -"};
  }
  const std::string prefix = AsciiLowerCopy(TrimBlanks(data.substr(0, colon)));
  const std::string_view rest = TrimBlanks(data.substr(colon + 1));
  if (prefix == "dword") {
    const auto v = ParseHexNumber(rest, 8);
    if (!v) {
      throw LineError{"dword:" + Shown(rest) +
                      " is not a DWORD: 1 to 8 hexadecimal digits are expected"};
    }
    value.type = reg_type::kDword;
    value.data.clear();
    for (size_t i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((*v >> (8 * i)) & 0xFF));
    return;
  }
  if (prefix == "hex") {
    value.type = reg_type::kBinary;
  } else if (prefix.size() > 5 && prefix.compare(0, 4, "hex(") == 0 && prefix.back() == ')') {
    const auto type = ParseHexNumber(std::string_view(prefix).substr(4, prefix.size() - 5), 8);
    if (!type) {
      throw LineError{"unknown type " + Shown(prefix) +
                      ": the type in hex(T) is a hexadecimal number"};
    }
    value.type = *type;
  } else {
    throw LineError{"unknown type " + Shown(prefix + ":") +
                    ": the types are dword:, hex: and hex(T):"};
  }
  value.data = ParseHexBytes(rest);
  // The older format keeps text in the 8-bit code page.
  if (ansi && IsTextType(value.type)) value.data = platform::Windows1252ToUtf16Le(value.data);
}

// Where in `line` (a value line) its "=" lies, and the name before it.
std::string ParseName(std::string_view& line) {
  std::string name;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else {
    name = ParseQuoted(line);
    if (const std::string problem = platform::ValueNameProblem(name); !problem.empty()) {
      throw LineError{"value name " + Shown(name) + ": " + problem};
    }
  }
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '=') throw LineError{"\"=\" is missing after the name"};
  line = TrimBlanks(line.substr(1));
  return name;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  RegFileContents Run() {
    try {
      Header();
      while (NextLine()) Line();
    } catch (const LineError& e) {
      out_.error_line = first_line_;
      out_.error = e.what;
    }
    return std::move(out_);
  }

 private:
  // Reads the next physical line into `line_`; false at the end.
  bool NextPhysical() {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line_ = text_.substr(pos_, end - pos_);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    pos_ = end + 1;
    ++number_;
    return true;
  }

  bool NextLine() {
    if (!NextPhysical()) return false;
    first_line_ = number_;
    return true;
  }

  void Header() {
    if (!NextLine()) {
      first_line_ = 1;
      throw LineError{"an empty file"};
    }
    const std::string_view header = TrimBlanks(line_);
    if (header == kUnicodeHeader) {
      out_.format = RegFileFormat::kUnicode;
    } else if (header == kAnsiHeader) {
      out_.format = RegFileFormat::kAnsi;
    } else {
      throw LineError{"not a registry file: the first line is \"" + std::string(kUnicodeHeader) +
                      "\" or \"" + std::string(kAnsiHeader) + "\""};
    }
  }

  void Add(RegistryChange change) { out_.entries.push_back({std::move(change), first_line_}); }

  void Line() {
    std::string_view line = TrimBlanks(line_);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
      if (line.back() != ']') throw LineError{"a key line ends in \"]\""};
      std::string_view path = line.substr(1, line.size() - 2);
      const bool remove = !path.empty() && path.front() == '-';
      if (remove) path.remove_prefix(1);
      RegistryChange change;
      change.key = ParseKey(TrimBlanks(path));
      if (remove && change.key.path.empty()) throw LineError{"a root key cannot be removed"};
      change.kind = remove ? RegistryChange::Kind::kDeleteKey : RegistryChange::Kind::kCreateKey;
      key_ = change.key;
      have_key_ = true;
      key_removed_ = remove;
      Add(std::move(change));
      return;
    }
    if (line.front() != '"' && line.front() != '@') {
      throw LineError{Shown(line) +
                      " is none of a key line ([...]), a value line (\"NAME\"=... or @=...) "
                      "and a comment (;...)"};
    }
    if (!have_key_) throw LineError{"a value before the first key line"};
    if (key_removed_) throw LineError{"a value under a key line that removes the key"};
    RegistryChange change;
    change.key = key_;
    change.value.name = ParseName(line);
    std::string data(line);
    // Hexadecimal data go on over lines that end in "\".
    if (AsciiLowerCopy(data.substr(0, 3)) == "hex") {
      while (!data.empty() && data.back() == '\\') {
        data.pop_back();
        if (!NextPhysical()) throw LineError{"the file ends after a line that goes on"};
        data += TrimBlanks(line_);
      }
    }
    ParseData(data, out_.format == RegFileFormat::kAnsi, change);
    Add(std::move(change));
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
  size_t first_line_ = 0;
  std::string_view line_;
  platform::RegistryKey key_;
  bool have_key_ = false;
  bool key_removed_ = false;
  RegFileContents out_;
};

}  // namespace

std::string RegFileHeader(RegFileFormat format) {
  return std::string(format == RegFileFormat::kAnsi ? kAnsiHeader : kUnicodeHeader) + "\r\n\r\n";
}

bool AppendRegFileKey(std::string& out, std::string_view path,
                      const std::vector<platform::RegistryValue>& values, RegFileFormat format,
                      std::string& problem) {
  out += '[';
  out += path;
  out += "]\r\n";
  for (const auto& v : values) {
    if (!AppendValue(out, v, format)) {
      problem = "the value \"" + v.name + "\" of " + std::string(path) +
                " holds text that the 8-bit format cannot carry";
      return false;
    }
  }
  out += "\r\n";
  return true;
}

bool RegFileText(const std::vector<RegFileKey>& keys, RegFileFormat format, std::string& out,
                 std::string& problem) {
  out = RegFileHeader(format);
  for (const RegFileKey& key : keys) {
    if (!AppendRegFileKey(out, key.path, key.values, format, problem)) return false;
  }
  return true;
}

std::string RegFileText(const std::vector<RegFileKey>& keys, RegFileFormat format) {
  std::string out;
  std::string problem;
  RegFileText(keys, format, out, problem);
  return out;
}

std::string_view RegFileMark(RegFileFormat format) {
  return format == RegFileFormat::kUnicode ? std::string_view("\xFF\xFE", 2) : std::string_view();
}

bool AppendRegFileBytes(std::string_view text, RegFileFormat format, std::string& out) {
  // ASCII text reads the same as UTF-8 and as 8-bit text: each character
  // is one byte, or two in UTF-16LE.
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    if (format == RegFileFormat::kAnsi) {
      out += text;
      return true;
    }
    const size_t start = out.size();
    out.resize(start + 2 * text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      out[start + 2 * i] = text[i];
      out[start + 2 * i + 1] = '\0';
    }
    return true;
  }
  std::string wide = platform::RegistryStringBytes(text);
  wide.resize(wide.size() - 2);  // no terminating NUL in a file
  if (format == RegFileFormat::kUnicode) {
    out += wide;
    return true;
  }
  std::string bytes;
  if (!platform::Utf16LeToWindows1252(wide, bytes)) return false;
  out += bytes;
  return true;
}

std::string RegFileBytes(std::string_view text) {
  std::string bytes(RegFileMark(RegFileFormat::kUnicode));
  AppendRegFileBytes(text, RegFileFormat::kUnicode, bytes);
  return bytes;
}

bool RegFileBytes(std::string_view text, RegFileFormat format, std::string& out) {
  out = RegFileMark(format);
  return AppendRegFileBytes(text, format, out);
}

RegFileContents ParseRegFile(std::string_view bytes) {
  const Decoded decoded = Decode(bytes);
  RegFileContents contents = Parser(decoded.text).Run();
  if (contents.ok() && decoded.wide && contents.format == RegFileFormat::kAnsi) {
    contents.error_line = 1;
    contents.error = "a REGEDIT4 file is 8-bit text, not UTF-16";
  }
  return contents;
}

}  // namespace pelvar::app
