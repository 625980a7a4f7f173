// The text file model of the text commands: a whole file as lines (ended by
// CR LF, LF or CR; a final line break adds no empty line), written back with
// CR LF after every line. Text is 8-bit, unconverted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar::commands {

using TextLines = std::vector<std::string>;

// Reads a file as lines. Raises "Cannot open file \"%s\". %s" when it exists
// but cannot be read; a missing file raises the same error.
TextLines ReadTextFile(std::string_view path);

// Writes lines, each followed by CR LF, replacing the file atomically.
// Raises "Cannot create file \"%s\". %s".
void WriteTextFile(std::string_view path, const TextLines& lines);

// The line-adding edit of txtaddline: `option` ("append", "prepend", "place",
// compared lower-cased) and `number` (the field as written; empty counts as
// "0"). Raises "'%s' is not a valid integer value" for "place" with a number
// that is not integer text, and "List index out of bounds (%d)" for a
// position outside the lines.
void AddLine(TextLines& lines, const std::string& text, std::string_view option,
             std::string_view number);

}  // namespace pelvar::commands
