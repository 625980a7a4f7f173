// The file family: filecreateblank, filerename, filedelete and filecopy.
// filedelete and filecopy also take a folder and masks ("*" in field 2);
// their single log line is then the outcome of the last file found.
#include <string>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/file_finder.h"
#include "commands/log_text.h"
#include "commands/operation_progress.h"
#include "commands/text_file.h"
#include "engine/script_context.h"
#include "platform/file_system.h"

namespace pelvar::commands {

namespace {

bool HasWildcard(const std::string& argument) {
  return argument.find('*') != std::string::npos;
}

void FileCreateBlank(CommandCall& call) {
  const std::string& path = call.Field(2);
  platform::FileSystem& files = call.context().files();
  bool ok = !files.IsFile(path) || !files.Delete(path);
  if (ok) {
    WriteTextFile(files, path, {});
    ok = files.IsFile(path);
  }
  LogOutcome(call, ok, "Successfully created a new file:" + Quoted(path),
             "Failed to create file:" + Quoted(path));
}

void FileRename(CommandCall& call) {
  const std::string& from = call.Field(2);
  const std::string& to = call.Field(3);
  const std::string what = Quoted(from) + " to:" + Quoted(to);
  LogOutcome(call, !call.context().files().Move(from, to), "Successfully renamed file:" + what,
             "Failed to rename file:" + what);
}

// Deletes one existing file; pends "Sucessfully deleted" or "Failed to delete".
void DeleteOne(CommandCall& call, const std::string& file) {
  PendOutcome(call, !call.context().files().Delete(file), "Sucessfully deleted " + Quoted(file),
              "Failed to delete " + Quoted(file));
}

void FileDelete(CommandCall& call) {
  const std::string& argument = call.Field(2);
  platform::FileSystem& files = call.context().files();
  if (!HasWildcard(argument)) {
    if (files.IsFile(argument)) {
      DeleteOne(call, argument);
    } else {
      call.SetPending("Failed to find and delete " + Quoted(argument), LogKind::kFailure);
    }
    return;
  }
  std::vector<std::string> found;
  if (!FindArgumentFiles(argument, found, nullptr, &files)) {
    call.SetPending("Failed to find and delete files in directory: " + Quoted(argument),
                    LogKind::kFailure);
    return;
  }
  OperationProgress progress(call.context().view, "Deleting");
  for (const std::string& file : found) {
    progress.Add(1, 0);
    if (files.IsFile(file)) {
      DeleteOne(call, file);
    } else {
      call.SetPending("Failed to find and delete" + Quoted(file), LogKind::kFailure);
    }
  }
}

void FileCopy(CommandCall& call) {
  const std::string& source = call.Field(2);
  const std::string& target = call.Field(3);
  platform::FileSystem& files = call.context().files();
  if (!HasWildcard(source)) {
    if (!files.IsFile(source)) {
      call.SetPending("Failed to find and copy: " + Quoted(source), LogKind::kMissing);
      return;
    }
    // An existing target is kept as it is, and counts as copied.
    std::error_code ec;
    if (!files.Exists(target)) ec = files.Copy(source, target, /*replace=*/false);
    const bool ok = (!ec || ec == std::errc::file_exists) && files.IsFile(target);
    const std::string what = Quoted(source) + " to: " + Quoted(target);
    PendOutcome(call, ok, "Sucessfully copied file: " + what, "Failed to copy file: " + what);
    return;
  }
  std::vector<std::string> found;
  std::string prefix;
  if (!FindArgumentFiles(source, found, &prefix, &files)) {
    call.SetPending("Failed to find and copy files in: " + Quoted(source), LogKind::kFailure);
    return;
  }
  OperationProgress progress(call.context().view, "Copying");
  for (const std::string& file : found) {
    progress.Add(1, 0);
    // The target folder takes the place of the searched folder.
    const std::string copy = target + "\\" + file.substr(prefix.size());
    const bool ok = files.IsFile(file) && !files.Copy(file, copy, /*replace=*/true);
    const std::string what = Quoted(file) + " to: " + Quoted(copy);
    PendOutcome(call, ok, "Sucessfully copied " + what, "Failed to copy " + what);
  }
}

}  // namespace

void RegisterFileCommands(CommandSet& set) {
  set.Set("filecreateblank", FileCreateBlank);
  set.Set("filerename", FileRename);
  set.Set("filedelete", FileDelete);
  set.Set("filecopy", FileCopy);
}

}  // namespace pelvar::commands
