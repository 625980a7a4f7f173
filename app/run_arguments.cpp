#include "app/run_arguments.h"

#include "engine/text.h"

namespace pelvar::app {

RunArguments ParseRunArguments(const std::vector<std::string>& args) {
  RunArguments out;
  if (args.size() > 1) {
    out.script = args[1];
    out.has_script = true;
  }
  for (const auto& arg : args) {
    if (IContains(arg, "/silent")) out.silent = true;
    if (IContains(arg, "/PressKey")) out.press_key = true;
    if (IContains(arg, "/TargetDir=")) out.target_dir = IReplaceAll(arg, "/TargetDir=", "");
    if (IContains(arg, "/SourceDir=")) out.source_dir = IReplaceAll(arg, "/SourceDir=", "");
    if (IContains(arg, "/IsoFile=")) out.iso_file = IReplaceAll(arg, "/IsoFile=", "");
  }
  return out;
}

void AnchorScriptPath(RunArguments& run, const std::string& working_folder) {
  if (run.script.empty() || IsPathSeparator(run.script.front())) return;
  std::string anchored = working_folder;
  if (anchored.empty() || !IsPathSeparator(anchored.back())) anchored += '/';
  run.script = anchored + run.script;
}

}  // namespace pelvar::app
