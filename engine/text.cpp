#include "engine/text.h"

#include <algorithm>

namespace pelvar {

std::string AsciiLowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

size_t IFind(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty() || text.size() < needle.size()) return std::string_view::npos;
  const char first_lower = AsciiLower(needle[0]);
  const char first_upper = AsciiUpper(needle[0]);
  const size_t last = text.size() - needle.size();
  for (size_t i = from; i <= last; ++i) {
    const char c = text[i];
    if (c != first_lower && c != first_upper) continue;
    size_t k = 1;
    while (k < needle.size() && AsciiLower(text[i + k]) == AsciiLower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

std::string IReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  size_t pos = IFind(text, from);
  if (pos == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + to.size());
  size_t start = 0;
  while (pos != std::string_view::npos) {
    out.append(text.substr(start, pos - start));
    out.append(to);
    start = pos + from.size();
    pos = IFind(text, from, start);
  }
  out.append(text.substr(start));
  return out;
}

std::string_view TrimControl(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return text.substr(b, e - b);
}

namespace {

// Everything before the last of `delimiters`; a separator that follows a
// root ("/", "C:", another separator) is kept.
std::string FolderBefore(std::string_view path, const char* delimiters) {
  const size_t i = path.find_last_of(delimiters);
  if (i == std::string_view::npos) return {};
  auto is_delim = [](char c) { return c == '\\' || c == '/' || c == ':'; };
  if (i > 0 && IsPathSeparator(path[i]) && !is_delim(path[i - 1])) {
    return std::string(path.substr(0, i));
  }
  return std::string(path.substr(0, i + 1));
}

}  // namespace

std::string FolderOfPath(std::string_view path) {
  return FolderBefore(path, "\\/:");
}

std::string FolderOfScriptPath(std::string_view path) {
  return FolderBefore(path, "\\/");
}

std::string FileNameOfPath(std::string_view path) {
  const size_t i = path.find_last_of("\\/:");
  return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string FolderPrefixOfPath(std::string_view path) {
  const size_t i = path.find_last_of("\\/:");
  return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::vector<std::string> SplitTextLines(std::string_view text, bool stop_at_nul) {
  if (stop_at_nul) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
  }
  std::vector<std::string> lines;
  size_t start = 0;
  const size_t n = text.size();
  while (start < n) {
    size_t i = start;
    while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
    lines.emplace_back(text.substr(start, i - start));
    if (i < n && text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& l : lines) {
    out.append(l);
    out.append("\r\n");
  }
  return out;
}

std::string IntToText(long long value) {
  return std::to_string(value);
}

}  // namespace pelvar
