// The image of the target folder without a window (pelvar --make-iso): the
// paths come from pelvar.ini, /TargetDir=, /IsoFile= and /Label= override
// them, and the log lines are printed as a headless run prints them.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/program_location.h"
#include "app/run_arguments.h"

namespace pelvar::app {

struct MakeIsoArguments {
  RunArguments options;  // /TargetDir= and /IsoFile= for this image only
  std::optional<std::string> label;
};

// `args` is the whole command line; args[1] is "--make-iso". "/Label=" is
// matched ignoring case anywhere inside an argument, as the path options.
MakeIsoArguments ParseMakeIsoArguments(const std::vector<std::string>& args);

// Makes the image. Exit status 0 when it was made, 3 when a check refused
// it before anything was written, 4 when writing or its comparison failed,
// 2 without pelvar.ini, 128 + the signal's number when a signal stopped it.
int RunHeadlessMakeIso(const MakeIsoArguments& args, const ProgramLocation& location,
                       std::FILE* out, std::FILE* err, bool terminal);

}  // namespace pelvar::app
