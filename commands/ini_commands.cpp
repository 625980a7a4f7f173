// The INI family: thin users of the INI file operations, which edit a file
// in place (only the lines a command names change). Every argument is
// unescaped before use (the operations that unescape their names do so once
// more); the log text is put together from the fields as written and then
// unescaped as a whole.
#include "commands/builtin_commands.h"
#include "engine/ini_file.h"
#include "engine/ini_text.h"
#include "engine/script_context.h"
#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::commands {

namespace {

// Why an INI file operation on `path` returned false: no file, or one that
// cannot be edited without loss, else `otherwise` (what is left for that
// operation).
std::string IniFailureReason(CommandCall& call, const std::string& path,
                             const std::string& otherwise) {
  platform::FileSystem& files = call.context().files();
  if (!files.IsFile(path)) return "no such file";
  std::string bytes;
  if (files.ReadAll(path, bytes)) return otherwise;
  std::string problem = IniText::Parse(std::move(bytes)).problem();
  return problem.empty() ? otherwise : problem;
}

void LogOutcome(CommandCall& call, bool ok, const std::string& success,
                const std::string& failure) {
  call.Log(UnescapeField(ok ? success : failure), ok ? LogKind::kSuccess : LogKind::kFailure);
}

void IniDeleteSection(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& section = call.Field(3);
  const bool ok =
      EraseIniSection(call.context().files(), UnescapeField(file), UnescapeField(section));
  if (!ok) {
    call.SetReason(IniFailureReason(
        call, UnescapeField(file),
        "sections of that name holding lines are left: at most ten go per command"));
  }
  const std::string tail = "file:\"" + file + "\" Section: \"" + section + "\"";
  LogOutcome(call, ok, "Successfully deleted INI section in " + tail,
             "Failed to delete INI section in " + tail);
}

// Creates the file when missing, then appends the section header unless the
// section holds lines already; nothing else of the file changes. False, with
// `reason` set, when the file cannot be made or cannot be edited without
// loss (a NUL byte: UTF-16 without its mark, or binary data).
bool AddSection(CommandCall& call, const std::string& path, const std::string& section,
                std::string& reason) {
  platform::FileSystem& files = call.context().files();
  if (!files.IsFile(path)) {
    // A file that cannot be made is the command's failure, checked below.
    (void)files.WriteAll(path, "");
    if (!files.IsFile(path)) {
      reason = "the file could not be made";
      return false;
    }
  }
  if (AddIniSection(files, path, section)) return true;
  reason = IniFailureReason(call, path, "the file was not changed");
  return false;
}

void IniAddSection(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& section = call.Field(3);
  std::string reason;
  const bool ok = AddSection(call, UnescapeField(file), UnescapeField(section), reason);
  if (!ok) call.SetReason(std::move(reason));
  LogOutcome(call, ok,
             "Sucessfully created section in file: \"" + file + "\" section: \"" + section + "\"",
             "IniAddSection - Failed to find file: \"" + file + "\"");
}

void IniWriteKey(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& section = call.Field(3);
  const std::string& key = call.Field(4);
  const std::string& value = call.Field(5);
  const bool ok = WriteIniKey(call.context().files(), UnescapeField(file), UnescapeField(section),
                              UnescapeField(key), UnescapeField(value));
  if (!ok) {
    std::string reason = IniKeyProblem(UnescapeField(key));
    if (reason.empty())
      reason = IniFailureReason(call, UnescapeField(file), "the file was not changed");
    call.SetReason(std::move(reason));
  }
  LogOutcome(call, ok,
             "Successfully wrote INI key in file: \"" + file + "\" Section: \"" + section +
                 "\" key: \"" + key + "=" + value + "\"",
             "INIwriteString - Failed to write INI file: \"" + file + "\"");
}

void IniDeleteKey(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& section = call.Field(3);
  const std::string& key = call.Field(4);
  const bool ok = DeleteIniKey(call.context().files(), UnescapeField(file), UnescapeField(section),
                               UnescapeField(key));
  if (!ok) call.SetReason(IniFailureReason(call, UnescapeField(file), "the file was not changed"));
  LogOutcome(call, ok, "Successfully deleted INI key in \"" + file + "\" key: \"" + key + "\"",
             "INIDeleteKey - Failed to write INI file: \"" + file + "\"");
}

void IniWriteTextLine(CommandCall& call) {
  const std::string& file = call.Field(2);
  const std::string& section = call.Field(3);
  const std::string& line = call.Field(4);
  const bool ok = InsertSectionLine(call.context().files(), UnescapeField(file),
                                    UnescapeField(section), UnescapeField(line));
  if (!ok) {
    std::string reason = IniFailureReason(call, UnescapeField(file), "");
    if (reason.empty()) reason = IniTextLineProblem(UnescapeField(line));
    if (reason.empty()) {
      reason = "no section header [" + UnescapeField(section) + "] (letter case must match)";
    }
    call.SetReason(std::move(reason));
  }
  LogOutcome(call, ok,
             "Successfully wrote INI text line in \"" + file + "\" section: \"" + section +
                 "\"  line: \"" + line + "\"",
             "INIwriteTextLine - An error occured when trying to edit INI file: \"" + file + "\"");
}

}  // namespace

void RegisterIniCommands(CommandSet& set) {
  set.Set("inideletesection", IniDeleteSection);
  set.Set("iniaddsection", IniAddSection);
  set.Set("iniwritekey", IniWriteKey);
  set.Set("inideletekey", IniDeleteKey);
  set.Set("iniwritetextline", IniWriteTextLine);
}

}  // namespace pelvar::commands
