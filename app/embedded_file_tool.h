// The command-line way to manage the files embedded in a script:
//
//   pelvar --embed SCRIPT FOLDER FILE...
//   pelvar --list-embedded SCRIPT
//   pelvar --extract-embedded SCRIPT FOLDER FILE DEST
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pelvar::app {

// Runs the tool when args[1] names one of its options, returning the exit
// status: 0 done, 1 a file could not be embedded or extracted (or an error
// ended the work), 2 wrong arguments or a missing script. nullopt for any
// other command line.
std::optional<int> RunEmbeddedFileTool(const std::vector<std::string>& args, std::FILE* out,
                                       std::FILE* err);

}  // namespace pelvar::app
