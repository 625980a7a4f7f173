#include "platform/recording_launcher.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/overlay_registry.h"
#include "platform/registry_text.h"
#include "platform/windows_command_line.h"

namespace pelvar::platform {

namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

ProcessOutcome ToolFailure(const std::string& message) {
  ProcessOutcome outcome;
  outcome.started = true;
  outcome.exit_code = 1;
  outcome.error_output = "ERROR: " + message + "\n";
  return outcome;
}

}  // namespace

ProcessOutcome RecordingProcessLauncher::RunRegTool(const std::string& parameters) {
  const std::vector<std::string> args = SplitWindowsCommandLine(parameters);
  const std::string syntax = "Invalid syntax. Type \"pelvar-reg /?\" for usage.";
  const std::string verb = AsciiLower(args.empty() ? std::string() : args[0]);
  if (verb != "load" && verb != "unload" && runner_) {
    std::string err;
    ProcessOutcome outcome;
    outcome.started = true;
    outcome.exit_code = runner_(args, err);
    if (outcome.exit_code != 0) {
      std::string first = err.substr(0, err.find('\n'));
      if (first.rfind("ERROR: ", 0) == 0) first.erase(0, 7);
      journal_.Note("! the registry tool would fail: " + first);
    }
    outcome.error_output = std::move(err);
    return outcome;
  }
  if (args.size() < 2) return ToolFailure(syntax);
  if (verb != "load" && verb != "unload") return ToolFailure(syntax);
  // The key: HKLM or HKEY_LOCAL_MACHINE (any case), "\" and one name.
  const std::string& text = args[1];
  const size_t slash = text.find('\\');
  const std::string root = AsciiLower(text.substr(0, slash));
  static const char* const kRoots[] = {"hklm", "hkey_local_machine", "hkcu", "hkey_current_user",
                                       "hkcr", "hkey_classes_root",  "hku",  "hkey_users",
                                       "hkcc", "hkey_current_config"};
  bool known = false;
  for (const char* r : kRoots) known = known || root == r;
  if (!known) return ToolFailure("Invalid key name \"" + text + "\"");
  if (args.size() != (verb == "load" ? 3u : 2u)) return ToolFailure(syntax);
  std::string path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  std::vector<std::string> names;
  if ((root != "hklm" && root != "hkey_local_machine") || !SplitKeyPath(path, names) ||
      names.size() != 1) {
    return ToolFailure("Only a key directly below HKEY_LOCAL_MACHINE can be a mounted hive");
  }
  if (registry_ == nullptr) return ToolFailure("the registry is not available");
  const RegistryResult r =
      verb == "load" ? registry_->LoadHive(names[0], args[2]) : registry_->UnloadHive(names[0]);
  if (!r.ok()) return ToolFailure(r.message);
  ProcessOutcome outcome;
  outcome.started = true;
  outcome.exit_code = 0;
  return outcome;
}

ProcessOutcome RecordingProcessLauncher::Run(const ProcessRequest& request, bool wait) {
  if (!reg_tool_.empty() && request.file == reg_tool_) return RunRegTool(request.parameters);
  std::string text = "! would start \"" + request.file + "\"";
  if (!request.parameters.empty()) text += " " + request.parameters;
  if (request.verb != "open" && !request.verb.empty()) text += " (verb " + request.verb + ")";
  text += wait ? " and wait for it" : "";
  journal_.Note(std::move(text));
  ProcessOutcome outcome;
  outcome.started = true;
  outcome.exit_code = 0;
  return outcome;
}

DownloadOutcome RecordingDownloader::Download(const DownloadRequest& request) {
  journal_.Note("! would download " + request.url + " to " + files_.Resolve(request.destination));
  DownloadOutcome outcome;
  outcome.ok = true;
  return outcome;
}

}  // namespace pelvar::platform
