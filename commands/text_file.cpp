#include "commands/text_file.h"

#include "engine/integer_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::commands {

TextLines ReadTextFile(std::string_view path) {
  std::string content;
  if (const std::error_code ec = platform::ReadWholeFile(path, content)) {
    throw ScriptError("Cannot open file \"" + std::string(path) + "\". " +
                      platform::SystemMessage(ec));
  }
  return SplitTextLines(content, /*stop_at_nul=*/false);
}

void WriteTextFile(std::string_view path, const TextLines& lines) {
  platform::AtomicFileWriter writer;
  std::error_code ec = writer.Open(platform::HostPath(path));
  if (!ec) {
    for (const auto& line : lines) {
      writer.Write(line);
      writer.Write("\r\n");
    }
    ec = writer.Commit();
  }
  if (ec) ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
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
