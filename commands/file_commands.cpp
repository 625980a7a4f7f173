// The file family: filecreateblank, filerename, filedelete and filecopy.
// filedelete and filecopy also take a folder and masks ("*" in field 2);
// their closing log line is then the outcome of the last file found, and
// every file that failed before it has a failure line of its own. Stop
// ends the work between two files; the closing line then names the first
// file left undone.
#include <string>
#include <unordered_map>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/file_finder.h"
#include "commands/log_text.h"
#include "commands/operation_progress.h"
#include "commands/text_file.h"
#include "engine/script_context.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/letter_case.h"

namespace pelvar::commands {

namespace {

bool HasWildcard(const std::string& argument) {
  return argument.find('*') != std::string::npos;
}

// The name of a found file after the folder `prefix`, its letter case
// folded as the file system's lookups fold it.
std::string FoldedName(const std::string& file, const std::string& prefix) {
  return platform::FoldCase(std::string_view(file).substr(prefix.size()));
}

// A failure pending for one file of a mask is logged at once, before the
// next file's outcome takes its place.
void LogPendingFailure(CommandCall& call) {
  if (call.pending_kind() != LogKind::kFailure || call.pending_text().empty()) return;
  call.Log(call.pending_text(), LogKind::kFailure);
  call.SetPending("", LogKind::kFailure);
}

// Sets the system's message of a failed operation as the reason; true when
// it did not fail. A copy cut by Stop gives "the run was stopped".
bool Succeeded(CommandCall& call, std::error_code ec) {
  if (ec == std::errc::operation_canceled) {
    call.SetReason("the run was stopped");
  } else if (ec) {
    call.SetReason(platform::SystemMessage(ec));
  }
  return !ec;
}

// True when the run was stopped while a mask's files are worked through
// (never before the first one, so the command has an outcome to log); the
// reason is set for the line about the file left undone.
bool Stopped(CommandCall& call, bool after_first) {
  if (!after_first || !call.context().view.StopRequested()) return false;
  call.SetReason("the run was stopped");
  return true;
}

// True for an entry that the commands delete as a file: anything but a
// folder or a link to one (a link that leads nowhere, a pipe included); a
// link goes itself, what it points to stays.
bool IsFileEntry(platform::FileSystem& files, const std::string& path) {
  const platform::FileStatus status = files.Status(path);
  return status.exists() && !status.is_folder();
}

void FileCreateBlank(CommandCall& call) {
  const std::string& path = call.Field(2);
  platform::FileSystem& files = call.context().files();
  bool ok = true;
  if (IsFileEntry(files, path)) ok = Succeeded(call, files.Delete(path));
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
  // A move to another file system copies the data: its bytes are shown, and
  // Stop cuts it (the source stays).
  OperationProgress progress(call.context().view, "Moving");
  const platform::DataProgressScope data(
      [&progress](uint64_t bytes) { return progress.FileBytes(bytes); });
  LogOutcome(call, Succeeded(call, call.context().files().Move(from, to)),
             "Successfully renamed file:" + what, "Failed to rename file:" + what);
}

// Deletes one existing file; pends "Sucessfully deleted" or "Failed to delete".
void DeleteOne(CommandCall& call, const std::string& file) {
  PendOutcome(call, Succeeded(call, call.context().files().Delete(file)),
              "Sucessfully deleted " + Quoted(file), "Failed to delete " + Quoted(file));
}

void FileDelete(CommandCall& call) {
  const std::string& argument = call.Field(2);
  platform::FileSystem& files = call.context().files();
  if (!HasWildcard(argument)) {
    if (IsFileEntry(files, argument)) {
      DeleteOne(call, argument);
    } else {
      call.SetReason("no such file");
      call.SetPending("Failed to find and delete " + Quoted(argument), LogKind::kFailure);
    }
    return;
  }
  std::vector<std::string> found;
  if (!FindArgumentFiles(argument, found, nullptr, &files)) {
    call.SetReason("no file matches");
    call.SetPending("Failed to find and delete files in directory: " + Quoted(argument),
                    LogKind::kFailure);
    return;
  }
  OperationProgress progress(call.context().view, "Deleting");
  for (const std::string& file : found) {
    LogPendingFailure(call);
    if (Stopped(call, file != found.front())) {
      call.SetPending("Failed to delete " + Quoted(file), LogKind::kFailure);
      return;
    }
    progress.Add(1, 0);
    if (IsFileEntry(files, file)) {
      DeleteOne(call, file);
    } else {
      call.SetReason("the file is gone: it was removed while the command ran");
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
      call.SetReason("no such file");
      call.SetPending("Failed to find and copy: " + Quoted(source), LogKind::kMissing);
      return;
    }
    // An existing target is kept as it is, and counts as copied. The bytes
    // are shown as they go, and Stop cuts the copy (nothing is left of it).
    std::error_code ec;
    if (!files.Exists(target)) {
      OperationProgress progress(call.context().view, "Copying");
      const platform::DataProgressScope data(
          [&progress](uint64_t bytes) { return progress.FileBytes(bytes); });
      ec = files.Copy(source, target, /*replace=*/false);
    }
    const bool ok = (!ec || ec == std::errc::file_exists) && files.IsFile(target);
    if (!ok && ec) {
      Succeeded(call, ec);
    } else if (!ok) {
      call.SetReason("the target is not a file");
    }
    const std::string what = Quoted(source) + " to: " + Quoted(target);
    PendOutcome(call, ok, "Sucessfully copied file: " + what, "Failed to copy file: " + what);
    return;
  }
  std::vector<std::string> found;
  std::string prefix;
  if (!FindArgumentFiles(source, found, &prefix, &files)) {
    call.SetReason("no file matches");
    call.SetPending("Failed to find and copy files in: " + Quoted(source), LogKind::kFailure);
    return;
  }
  // Names found in several spellings are each copied under their own
  // spelling, never onto one another.
  std::unordered_map<std::string, int> spellings;
  for (const std::string& file : found) ++spellings[FoldedName(file, prefix)];
  OperationProgress progress(call.context().view, "Copying");
  const platform::DataProgressScope data(
      [&progress](uint64_t bytes) { return progress.FileBytes(bytes); });
  for (const std::string& file : found) {
    LogPendingFailure(call);
    // The target folder takes the place of the searched folder. An empty
    // one (a variable left empty) is no folder: it would be the root.
    const std::string copy = target + "\\" + file.substr(prefix.size());
    const std::string what = Quoted(file) + " to: " + Quoted(copy);
    if (Stopped(call, file != found.front())) {
      call.SetPending("Failed to copy " + what, LogKind::kFailure);
      return;
    }
    if (target.empty()) {
      call.SetReason("no target folder given");
    } else if (!files.IsFile(file)) {
      call.SetReason("the file is gone: it was removed while the command ran");
    }
    const platform::TargetCase target_case = spellings[FoldedName(file, prefix)] > 1
                                                 ? platform::TargetCase::kAsWritten
                                                 : platform::TargetCase::kAnySpelling;
    const bool ok = !target.empty() && files.IsFile(file) &&
                    Succeeded(call, files.Copy(file, copy, /*replace=*/true, target_case));
    PendOutcome(call, ok, "Sucessfully copied " + what, "Failed to copy " + what);
    // A copy cut by Stop is the file left undone.
    if (!ok && call.context().view.StopRequested()) return;
    progress.FileDone();
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
