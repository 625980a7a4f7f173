// The command list of the script editor: the lines of a script's process
// section with their icons and run flags, and the write-back that makes the
// section hold exactly the edited list, changing only the lines that differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ini_model.h"

namespace pelvar::platform {
class FileSystem;
}  // namespace pelvar::platform

namespace pelvar::app {

// Image of a line in the command icon list (1 to 15), chosen by its first
// five characters lower-cased; 0 when no prefix matches.
int CommandImage(std::string_view line);

// What the run flag of a line shows: the character after the first comma.
enum class FlagMark {
  kNone,   // no comma: the line has no flag
  kOff,    // "0", or a character that is not a digit, or nothing
  kOn,     // "1"
  kOther,  // another digit
};
FlagMark LineFlagMark(std::string_view line);

// The line with its flag switched: kOff becomes "1", kOn becomes "0" (the
// character after the first comma is replaced, or "1" is appended after a
// final comma). nullopt for kNone and kOther, which a click leaves alone.
std::optional<std::string> ToggleLineFlag(std::string_view line);

// The lines with those at `rows` (ascending, each below lines.size()) taken
// out and put back, in their order, in front of the line that stood at `at`
// (lines.size(): at the end). `first` gets the new index of the first line
// moved.
std::vector<std::string> MoveLines(const std::vector<std::string>& lines,
                                   const std::vector<size_t>& rows, size_t at, size_t* first);

// The lines the editor lists: every non-empty line of every process section,
// in file order, as the model stores them. Lines after one that ends with
// "]" are listed too, so that the write-back keeps them.
std::vector<std::string> ListCommandLines(const IniModel& script);

// What became of a write-back.
enum class WriteOutcome {
  kWritten,
  kChanged,  // the script is no longer the version read: nothing was written
};

// Writes the list back over the version of the script whose fingerprint is
// `expected`, in place: the process sections (all of them, one after another)
// come to hold the lines of the list, and only the lines that differ change
// (a toggled, edited, added or deleted command is that one line); every other
// byte of the script, comments included, stays. `written`, when given, gets
// the script as it now is: its fingerprint, and its command lines as
// ListCommandLines would list them, with their numbers in the file, and its
// bytes (for undo). The script is locked while it
// is read and replaced, so a version written by another program in between is
// never overwritten; the replacement is atomic and durable. Raises "Cannot
// create file ..." when the script cannot be written (it is then left as it
// was), and an error naming the reason when its bytes cannot be kept (a NUL
// byte).
struct WrittenScript {
  size_t fingerprint = 0;
  std::vector<std::string> lines;
  std::vector<uint32_t> numbers;
  std::string bytes;
};
WriteOutcome WriteCommandLines(platform::FileSystem& files, std::string_view script,
                               const std::vector<std::string>& lines,
                               std::optional<size_t> expected, WrittenScript* written = nullptr);

// A fingerprint of a file's bytes, to see whether it changed since it was
// read; nullopt when the file cannot be read.
std::optional<size_t> FileFingerprint(std::string_view path);
size_t BytesFingerprint(std::string_view bytes);

// A script as the editor reads it: the model, and the very bytes it was
// parsed from with their fingerprint. A missing file gives an empty model and no
// fingerprint; a file that cannot be read raises "Cannot open file ...".
struct EditedScript {
  IniModel model;
  std::optional<size_t> fingerprint;
  std::string bytes;
};
EditedScript ReadEditedScript(std::string_view path);

}  // namespace pelvar::app
