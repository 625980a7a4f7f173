// The saved run log "log.txt" in the program folder.
#pragma once

#include <string>
#include <vector>

#include "engine/run_log.h"

namespace pelvar::app {

// Path of the log file in `program_folder` (no trailing separator).
std::string LogFilePath(const std::string& program_folder);

// Writes the texts of `lines`, one per line, each ended by CR LF, replacing
// the file. Returns its path; raises a ScriptError ("Cannot create file ...")
// when the file cannot be written.
std::string WriteLogFile(const std::string& program_folder, const std::vector<LogLine>& lines);

// Writes `lines` to the file at `path` in the detailed form (kind, text,
// reason and place of each line, tab-separated; DetailedLogFileText),
// replacing it. Raises like WriteLogFile.
void WriteDetailedLogFile(const std::string& path, const std::vector<LogLine>& lines);

}  // namespace pelvar::app
