// The folder family: dircopy, dirmove, dirdelete and dirmake. Paths are taken
// as written; the tree work is the platform's.
#include <string>

#include "commands/builtin_commands.h"
#include "commands/log_text.h"
#include "engine/script_context.h"
#include "platform/file_system.h"

namespace pelvar::commands {

namespace {

using TreeTransfer = bool (platform::FileSystem::*)(std::string_view, std::string_view,
                                                    const platform::TreeProgressFn&);

// dircopy and dirmove: runs the transfer of field 2 to field 3, showing its
// progress in the run's view (Stop ends it between two files), and logs "<done>S\" to: \"T\"" or
// "<failed>S\" to: \"T\"".
void TransferFolder(CommandCall& call, TreeTransfer transfer, std::string_view activity,
                    std::string_view done, std::string_view failed) {
  const std::string& source = call.Field(2);
  const std::string& target = call.Field(3);
  RunView& view = call.context().view;
  view.ShowOperationProgress(activity, 0, 0, false);
  platform::FileSystem& files = call.context().files();
  // The files done, and the bytes of the one being copied now on top.
  platform::TreeProgress finished;
  const platform::DataProgressScope data([&view, &finished, activity](uint64_t bytes) {
    view.ShowOperationProgress(activity, finished.files, finished.bytes + bytes, false);
    return !view.StopRequested();
  });
  const bool ok = (files.*transfer)(source, target,
                                    [&view, &finished, activity](const platform::TreeProgress& p) {
                                      finished = p;
                                      view.ShowOperationProgress(activity, p.files, p.bytes, false);
                                      return !view.StopRequested();
                                    });
  view.ShowOperationProgress(activity, 0, 0, true);
  if (!ok) {
    std::string reason = files.LastTreeFailure();
    if (view.StopRequested()) {
      reason = "the run was stopped";
    } else if (reason.empty()) {
      reason = !files.IsFolder(source) ? "no such folder" : "not every file could be transferred";
    }
    call.SetReason(std::move(reason));
  }
  const std::string what = Quoted(source) + " to: " + Quoted(target);
  PendOutcome(call, ok, std::string(done) + what, std::string(failed) + what);
}

void DirCopy(CommandCall& call) {
  TransferFolder(call, &platform::FileSystem::CopyTree, "Copying", "Sucessfully copied directory ",
                 "Failed to copy directory ");
}

void DirMove(CommandCall& call) {
  TransferFolder(call, &platform::FileSystem::MoveTree, "Moving", "Sucessfully move directory ",
                 "Failed to move directory ");
}

void DirDelete(CommandCall& call) {
  const std::string& path = call.Field(2);
  RunView& view = call.context().view;
  view.ShowOperationProgress("Deleting", 0, 0, false);
  const bool ok = call.context().files().DeleteTree(path, [&view](const platform::TreeProgress& p) {
    view.ShowOperationProgress("Deleting", p.files, p.bytes, false);
    return !view.StopRequested();
  });
  view.ShowOperationProgress("Deleting", 0, 0, true);
  if (!ok) {
    std::string reason = call.context().files().LastTreeFailure();
    if (!call.context().files().Exists(path)) {
      reason = "no such folder";
    } else if (reason.empty()) {
      reason = "not everything in it could be deleted";
    }
    call.SetReason(std::move(reason));
  }
  PendOutcome(call, ok, "Sucessfully deleted directory " + Quoted(path),
              "Failed to delete directory " + Quoted(path));
}

void DirMake(CommandCall& call) {
  const std::string& path = call.Field(2);
  platform::FileSystem& files = call.context().files();
  if (files.IsFolder(path)) {
    call.SetPending("Directory already exists, ignoring: " + Quoted(path), LogKind::kWarning);
    return;
  }
  const std::error_code ec = files.MakeFolder(path, /*parents=*/false);
  if (ec) call.SetReason(platform::SystemMessage(ec));
  PendOutcome(call, !ec, "Sucessfully created directory: " + Quoted(path),
              "Failed to create directory: " + Quoted(path));
}

}  // namespace

void RegisterDirCommands(CommandSet& set) {
  set.Set("dircopy", DirCopy);
  set.Set("dirmove", DirMove);
  set.Set("dirdelete", DirDelete);
  set.Set("dirmake", DirMake);
}

}  // namespace pelvar::commands
