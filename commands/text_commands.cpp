// The text family: txtaddline, txtreplace, txtdelemptylines, txtdelline and
// txtdelspaces. Field 2 names the files (a folder and masks; a plain name
// matches itself); each matching file is edited in turn and written back
// whole with CR LF line ends. One log line per command.
#include <string>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/file_finder.h"
#include "commands/log_text.h"
#include "commands/text_file.h"
#include "engine/ini_file.h"
#include "engine/integer_text.h"
#include "engine/script_context.h"
#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::commands {

namespace {

// Edits every file that `argument` names with `edit_file(path)`. False, with
// the reason set, when nothing matched or a match is no file to edit (it
// vanished before its turn, or is a link to nothing or a pipe); the others
// are edited all the same.
template <typename EditFile>
bool EditMatchingFiles(CommandCall& call, const std::string& argument, EditFile edit_file) {
  platform::FileSystem& fs = call.context().files();
  std::vector<std::string> files;
  if (!FindArgumentFiles(argument, files, nullptr, &fs)) {
    call.SetReason("no file matches");
    return false;
  }
  bool ok = true;
  for (const std::string& file : files) {
    if (fs.IsFile(file)) {
      edit_file(file);
    } else {
      if (ok) call.SetReason(Quoted(file) + " is no file that can be edited");
      ok = false;
    }
  }
  return ok;
}

// Applies a line edit to every file that `argument` names.
bool EditMatchingLines(CommandCall& call, const std::string& argument, const LineEdit& edit) {
  platform::FileSystem& fs = call.context().files();
  return EditMatchingFiles(
      call, argument, [&fs, &edit](const std::string& file) { EditTextFileLines(fs, file, edit); });
}

void TxtAddLine(CommandCall& call) {
  call.PadFields(call.field_count() + 2);
  const std::string& file = call.Field(2);
  const std::string& line = call.Field(3);
  const std::string& option = call.Field(4);
  const std::string& number = call.Field(5);
  const std::string text = UnescapeField(line);
  platform::FileSystem& fs = call.context().files();
  // A line that would be added nowhere (an unknown option, or "append" with
  // a number that does not convert) fails and leaves the files alone, rather
  // than report a line added.
  const std::string opt = AsciiLowerCopy(option);
  const std::string_view n_text = number.empty() ? std::string_view("0") : number;
  bool ok = false;
  if (opt != "prepend" && opt != "place" && opt != "append") {
    call.SetReason("the option " + Quoted(option) + " is none of prepend, append and place");
  } else if (opt == "append" && !ParseIntegerText(n_text)) {
    call.SetReason(Quoted(n_text) + " is not a number");
  } else {
    ok = EditMatchingFiles(
        call, file, [&](const std::string& path) { AddTextLine(fs, path, text, option, number); });
  }
  LogOutcome(call, ok,
             "Sucessfully added line: " + Quoted(file) + " line: " + Quoted(line) +
                 " Option:" + Quoted(option),
             "Failed to addline to file: " + Quoted(file) + " line: " + Quoted(line));
}

void TxtReplace(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& find_field = call.Field(3);
  const std::string& replace_field = call.Field(4);
  const std::string find = UnescapeField(find_field);
  const std::string replacement = UnescapeField(replace_field);
  const bool ok = EditMatchingLines(call, file, [&](std::string_view line, std::string& out) {
    size_t start = 0;
    if (!find.empty()) {
      for (size_t hit = line.find(find); hit != std::string_view::npos;
           hit = line.find(find, start)) {
        out.append(line.substr(start, hit - start)).append(replacement);
        start = hit + find.size();
      }
    }
    out.append(line.substr(start));
    return true;
  });
  LogOutcome(call, ok,
             "Sucessfully replaced strings in file: " + Quoted(file) +
                 " string: " + Quoted(find_field) + " with string: " + Quoted(replace_field),
             "TXTReplace - Failed to find file: " + Quoted(file));
}

void TxtDelEmptyLines(CommandCall& call) {
  const std::string& file = call.Field(2);
  const bool ok = EditMatchingLines(call, file, [](std::string_view line, std::string& out) {
    out.append(line);
    return !line.empty();
  });
  LogOutcome(call, ok, "Sucessfully deleted all empty lines in file: " + Quoted(file),
             "TXTDelEmptyLines - Failed to find file: " + Quoted(file));
}

void TxtDelLine(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& start = call.Field(3);
  const bool ok = EditMatchingLines(call, file, [&start](std::string_view line, std::string& out) {
    if (line.starts_with(start)) return false;
    out.append(line);
    return true;
  });
  LogOutcome(call, ok,
             "Sucessfully deleted all corresponding lines in file: " + Quoted(file) +
                 " string: " + Quoted(start),
             "TXTDelLine - Failed to find file: " + Quoted(file));
}

void TxtDelSpaces(CommandCall& call) {
  const std::string& file = call.Field(2);
  const bool ok = EditMatchingLines(call, file, [](std::string_view line, std::string& out) {
    out.append(TrimControl(line));
    return true;
  });
  LogOutcome(call, ok, "Sucessfully deleted all blank spaces in file: " + Quoted(file),
             "TXTDelSpaces - Failed to find file: " + Quoted(file));
}

}  // namespace

void RegisterTextCommands(CommandSet& set) {
  set.Set("txtaddline", TxtAddLine);
  set.Set("txtreplace", TxtReplace);
  set.Set("txtdelemptylines", TxtDelEmptyLines);
  set.Set("txtdelline", TxtDelLine);
  set.Set("txtdelspaces", TxtDelSpaces);
}

}  // namespace pelvar::commands
