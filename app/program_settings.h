// The settings the windows take from the configuration file when the main
// window is first shown, and what closing the main window writes back.
#pragma once

#include <string>

#include "app/batch_run.h"
#include "app/program_config.h"

namespace pelvar::app {

struct ProgramSettings {
  RunPaths paths;
  BatchOptions run_options;
  bool view_log_after_save = false;
  // The log window's remembered size and first column width; 0: not set.
  int log_width = 0;
  int log_height = 0;
  int log_column_width = 0;
  std::string last_used_folder;
};

// Reads section "main"; flags are on only for the exact text "1".
ProgramSettings ReadProgramSettings(const ProgramConfig& config);

// What closing the main window writes, in this order: log, beep, buildmsg,
// MakeIsoAfterBatch (when on, or when the file has it), then SourceDir,
// TargetDir and IsoFile as they stand (empty ones too).
// Nothing is written when the file does not exist.
void SaveOnClose(ProgramConfig& config, const BatchOptions& options, const RunPaths& paths);

// The log window's size as LogWindowSize holds it: "WIDTH,HEIGHT".
std::string LogSizeText(int width, int height);

// "1" or "0".
inline const char* FlagText(bool on) {
  return on ? "1" : "0";
}

}  // namespace pelvar::app
