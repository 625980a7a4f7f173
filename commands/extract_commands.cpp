// extractfile, extractallfiles, extractallfilesifnotexist, extractandrun:
// unpacking the files embedded in scripts. Arguments are used as written.
#include "archive/embedded_files.h"
#include "commands/archive_failure.h"
#include "commands/builtin_commands.h"
#include "commands/operation_progress.h"
#include "engine/script_context.h"

namespace pelvar::commands {

namespace {

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

void ExtractFile(CommandCall& call) {
  const std::string& folder = call.Field(2);
  const std::string& file = call.Field(3);
  const std::string& destination = call.Field(4);
  RunView& view = call.context().view;
  bool stopped = false;
  // The archive's bytes read are shown as they go.
  OperationProgress progress(view, "Extracting");
  const bool done = ValueOrRaise(archive::ExtractEmbeddedFile(
      call.context().files(), call.context().script_file, folder, file, destination,
      [&view, &stopped] {
        stopped = stopped || view.StopRequested();
        return stopped;
      },
      [&progress](uint64_t bytes) { progress.FileBytes(bytes); }));
  const std::string tail = Quoted(file) + " to path: " + Quoted(destination);
  if (done) {
    call.SetPending("Sucessfully extracted file: " + tail, LogKind::kSuccess,
                    "Failed to extract file: " + tail);
  } else if (stopped) {
    call.SetReason("the run was stopped");
    call.SetPending("Failed to extract file: " + tail, LogKind::kFailure);
  } else {
    call.SetReason("no embedded file \"" + file + "\" in folder \"" + folder + "\", or " +
                   Quoted(destination) + " cannot be written");
    call.SetPending("Failed to extract file: " + tail, LogKind::kFailure);
  }
}

void ExtractFolder(CommandCall& call, bool skip_existing) {
  const std::string& script = call.Field(2);
  const std::string& folder = call.Field(3);
  const std::string& destination = call.Field(4);
  RunView& view = call.context().view;
  OperationProgress progress(view, "Extracting");
  bool stopped = false;
  std::string why;
  const bool done = ValueOrRaise(archive::ExtractEmbeddedFolder(
      call.context().files(), script, folder, destination, skip_existing,
      [&progress](uint64_t) { progress.Add(1, 0); },
      [&view, &stopped] {
        stopped = stopped || view.StopRequested();
        return stopped;
      },
      &why, [&progress](uint64_t bytes) { progress.FileBytes(bytes); }));
  const std::string tail =
      Quoted(script) + " Section:" + Quoted(folder) + " Path to extract: " + Quoted(destination);
  if (done) {
    call.SetPending("Sucessfully extracted all internal files from file: " + tail,
                    LogKind::kSuccess, "Failed to extract internal files from file: " + tail);
  } else if (stopped) {
    call.SetReason("the run was stopped");
    call.SetPending("Failed to extract internal files from file: " + tail, LogKind::kFailure);
  } else if (skip_existing) {
    call.SetPending("Skipped extracting internal files from file: " + tail, LogKind::kSkipped);
  } else {
    call.SetReason(why.empty() ? "no file was extracted" : why);
    call.SetPending("Failed to extract internal files from file: " + tail, LogKind::kFailure);
  }
}

void ExtractAllFiles(CommandCall& call) {
  ExtractFolder(call, /*skip_existing=*/false);
}

void ExtractAllFilesIfNotExist(CommandCall& call) {
  ExtractFolder(call, /*skip_existing=*/true);
}

void ExtractAndRun(CommandCall& call) {
  const std::string& folder = call.Field(2);
  const std::string& file = call.Field(3);
  RunView& view = call.context().view;
  view.Flush();
  const archive::RunOutcome outcome = ValueOrRaise(archive::RunEmbeddedFile(
      call.context().files(), call.context().script_file, folder, file,
      call.context().services.processes, [&view] { return view.StopRequested(); }));
  switch (outcome) {
    case archive::RunOutcome::kNotExtracted:
      call.SetReason("no embedded file \"" + file + "\" in folder \"" + folder + "\"");
      call.SetPending("Failed to extract: " + Quoted(folder) + " please check if sintax is correct",
                      LogKind::kFailure);
      break;
    case archive::RunOutcome::kNotStarted:
      call.SetReason("the file could not be started");
      call.SetPending("Failed to execute: \"" + folder + " " + file, LogKind::kFailure);
      break;
    case archive::RunOutcome::kStopped:
      call.SetReason("the run was stopped while it waited for the program");
      call.SetPending("Stopped waiting for: \"" + folder + " " + file + "\": it goes on running",
                      LogKind::kFailure);
      break;
    case archive::RunOutcome::kRan:
      call.SetPending("Sucessfully executed: \"" + folder + " " + file, LogKind::kSuccess);
      break;
  }
}

}  // namespace

void RegisterExtractCommands(CommandSet& set) {
  set.Set("extractfile", ExtractFile);
  set.Set("extractallfiles", ExtractAllFiles);
  set.Set("extractallfilesifnotexist", ExtractAllFilesIfNotExist);
  set.Set("extractandrun", ExtractAndRun);
}

}  // namespace pelvar::commands
