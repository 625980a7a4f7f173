// The hive commands mount and unmount registry hive files below
// HKEY_LOCAL_MACHINE by running the registry tool (pelvar-reg) and waiting
// for it. The parameters are passed unquoted, so a name or path with blanks
// reaches the tool as several words (which it refuses). The tool's exit
// status decides the outcome.
#include "commands/builtin_commands.h"
#include "engine/ini_file.h"
#include "engine/script_context.h"
#include "platform/file_system.h"
#include "platform/process_launcher.h"

namespace pelvar::commands {

namespace {

// Runs the registry tool with the parameters and waits; true when it ran and
// ended with status 0.
bool RunRegTool(CommandCall& call, const std::string& parameters) {
  platform::Services& services = call.context().services;
  if (services.processes == nullptr || services.reg_tool.empty()) return false;
  platform::ProcessRequest request;
  request.file = services.reg_tool;
  request.parameters = parameters;
  request.show = platform::ShowMode::kHidden;
  call.context().view.Flush();
  const platform::ProcessOutcome outcome = services.processes->Run(request, /*wait=*/true);
  return outcome.started && outcome.exit_code == 0;
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
  const bool ok = call.context().files().IsFile(file_path) &&
                  RunRegTool(call, "load HKLM\\" + hive_name + " " + file_path);
  const std::string rest = "registry hive: \"" + hive + " from file: \"" + file + "\"";
  Log(call, ok, (ok ? "loaded " : "load ") + rest);
}

void RegHiveUnload(CommandCall& call) {
  const std::string& hive = call.Field(2);
  const bool ok = RunRegTool(call, "unload HKLM\\" + UnescapeField(hive));
  Log(call, ok, std::string(ok ? "unloaded " : "unload ") + "registry hive: \"" + hive + "\"");
}

}  // namespace

void RegisterHiveCommands(CommandSet& set) {
  set.Set("reghiveload", RegHiveLoad);
  set.Set("reghiveunload", RegHiveUnload);
}

}  // namespace pelvar::commands
