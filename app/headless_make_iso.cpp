#include "app/headless_make_iso.h"

#include "app/console_run_view.h"
#include "app/headless_run.h"
#include "app/make_iso.h"
#include "app/program_services.h"
#include "app/program_settings.h"
#include "app/stop_signals.h"
#include "engine/text.h"

namespace pelvar::app {

MakeIsoArguments ParseMakeIsoArguments(const std::vector<std::string>& args) {
  MakeIsoArguments out;
  out.options = ParseRunArguments(args);
  for (size_t i = 2; i < args.size(); ++i) {
    if (IContains(args[i], "/Label=")) out.label = IReplaceAll(args[i], "/Label=", "");
  }
  return out;
}

int RunHeadlessMakeIso(const MakeIsoArguments& args, const ProgramLocation& location,
                       std::FILE* out, std::FILE* err, bool terminal) {
  ProgramConfig config = ProgramConfig::Load(location.config_path);
  if (!config.exists()) {
    PrintConsoleMessage(err, MissingConfigMessage(location.ConfigFileName()));
    return kExitMissingFile;
  }
  const ProgramSettings settings = ReadProgramSettings(config);
  MakeIsoRequest request;
  request.target_dir = args.options.target_dir.value_or(settings.paths.target_dir);
  request.iso_file = args.options.iso_file.value_or(settings.paths.iso_file);
  request.label = args.label.value_or("");
  if (args.label && args.label->empty()) {
    PrintConsoleMessage(err, "pelvar --make-iso: /Label= needs a label");
    return kExitNotStarted;
  }

  ProgramServices services(config, location);
  ConsoleRunView view(out, err, terminal, /*keep_lines=*/false);
  const MakeIsoResult result = MakeIso(request, services.services(), view);
  view.Flush();
  if (StopSignal() != 0) return StopSignalExitStatus();
  switch (result) {
    case MakeIsoResult::kMade:
      return kExitCompleted;
    case MakeIsoResult::kRefused:
      return kExitNotStarted;
    case MakeIsoResult::kFailed:
    case MakeIsoResult::kStopped:
      return CompletedStatus(view.failures(), err);
  }
  return kExitError;
}

}  // namespace pelvar::app
