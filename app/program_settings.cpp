#include "app/program_settings.h"

namespace pelvar::app {

ProgramSettings ReadProgramSettings(const ProgramConfig& config) {
  ProgramSettings settings;
  settings.paths = config.Paths();
  settings.run_options.write_log_file = config.Flag(config::kLog);
  settings.run_options.beep = config.Flag(config::kBeep);
  settings.run_options.show_message = config.Flag(config::kBuildMsg);
  settings.run_options.make_iso = config.Flag(config::kMakeIsoAfterBatch);
  settings.view_log_after_save = config.Flag(config::kViewLogAfterSave);
  settings.last_used_folder = config.Read(config::kLastUsedFolder);
  return settings;
}

void SaveOnClose(ProgramConfig& config, const BatchOptions& options, const RunPaths& paths) {
  config.Write(config::kLog, FlagText(options.write_log_file));
  config.Write(config::kBeep, FlagText(options.beep));
  config.Write(config::kBuildMsg, FlagText(options.show_message));
  // Written once it was ever turned on, so files without it stay as they are.
  if (options.make_iso || config.Flag(config::kMakeIsoAfterBatch)) {
    config.Write(config::kMakeIsoAfterBatch, FlagText(options.make_iso));
  }
  config.Write(config::kSourceDir, paths.source_dir);
  config.Write(config::kTargetDir, paths.target_dir);
  config.Write(config::kIsoFile, paths.iso_file);
}

}  // namespace pelvar::app
