#include "platform/registry_text.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <memory>

namespace pelvar::platform {

namespace {

// UTF-16 code units of a script text.
std::u16string ScriptTextToUtf16(std::string_view text) {
  std::u16string out;
  if (text.empty()) return out;
  out.resize(text.size());
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_SUCCESS(status)) {
    out.resize(static_cast<size_t>(length));
    return out;
  }
  // Not UTF-8: the 8-bit code page of Windows scripts.
  status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> conv(ucnv_open("windows-1252", &status),
                                                          ucnv_close);
  if (U_FAILURE(status)) {
    // Latin-1 as the last resort: every byte is its own code point.
    out.assign(text.begin(), text.end());
    for (size_t i = 0; i < text.size(); ++i) {
      out[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    return out;
  }
  out.resize(text.size() * 2);
  length = ucnv_toUChars(conv.get(), reinterpret_cast<UChar*>(out.data()),
                         static_cast<int32_t>(out.size()), text.data(),
                         static_cast<int32_t>(text.size()), &status);
  out.resize(U_SUCCESS(status) ? static_cast<size_t>(length) : 0);
  return out;
}

std::string Utf16ToUtf8(const char16_t* units, size_t count) {
  std::string out;
  out.reserve(count * 3);
  size_t i = 0;
  while (i < count) {
    UChar32 c;
    U16_NEXT(units, i, count, c);
    if (U_IS_SURROGATE(c)) c = 0xFFFD;
    char buf[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(buf, n, c);
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
  const auto length = static_cast<int32_t>(utf8.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) c = 0xFFFD;
    if (U_IS_BMP(c)) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  }
  return out;
}

}  // namespace

std::string ScriptTextToUtf8(std::string_view text) {
  const std::u16string wide = ScriptTextToUtf16(text);
  return Utf16ToUtf8(wide.data(), wide.size());
}

std::string RegistryStringBytes(std::string_view script_text) {
  const std::u16string wide = ScriptTextToUtf16(script_text);
  std::string out;
  out.reserve(wide.size() * 2 + 2);
  for (const char16_t unit : wide) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  out.append(2, '\0');
  return out;
}

std::string TextToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string_view::npos ? text.size() : end + 1;
    for (const char16_t unit : ScriptTextToUtf16(text.substr(pos, end - pos))) {
      out.push_back(static_cast<char>(unit & 0xFF));
      out.push_back(static_cast<char>(unit >> 8));
    }
    pos = end;
  }
  return out;
}

std::string Utf16LeTextToUtf8(std::string_view bytes) {
  std::u16string wide(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return Utf16ToUtf8(wide.data(), wide.size());
}

bool Utf16LeToWindows1252(std::string_view bytes, std::string& out) {
  out.clear();
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> conv(ucnv_open("windows-1252", &status),
                                                          ucnv_close);
  if (U_FAILURE(status)) return false;
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  out.resize(units.size() + 1);
  const int32_t length = ucnv_fromUChars(conv.get(), out.data(), static_cast<int32_t>(out.size()),
                                         reinterpret_cast<const UChar*>(units.data()),
                                         static_cast<int32_t>(units.size()), &status);
  if (U_FAILURE(status) || static_cast<size_t>(length) != units.size()) return false;
  out.resize(static_cast<size_t>(length));
  // Code points the code page leaves unassigned come back as "?".
  std::string back = Windows1252ToUtf16Le(out);
  return back == bytes.substr(0, units.size() * 2);
}

std::string Windows1252ToUtf16Le(std::string_view bytes) {
  std::u16string units;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> conv(ucnv_open("windows-1252", &status),
                                                          ucnv_close);
  if (U_SUCCESS(status) && !bytes.empty()) {
    units.resize(bytes.size() * 2);
    const int32_t length = ucnv_toUChars(conv.get(), reinterpret_cast<UChar*>(units.data()),
                                         static_cast<int32_t>(units.size()), bytes.data(),
                                         static_cast<int32_t>(bytes.size()), &status);
    units.resize(U_SUCCESS(status) ? static_cast<size_t>(length) : 0);
  }
  std::string out;
  out.reserve(units.size() * 2);
  for (const char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string wide;
  wide.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    wide.push_back(unit);
  }
  return Utf16ToUtf8(wide.data(), wide.size());
}

std::u16string NameFoldKey(std::string_view utf8) {
  std::u16string units = Utf8ToUtf16(utf8);
  // The system upper-cases code unit by code unit; surrogates stay as they are.
  for (char16_t& unit : units) {
    if (!U16_IS_SURROGATE(unit)) unit = static_cast<char16_t>(u_toupper(unit));
  }
  return units;
}

std::string NameFoldText(std::string_view utf8) {
  const std::u16string key = NameFoldKey(utf8);
  return Utf16ToUtf8(key.data(), key.size());
}

bool NamesEqual(std::string_view a, std::string_view b) {
  return a == b || NameFoldKey(a) == NameFoldKey(b);
}

size_t Utf16Length(std::string_view utf8) {
  return Utf8ToUtf16(utf8).size();
}

std::string KeyNameProblem(std::string_view utf8) {
  if (utf8.empty()) return "a key name cannot be empty";
  if (utf8.find('\\') != std::string_view::npos) return "a key name cannot hold \"\\\"";
  if (Utf16Length(utf8) > kMaxKeyNameLength)
    return "a key name cannot be longer than 255 characters";
  return {};
}

std::string ValueNameProblem(std::string_view utf8) {
  if (Utf16Length(utf8) > kMaxValueNameLength) {
    return "a value name cannot be longer than 16383 characters";
  }
  return {};
}

bool SplitKeyPath(std::string_view script_path, std::vector<std::string>& names) {
  names.clear();
  if (script_path.empty()) return true;
  // The whole path is decoded at once, so that all its names are read alike.
  const std::string utf8 = ScriptTextToUtf8(script_path);
  std::string_view path = utf8;
  if (path.size() > 1 && path.back() == '\\') path.remove_suffix(1);  // "Software\\"
  size_t pos = 0;
  for (;;) {
    const size_t next = path.find('\\', pos);
    const std::string_view name =
        path.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos);
    if (name.empty()) return false;
    names.emplace_back(name);
    if (next == std::string_view::npos) return true;
    pos = next + 1;
  }
}

}  // namespace pelvar::platform
