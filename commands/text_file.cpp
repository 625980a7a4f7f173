#include "commands/text_file.h"

#include <cstring>

#include "engine/integer_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/registry_text.h"

namespace pelvar::commands {

namespace {

constexpr std::string_view kUtf16LeMark("\xFF\xFE", 2);

// The text of a file: its bytes, or for a file that begins with the UTF-16LE
// byte order mark, its text as UTF-8 (`utf16` tells which).
std::string ReadContent(std::string_view path, bool* utf16 = nullptr) {
  std::string content;
  if (const std::error_code ec = platform::ReadWholeFile(path, content)) {
    throw ScriptError("Cannot open file \"" + std::string(path) + "\". " +
                      platform::SystemMessage(ec));
  }
  const bool wide = std::string_view(content).substr(0, 2) == kUtf16LeMark;
  if (utf16 != nullptr) *utf16 = wide;
  if (wide) content = platform::Utf16LeTextToUtf8(std::string_view(content).substr(2));
  return content;
}

// Whether the file at `path` is UTF-16LE text (begins with the mark).
bool IsUtf16File(std::string_view path) {
  platform::InputFile file;
  if (file.Open(path)) return false;
  char mark[2];
  size_t got = 0;
  return !file.ReadAt(0, mark, 2, got) && got == 2 && std::string_view(mark, 2) == kUtf16LeMark;
}

// Collects the text of a UTF-16 file, which is converted when complete.
struct TextCollector {
  void Write(std::string_view piece) { text.append(piece); }
  std::string text;
};

// Writes through `fill`, which hands the writer its text piece by piece; as
// UTF-16LE with the mark when `utf16`.
template <typename Fill>
void WriteContent(std::string_view path, bool utf16, Fill fill) {
  platform::AtomicFileWriter writer;
  std::error_code ec = writer.Open(platform::HostPath(path));
  if (!ec) {
    if (utf16) {
      TextCollector collector;
      fill(collector);
      writer.Write(kUtf16LeMark);
      writer.Write(platform::TextToUtf16Le(collector.text));
    } else {
      fill(writer);
    }
    ec = writer.Commit();
  }
  if (ec) ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
}

// Calls `on_line` for each line of `text`, split as SplitTextLines splits.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine on_line) {
  const char* p = text.data();
  const char* const end = p + text.size();
  auto next = [end](const char* from, char c) {
    const void* hit = std::memchr(from, c, static_cast<size_t>(end - from));
    return hit != nullptr ? static_cast<const char*>(hit) : end;
  };
  // The next CR and LF at or after p (end when none), each searched once.
  const char* cr = next(p, '\r');
  const char* lf = next(p, '\n');
  while (p < end) {
    if (cr < p) cr = next(p, '\r');
    if (lf < p) lf = next(p, '\n');
    const char* stop = cr < lf ? cr : lf;
    on_line(std::string_view(p, static_cast<size_t>(stop - p)));
    if (stop < end && *stop == '\r' && stop + 1 < end && stop[1] == '\n') ++stop;
    p = stop + 1;
  }
}

}  // namespace

TextLines ReadTextFile(std::string_view path) {
  return SplitTextLines(ReadContent(path), /*stop_at_nul=*/false);
}

void WriteTextFile(std::string_view path, const TextLines& lines) {
  WriteContent(path, IsUtf16File(path), [&lines](auto& writer) {
    for (const auto& line : lines) {
      writer.Write(line);
      writer.Write("\r\n");
    }
  });
}

void EditTextFileLines(std::string_view path, const LineEdit& edit) {
  bool utf16 = false;
  const std::string content = ReadContent(path, &utf16);
  WriteContent(path, utf16, [&](auto& writer) {
    constexpr size_t kChunk = size_t{1} << 20;
    std::string out;
    out.reserve(kChunk + (kChunk >> 2));
    ForEachLine(content, [&](std::string_view line) {
      const size_t mark = out.size();
      if (edit(line, out)) {
        out.append("\r\n");
      } else {
        out.resize(mark);
      }
      if (out.size() >= kChunk) {
        writer.Write(out);
        out.clear();
      }
    });
    writer.Write(out);
  });
}

namespace {

void InsertAt(TextLines& lines, long long index, const std::string& text) {
  if (index < 0 || index > static_cast<long long>(lines.size())) ThrowIndexError(index);
  lines.insert(lines.begin() + index, text);
}

}  // namespace

void AddLine(TextLines& lines, const std::string& text, std::string_view option,
             std::string_view number) {
  const std::string opt = AsciiLowerCopy(option);
  const std::string_view n_text = number.empty() ? std::string_view("0") : number;
  if (opt == "prepend") {
    lines.insert(lines.begin(), text);
  } else if (opt == "place") {
    const auto n = ParseIntegerText(n_text);
    if (!n) throw ScriptError("'" + std::string(n_text) + "' is not a valid integer value");
    InsertAt(lines, *n, text);
  } else if (opt == "append") {
    const auto n = ParseIntegerText(n_text);
    if (!n) return;
    if (*n < 1) {
      lines.push_back(text);
    } else {
      InsertAt(lines, static_cast<long long>(lines.size()) - *n, text);
    }
  }
}

}  // namespace pelvar::commands
