// What one script line means, field by field: the syntax of the 38 commands
// (their arguments by position) and the findings that the line editor shows
// while the user types (a missing field, a number that will not convert,
// text that the script file cannot hold as a command line).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar::app {

struct CommandSyntax {
  std::string_view name;
  // Names of the arguments, fields 2, 3, ... in order.
  std::vector<std::string_view> arguments;
  // How many arguments must be present; the others may be left out.
  size_t required = 0;
  std::string_view summary;
};

// The 38 commands in search-chain order.
const std::vector<CommandSyntax>& CommandSyntaxTable();
// The command of that name (ignoring the case of A-Z); nullptr when none.
const CommandSyntax* FindCommandSyntax(std::string_view name);

enum class FindingLevel { kWarning, kNote };

struct LineFinding {
  FindingLevel level = FindingLevel::kWarning;
  std::string text;
};

struct LineField {
  std::string value;    // the field as split, quotes removed
  std::string meaning;  // what the field is for the named command
};

struct LineReading {
  const CommandSyntax* command = nullptr;  // nullptr: not a command name
  std::vector<LineField> fields;
  std::vector<LineFinding> findings;
  // False when the script cannot hold the text as a command line (saving
  // would turn it into a section header).
  bool storable = true;
};

// Reads a line as the run would split it, with its findings.
LineReading ReadScriptLine(std::string_view line);

// The findings for one line of the process section: what the line editor
// warns about. Other checks of a line belong here, so every view of a line
// shows them.
std::vector<LineFinding> LineFindings(std::string_view line);

}  // namespace pelvar::app
