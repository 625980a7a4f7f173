#include "app/script_line_help.h"

#include "engine/integer_text.h"
#include "engine/line_fields.h"
#include "engine/text.h"

namespace pelvar::app {

namespace {

constexpr size_t kFirstArgument = 2;

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

void Warn(LineReading& reading, std::string text) {
  reading.findings.push_back({FindingLevel::kWarning, std::move(text)});
}

void Note(LineReading& reading, std::string text) {
  reading.findings.push_back({FindingLevel::kNote, std::move(text)});
}

// Field `index` when present, else nullptr.
const std::string* FieldAt(const LineReading& reading, size_t index) {
  return index < reading.fields.size() ? &reading.fields[index].value : nullptr;
}

void CheckNumbers(LineReading& reading) {
  const std::string_view name = reading.command->name;
  if (name == "wait") {
    if (const std::string* seconds = FieldAt(reading, 2)) {
      const auto value = ParseIntegerText(*seconds);
      if (!value || *value < 0 || *value > 86400) {
        Warn(reading, "SECONDS " + Quoted(*seconds) +
                          " is not a whole number from 0 to 86400: the line logs a failure "
                          "and does not wait.");
      }
    }
  } else if (name == "regwriteinteger" || name == "regwritedword") {
    if (const std::string* data = FieldAt(reading, 5)) {
      if (!ParseIntegerText(*data)) {
        Warn(reading, "DATA " + Quoted(*data) + " is not integer text: nothing is written.");
      }
    }
  } else if (name == "txtaddline") {
    const std::string* option = FieldAt(reading, 4);
    const std::string* number = FieldAt(reading, 5);
    if (option != nullptr && number != nullptr && !number->empty() &&
        AsciiLowerCopy(*option) == "place" && !ParseIntegerText(*number)) {
      Warn(reading, "N " + Quoted(*number) + " is not a whole number: the run ends with \"'" +
                        *number + "' is not a valid integer value\".");
    }
  }
}

}  // namespace

const std::vector<CommandSyntax>& CommandSyntaxTable() {
  static const std::vector<CommandSyntax> table = {
      {"filecreateblank", {"FILE"}, 1, "creates an empty file, or empties it"},
      {"filerename", {"FROM", "TO"}, 2, "renames or moves one file"},
      {"filedelete", {"FILE"}, 1, "deletes a file, or the files a mask finds"},
      {"filecopy", {"FROM", "TO"}, 2, "copies a file, or the files a mask finds"},
      {"dircopy", {"FROM", "TO"}, 2, "copies a folder with everything in it"},
      {"dirmove", {"FROM", "TO"}, 2, "moves a folder with everything in it"},
      {"dirdelete", {"DIR"}, 1, "deletes a folder and everything in it"},
      {"dirmake", {"DIR"}, 1, "creates one folder"},
      {"inideletesection", {"FILE", "SECTION"}, 2, "deletes a section of an INI file"},
      {"iniaddsection", {"FILE", "SECTION"}, 2, "appends a section header to an INI file"},
      {"iniwritekey", {"FILE", "SECTION", "KEY", "VALUE"}, 4, "writes key=value into an INI file"},
      {"inideletekey", {"FILE", "SECTION", "KEY"}, 3, "deletes a key of an INI file"},
      {"iniwritetextline",
       {"FILE", "SECTION", "TEXT"},
       3,
       "inserts a text line into a section (header matched exactly)"},
      {"regwriteexpandstring",
       {"ROOT", "KEY PATH", "VALUE NAME", "DATA"},
       4,
       "writes an expandable string value"},
      {"regwritestring", {"ROOT", "KEY PATH", "VALUE NAME", "DATA"}, 4, "writes a string value"},
      {"regwriteinteger",
       {"ROOT", "KEY PATH", "VALUE NAME", "DATA"},
       4,
       "writes a DWORD value from integer text"},
      {"regwritedword",
       {"ROOT", "KEY PATH", "VALUE NAME", "DATA"},
       4,
       "writes a DWORD value into an existing key"},
      {"regwritebinary",
       {"ROOT", "KEY PATH", "VALUE NAME", "DATA"},
       4,
       "writes a binary value from hexadecimal byte pairs"},
      {"regwritebool",
       {"ROOT", "KEY PATH", "VALUE NAME", "DATA"},
       4,
       "writes 1 for \"true\", else 0, as a DWORD value"},
      {"regdeletekey", {"ROOT", "KEY PATH", "SUBKEY"}, 3, "deletes a registry key"},
      {"reghiveload", {"HIVE NAME", "HIVE FILE"}, 2, "loads a hive file below HKEY_LOCAL_MACHINE"},
      {"reghiveunload", {"HIVE NAME"}, 1, "unloads a hive"},
      {"shellexecute",
       {"VERB", "FILE", "PARAMETERS"},
       3,
       "starts a program and waits until it ends"},
      {"shellexecuteex", {"VERB", "FILE", "PARAMETERS"}, 3, "starts a program and goes on"},
      {"beep", {"KIND"}, 1, "plays a sound"},
      {"message", {"TEXT", "KIND"}, 1, "shows a message and waits until it is closed"},
      {"echo", {"TEXT"}, 1, "shows a text as the run's status and logs it"},
      {"wait", {"SECONDS"}, 1, "pauses the run"},
      {"webget", {"URL", "FILE"}, 2, "downloads a file"},
      {"extractfile", {"FOLDER", "FILE", "DEST"}, 3, "extracts an embedded file of this script"},
      {"extractallfiles",
       {"SCRIPT", "FOLDER", "DEST"},
       3,
       "extracts every embedded file of a folder"},
      {"extractallfilesifnotexist",
       {"SCRIPT", "FOLDER", "DEST"},
       3,
       "extracts the embedded files of a folder that are not there yet"},
      {"extractandrun", {"FOLDER", "FILE"}, 2, "extracts an embedded file, runs it and deletes it"},
      {"txtaddline", {"FILE", "TEXT", "OPTION", "N"}, 2, "adds a line to text files"},
      {"txtreplace", {"FILE", "FIND", "REPLACE"}, 3, "replaces text in text files"},
      {"txtdelemptylines", {"FILE"}, 1, "removes the empty lines of text files"},
      {"txtdelline", {"FILE", "START"}, 2, "removes the lines that begin with START"},
      {"txtdelspaces", {"FILE"}, 1, "trims the blanks of every line of text files"},
  };
  return table;
}

const CommandSyntax* FindCommandSyntax(std::string_view name) {
  for (const CommandSyntax& syntax : CommandSyntaxTable()) {
    if (IEquals(syntax.name, name)) return &syntax;
  }
  return nullptr;
}

LineReading ReadScriptLine(std::string_view line) {
  LineReading reading;
  const std::string_view text = Trimmed(line);
  if (text.empty()) {
    Note(reading, "An empty line is not stored.");
    return reading;
  }
  if (text.size() != line.size()) {
    Note(reading, "The blanks at the ends of the line are removed when the script is saved.");
  }
  if (text.front() == ';') {
    Warn(reading, "A line that begins with \";\" is a comment: saving the script drops it.");
  }
  if (text.front() == '[' && text.back() == ']') {
    reading.storable = false;
    Warn(reading,
         "A line in square brackets would start a new section: the script cannot hold it as a "
         "command.");
  } else if (text.front() == '[' || text.back() == ']') {
    Warn(reading,
         "A line that begins with \"[\" or ends with \"]\" ends the process section for "
         "the run: neither it nor the lines after it run. Put such a text in a variable.");
  }

  for (std::string& value : SplitFields(text)) {
    reading.fields.push_back({std::move(value), std::string()});
  }
  if (!reading.fields.empty()) reading.fields[0].meaning = "command";
  if (reading.fields.size() > 1) reading.fields[1].meaning = "run flag (0 skips the line)";
  reading.command = reading.fields.empty() ? nullptr : FindCommandSyntax(reading.fields[0].value);
  if (reading.command == nullptr) {
    const std::string name = reading.fields.empty() ? std::string() : reading.fields[0].value;
    Warn(reading, "Unknown command " + Quoted(name) + ": the line does nothing.");
    return reading;
  }
  const CommandSyntax& command = *reading.command;
  reading.fields[0].meaning = "command: " + std::string(command.summary);
  for (size_t i = kFirstArgument; i < reading.fields.size(); ++i) {
    const size_t argument = i - kFirstArgument;
    reading.fields[i].meaning = argument < command.arguments.size()
                                    ? std::string(command.arguments[argument])
                                    : std::string("not used");
  }
  if (reading.fields.size() < 2) {
    Warn(reading, "The run flag is missing: a line with fewer than two fields does nothing.");
    return reading;
  }
  if (reading.fields[1].value == "0") Note(reading, "The run flag is 0: the line is skipped.");
  const size_t needed = kFirstArgument + command.required;
  if (reading.fields.size() < needed) {
    std::string missing;
    for (size_t i = reading.fields.size(); i < needed; ++i) {
      if (!missing.empty()) missing += ", ";
      missing += command.arguments[i - kFirstArgument];
    }
    // txtaddline pads its line with two empty fields before reading it.
    const size_t first_missing =
        reading.fields.size() + (command.name == "txtaddline" ? kFirstArgument : 0);
    Warn(reading, "Missing " + missing + ": the run ends with \"List index out of bounds (" +
                      std::to_string(first_missing) + ")\".");
  }
  if (reading.fields.size() > kFirstArgument + command.arguments.size()) {
    Note(reading,
         "Fields after " +
             std::string(command.arguments.empty() ? "the run flag" : command.arguments.back()) +
             " are not used.");
  }
  CheckNumbers(reading);
  return reading;
}

std::vector<LineFinding> LineFindings(std::string_view line) {
  return ReadScriptLine(line).findings;
}

}  // namespace pelvar::app
