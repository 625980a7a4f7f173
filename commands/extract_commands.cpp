// extractfile, extractallfiles, extractallfilesifnotexist, extractandrun:
// unpacking the files embedded in scripts. Arguments are used as written.
#include "archive/embedded_files.h"
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
  const bool done =
      archive::ExtractEmbeddedFile(call.context().script_file, folder, file, destination);
  const std::string tail = Quoted(file) + " to path: " + Quoted(destination);
  if (done) {
    call.SetPending("Sucessfully extracted file: " + tail, LogKind::kSuccess);
  } else {
    call.SetPending("Failed to extract file: " + tail, LogKind::kFailure);
  }
}

void ExtractFolder(CommandCall& call, bool skip_existing) {
  const std::string& script = call.Field(2);
  const std::string& folder = call.Field(3);
  const std::string& destination = call.Field(4);
  OperationProgress progress(call.context().view, "Extracting");
  const bool done = archive::ExtractEmbeddedFolder(script, folder, destination, skip_existing,
                                                   [&progress](uint64_t) { progress.Add(1, 0); });
  const std::string tail =
      Quoted(script) + " Section:" + Quoted(folder) + " Path to extract: " + Quoted(destination);
  if (done) {
    call.SetPending("Sucessfully extracted all internal files from file: " + tail,
                    LogKind::kSuccess);
  } else if (skip_existing) {
    call.SetPending("Skipped extracting internal files from file: " + tail, LogKind::kSkipped);
  } else {
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
  const archive::RunOutcome outcome = archive::RunEmbeddedFile(
      call.context().script_file, folder, file, call.context().services.processes);
  switch (outcome) {
    case archive::RunOutcome::kNotExtracted:
      call.SetPending("Failed to extract: " + Quoted(folder) + " please check if sintax is correct",
                      LogKind::kFailure);
      break;
    case archive::RunOutcome::kNotStarted:
      call.SetPending("Failed to execute: \"" + folder + " " + file, LogKind::kFailure);
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
