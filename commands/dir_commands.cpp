// The folder family: dircopy, dirmove, dirdelete and dirmake. Paths are taken
// as written; the tree work is the platform's.
#include <string>

#include "commands/builtin_commands.h"
#include "commands/log_text.h"
#include "engine/script_context.h"
#include "platform/file_operations.h"
#include "platform/file_system.h"
#include "platform/tree_operations.h"

namespace pelvar::commands {

namespace {

// Runs a copy or move, reporting its progress to the run's view.
template <typename Operation>
bool WithProgress(CommandCall& call, std::string_view what, Operation operation) {
  RunView& view = call.context().view;
  view.ShowOperationProgress(what, 0, 0, false);
  const bool ok = operation([&view, what](const platform::TreeProgress& p) {
    view.ShowOperationProgress(what, p.files, p.bytes, false);
  });
  view.ShowOperationProgress(what, 0, 0, true);
  return ok;
}

void DirCopy(CommandCall& call) {
  const std::string& source = call.Field(2);
  const std::string& target = call.Field(3);
  const bool ok = WithProgress(call, "Copying", [&](const platform::TreeProgressFn& progress) {
    return platform::CopyTree(source, target, progress);
  });
  if (ok) {
    call.SetPending("Sucessfully copied directory " + Quoted(source) + " to: " + Quoted(target),
                    LogKind::kSuccess);
  } else {
    call.SetPending("Failed to copy directory " + Quoted(source) + " to: " + Quoted(target),
                    LogKind::kFailure);
  }
}

void DirMove(CommandCall& call) {
  const std::string& source = call.Field(2);
  const std::string& target = call.Field(3);
  const bool ok = WithProgress(call, "Moving", [&](const platform::TreeProgressFn& progress) {
    return platform::MoveTree(source, target, progress);
  });
  if (ok) {
    call.SetPending("Sucessfully move directory " + Quoted(source) + " to: " + Quoted(target),
                    LogKind::kSuccess);
  } else {
    call.SetPending("Failed to move directory " + Quoted(source) + " to: " + Quoted(target),
                    LogKind::kFailure);
  }
}

void DirDelete(CommandCall& call) {
  const std::string& path = call.Field(2);
  if (platform::DeleteTree(path)) {
    call.SetPending("Sucessfully deleted directory " + Quoted(path), LogKind::kSuccess);
  } else {
    call.SetPending("Failed to delete directory " + Quoted(path), LogKind::kFailure);
  }
}

void DirMake(CommandCall& call) {
  const std::string& path = call.Field(2);
  if (platform::IsDirectory(path)) {
    call.SetPending("Directory already exists, ignoring: " + Quoted(path), LogKind::kWarning);
  } else if (!platform::CreateDirectory(path)) {
    call.SetPending("Sucessfully created directory: " + Quoted(path), LogKind::kSuccess);
  } else {
    call.SetPending("Failed to create directory: " + Quoted(path), LogKind::kFailure);
  }
}

}  // namespace

void RegisterDirCommands(CommandSet& set) {
  set.Set("dircopy", DirCopy);
  set.Set("dirmove", DirMove);
  set.Set("dirdelete", DirDelete);
  set.Set("dirmake", DirMake);
}

}  // namespace pelvar::commands
