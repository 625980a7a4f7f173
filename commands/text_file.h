// The text file model of the text commands: a whole file as lines (ended by
// CR LF, LF or CR; a final line break adds no empty line), written back with
// CR LF after every line. Text is 8-bit, unconverted.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace pelvar::commands {

using TextLines = std::vector<std::string>;

// Reads a file as lines. Raises "Cannot open file \"%s\". %s" when it exists
// but cannot be read; a missing file raises the same error.
TextLines ReadTextFile(platform::FileSystem& files, std::string_view path);

// Writes lines, each followed by CR LF, replacing the file atomically and
// durably. Raises "Cannot create file \"%s\". %s".
void WriteTextFile(platform::FileSystem& files, std::string_view path, const TextLines& lines);

// Edits one line: appends what the line becomes to `out` (without a line
// end) and returns true to keep it, false to drop it.
using LineEdit = std::function<bool(std::string_view line, std::string& out)>;

// Rewrites a file line by line, streaming, with the model's rules: lines are
// read as ReadTextFile reads them and every kept line is written followed by
// CR LF, atomically; the memory used is bounded by the longest line. The
// file stays locked from the read to the replacement, so no other writer's
// change in between is lost. Raises the errors of ReadTextFile and
// WriteTextFile; on an error the file is left as it was.
void EditTextFileLines(platform::FileSystem& files, std::string_view path, const LineEdit& edit);

// The line-adding edit of txtaddline: `option` ("append", "prepend", "place",
// compared lower-cased) and `number` (the field as written; empty counts as
// "0"). Raises "'%s' is not a valid integer value" for "place" with a number
// that is not integer text, and "List index out of bounds (%d)" for a
// position outside the lines.
void AddLine(TextLines& lines, const std::string& text, std::string_view option,
             std::string_view number);

// txtaddline on a file: the edit of AddLine, streamed through the file with
// the rules of EditTextFileLines (the file is written back in any case).
// Raises the errors of AddLine before anything is replaced.
void AddTextLine(platform::FileSystem& files, std::string_view path, const std::string& text,
                 std::string_view option, std::string_view number);

}  // namespace pelvar::commands
