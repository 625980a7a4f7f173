#include "app/program_settings.h"

#include <string_view>

namespace pelvar::app {

namespace {

// A positive decimal number below 100,000 (a size in pixels); 0 otherwise.
int Pixels(std::string_view text) {
  int value = 0;
  if (text.empty() || text.size() > 5) return 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string LogSizeText(int width, int height) {
  return std::to_string(width) + "," + std::to_string(height);
}

ProgramSettings ReadProgramSettings(const ProgramConfig& config) {
  ProgramSettings settings;
  settings.paths = config.Paths();
  settings.run_options.write_log_file = config.Flag(config::kLog);
  settings.run_options.beep = config.Flag(config::kBeep);
  settings.run_options.show_message = config.Flag(config::kBuildMsg);
  settings.run_options.make_iso = config.Flag(config::kMakeIsoAfterBatch);
  settings.view_log_after_save = config.Flag(config::kViewLogAfterSave);
  settings.last_used_folder = config.Read(config::kLastUsedFolder);
  const std::string size = config.Read(config::kLogWindowSize);
  const size_t comma = size.find(',');
  if (comma != std::string::npos) {
    settings.log_width = Pixels(std::string_view(size).substr(0, comma));
    settings.log_height = Pixels(std::string_view(size).substr(comma + 1));
    if (settings.log_width == 0 || settings.log_height == 0) {
      settings.log_width = 0;
      settings.log_height = 0;
    }
  }
  settings.log_column_width = Pixels(config.Read(config::kLogColumnWidth));
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
