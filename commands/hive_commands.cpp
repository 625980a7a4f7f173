// The hive commands mount and unmount registry hive files below
// HKEY_LOCAL_MACHINE by running the registry tool (pelvar-reg) and waiting
// for it. The name and the path are quoted where they hold blanks, so each
// reaches the tool as one argument. The tool's exit
// status decides the outcome. The hives a run mounts are remembered until it
// unmounts them, so that the end of the run can unmount the rest.
#include <algorithm>

#include "commands/builtin_commands.h"
#include "engine/ini_file.h"
#include "engine/script_context.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/process_launcher.h"
#include "platform/windows_command_line.h"

namespace pelvar::commands {

namespace {

// Runs the registry tool with the parameters and waits (until the run is
// stopped, when `stoppable`); true when it ran and ended with status 0,
// else `reason` says why (the tool's own message when it gave one).
bool RunRegTool(platform::Services& services, RunView& view, const std::string& parameters,
                bool stoppable, std::string& reason) {
  if (services.processes == nullptr || services.reg_tool.empty()) {
    reason = "the registry tool is not available";
    return false;
  }
  platform::ProcessRequest request;
  request.file = services.reg_tool;
  request.parameters = parameters;
  request.show = platform::ShowMode::kHidden;
  request.keep_error_output = true;
  if (stoppable) request.stop = [&view] { return view.StopRequested(); };
  view.Flush();
  const platform::ProcessOutcome outcome = services.processes->Run(request, /*wait=*/true);
  if (!outcome.started) {
    reason = "the registry tool could not be started: " + outcome.error;
  } else if (outcome.stopped) {
    reason = "the run was stopped while the registry tool ran";
  } else if (outcome.exit_code != 0) {
    std::string message = outcome.error_output;
    if (message.rfind("ERROR: ", 0) == 0) message.erase(0, 7);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
      message.pop_back();
    }
    reason = !message.empty()
                 ? message
                 : "the registry tool ended with status " + std::to_string(outcome.exit_code);
  } else {
    return true;
  }
  return false;
}

bool RunRegTool(CommandCall& call, const std::string& parameters) {
  std::string reason;
  const bool ok = RunRegTool(call.context().services, call.context().view, parameters,
                             /*stoppable=*/true, reason);
  if (!ok) call.SetReason(std::move(reason));
  return ok;
}

void ForgetRunHive(platform::Services& services, const std::string& name) {
  auto& hives = services.run_hives;
  hives.erase(std::remove_if(hives.begin(), hives.end(),
                             [&](const std::string& h) { return IEquals(h, name); }),
              hives.end());
}

void Log(CommandCall& call, bool ok, const std::string& rest) {
  call.Log(UnescapeField((ok ? "Successfully " : "Failed to ") + rest),
           ok ? LogKind::kSuccess : LogKind::kFailure);
}

void RegHiveLoad(CommandCall& call) {
  const std::string& hive = call.Field(2);
  const std::string& file = call.Field(3);
  const std::string hive_name = UnescapeField(hive);
  const std::string file_path = UnescapeField(file);
  const bool exists = call.context().files().IsFile(file_path);
  if (!exists) call.SetReason("the hive file \"" + file_path + "\" does not exist");
  const bool ok =
      exists && RunRegTool(call, "load " + platform::QuoteWindowsArgument("HKLM\\" + hive_name) +
                                     " " + platform::QuoteWindowsArgument(file_path));
  if (ok) call.context().services.run_hives.push_back(hive_name);
  const std::string rest = "registry hive: \"" + hive + " from file: \"" + file + "\"";
  Log(call, ok, (ok ? "loaded " : "load ") + rest);
}

void RegHiveUnload(CommandCall& call) {
  const std::string& hive = call.Field(2);
  const std::string name = UnescapeField(hive);
  const bool ok = RunRegTool(call, "unload " + platform::QuoteWindowsArgument("HKLM\\" + name));
  if (ok) ForgetRunHive(call.context().services, name);
  Log(call, ok, std::string(ok ? "unloaded " : "unload ") + "registry hive: \"" + hive + "\"");
}

}  // namespace

void UnloadRunHives(platform::Services& services, RunView& view) {
  const std::vector<std::string> hives = std::move(services.run_hives);
  services.run_hives.clear();
  for (auto it = hives.rbegin(); it != hives.rend(); ++it) {
    std::string reason;
    const bool ok = RunRegTool(
        services, view, "unload " + platform::QuoteWindowsArgument("HKLM\\" + *it), false, reason);
    const std::string rest = "registry hive left loaded by the run: \"" + *it + "\"";
    if (ok) {
      view.AddLog("Unloaded " + rest, LogKind::kSuccess, LogReveal::kSelect);
    } else {
      view.AddLogWithReason("Failed to unload " + rest, LogKind::kFailure, LogReveal::kSelect,
                            LogReason{reason, {}, 0});
    }
  }
}

void RegisterHiveCommands(CommandSet& set) {
  set.Set("reghiveload", RegHiveLoad);
  set.Set("reghiveunload", RegHiveUnload);
}

}  // namespace pelvar::commands
