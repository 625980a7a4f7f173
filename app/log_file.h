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

}  // namespace pelvar::app
