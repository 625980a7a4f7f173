#include "commands/text_file.h"

#include <cstring>
#include <memory>
#include <optional>

#include "engine/integer_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::commands {

namespace {

[[noreturn]] void ThrowCannotOpen(std::string_view path, std::error_code ec) {
  throw ScriptError("Cannot open file \"" + std::string(path) + "\". " +
                    platform::SystemMessage(ec));
}

std::string ReadContent(platform::FileSystem& files, std::string_view path) {
  std::string content;
  if (const std::error_code ec = files.ReadAll(path, content)) ThrowCannotOpen(path, ec);
  return content;
}

// Begins the replacement of `path`. A file that cannot be read raises as a
// read would, one that cannot be replaced as a write would.
std::unique_ptr<platform::FileWriter> BeginReplace(platform::FileSystem& files,
                                                   std::string_view path, bool must_exist) {
  std::unique_ptr<platform::FileWriter> writer;
  if (const std::error_code ec = files.OpenReplace(path, platform::Durability::kRewrite, writer)) {
    if (must_exist) {
      std::unique_ptr<platform::FileReader> reader;
      if (const std::error_code read_ec = files.OpenRead(path, reader)) {
        ThrowCannotOpen(path, read_ec);
      }
    }
    ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  }
  if (must_exist && writer->old() == nullptr) {
    ThrowCannotOpen(path, std::make_error_code(std::errc::no_such_file_or_directory));
  }
  return writer;
}

void Finish(platform::FileWriter& writer, std::string_view path) {
  if (const std::error_code ec = writer.Commit()) {
    ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  }
}

// Splits streamed text into lines as SplitTextLines splits a whole text: a
// line ends at CR LF, LF or CR; a final line break adds no empty line.
class LineSplitter {
 public:
  // Feeds the next piece; calls `on_line` for every line it completes.
  template <typename OnLine>
  void Feed(std::string_view piece, OnLine on_line) {
    if (pending_cr_ && !piece.empty()) {
      pending_cr_ = false;
      if (piece.front() == '\n') piece.remove_prefix(1);
    }
    while (!piece.empty()) {
      const char* p = piece.data();
      const void* lf = std::memchr(p, '\n', piece.size());
      const size_t lf_at =
          lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) : piece.size();
      const void* cr = std::memchr(p, '\r', lf_at);
      const size_t stop = cr ? static_cast<size_t>(static_cast<const char*>(cr) - p) : lf_at;
      if (stop == piece.size()) {
        carry_.append(piece);
        return;
      }
      if (carry_.empty()) {
        on_line(piece.substr(0, stop));
      } else {
        carry_.append(piece.substr(0, stop));
        on_line(std::string_view(carry_));
        carry_.clear();
      }
      size_t next = stop + 1;
      if (piece[stop] == '\r') {
        if (next < piece.size()) {
          if (piece[next] == '\n') ++next;
        } else {
          pending_cr_ = true;
        }
      }
      piece.remove_prefix(next);
    }
  }
  // The last line when the text does not end with a line break.
  template <typename OnLine>
  void Finish(OnLine on_line) {
    if (!carry_.empty()) on_line(std::string_view(carry_));
    carry_.clear();
  }

 private:
  std::string carry_;
  bool pending_cr_ = false;
};

}  // namespace

TextLines ReadTextFile(platform::FileSystem& files, std::string_view path) {
  return SplitTextLines(ReadContent(files, path), /*stop_at_nul=*/false);
}

void WriteTextFile(platform::FileSystem& files, std::string_view path, const TextLines& lines) {
  const std::unique_ptr<platform::FileWriter> writer = BeginReplace(files, path, false);
  for (const auto& line : lines) {
    writer->Write(line);
    writer->Write("\r\n");
  }
  Finish(*writer, path);
}

namespace {

// Calls `on_line` for every line of the old content, read piece by piece.
template <typename OnLine>
void StreamLines(platform::FileReader& old, std::string_view path, OnLine on_line) {
  constexpr size_t kPiece = size_t{1} << 20;
  LineSplitter splitter;
  std::string buffer(kPiece, '\0');
  uint64_t offset = 0;
  for (;;) {
    size_t got = 0;
    if (const std::error_code ec = old.ReadAt(offset, buffer.data(), buffer.size(), got)) {
      ThrowCannotOpen(path, ec);
    }
    if (got == 0) break;
    offset += got;
    splitter.Feed(std::string_view(buffer.data(), got), on_line);
  }
  splitter.Finish(on_line);
}

// Collects output text and hands it to the writer in large pieces.
class OutputBuffer {
 public:
  explicit OutputBuffer(platform::FileWriter& writer) : writer_(writer) {
    out_.reserve(kChunk + (kChunk >> 2));
  }
  std::string& text() { return out_; }
  void Spill() {
    if (out_.size() >= kChunk) {
      writer_.Write(out_);
      out_.clear();
    }
  }
  void Flush() {
    writer_.Write(out_);
    out_.clear();
  }

 private:
  static constexpr size_t kChunk = size_t{1} << 20;
  platform::FileWriter& writer_;
  std::string out_;
};

}  // namespace

void EditTextFileLines(platform::FileSystem& files, std::string_view path, const LineEdit& edit) {
  const std::unique_ptr<platform::FileWriter> writer = BeginReplace(files, path, true);
  OutputBuffer out(*writer);
  StreamLines(*writer->old(), path, [&](std::string_view line) {
    std::string& text = out.text();
    const size_t mark = text.size();
    if (edit(line, text)) {
      text.append("\r\n");
    } else {
      text.resize(mark);
    }
    out.Spill();
  });
  out.Flush();
  Finish(*writer, path);
}

void AddTextLine(platform::FileSystem& files, std::string_view path, const std::string& text,
                 std::string_view option, std::string_view number) {
  const std::unique_ptr<platform::FileWriter> writer = BeginReplace(files, path, true);
  platform::FileReader& old = *writer->old();
  const std::string opt = AsciiLowerCopy(option);
  const std::string_view n_text = number.empty() ? std::string_view("0") : number;
  // The position of the new line; kAtEnd after the last; none: no new line.
  constexpr long long kAtEnd = -1;
  std::optional<long long> index;
  if (opt == "prepend") {
    index = 0;
  } else if (opt == "place") {
    const auto n = ParseIntegerText(n_text);
    if (!n) throw ScriptError("'" + std::string(n_text) + "' is not a valid integer value");
    if (*n < 0) ThrowIndexError(*n);
    index = *n;
  } else if (opt == "append") {
    if (const auto n = ParseIntegerText(n_text)) {
      if (*n < 1) {
        index = kAtEnd;
      } else {
        long long count = 0;
        StreamLines(old, path, [&count](std::string_view) { ++count; });
        index = count - *n;
        if (*index < 0) ThrowIndexError(*index);
      }
    }
  }
  OutputBuffer out(*writer);
  long long line_no = 0;
  StreamLines(old, path, [&](std::string_view line) {
    std::string& t = out.text();
    if (index && *index == line_no) t.append(text).append("\r\n");
    t.append(line).append("\r\n");
    ++line_no;
    out.Spill();
  });
  if (index && (*index == kAtEnd || *index == line_no)) {
    out.text().append(text).append("\r\n");
  } else if (index && *index > line_no) {
    ThrowIndexError(*index);
  }
  out.Flush();
  Finish(*writer, path);
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
