// The registry programs that scripts start, which this system does not
// have, run as the registry tool (pelvar-reg) instead:
//
// | started                        | runs                          |
// |--------------------------------|-------------------------------|
// | reg ARGS                       | pelvar-reg ARGS               |
// | regedit [/s] FILE.reg          | pelvar-reg import FILE.reg    |
// | regedit /e FILE KEY            | pelvar-reg export KEY FILE /y |
// | regedit /a FILE KEY            | the same with /a (8-bit)      |
// | a .reg file opened as document | pelvar-reg import FILE.reg    |
//
// A program is recognised by its file name without the folder, in any
// letter case, with or without ".exe". The tool runs in place of the
// program, with its status as the program's and its messages (all of
// them) on standard error, whatever show mode was asked for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_launcher.h"

namespace pelvar::platform {

enum class RegistryStandIn { kNone, kReg, kRegedit, kRegDocument };

// Which stand-in, if any, takes a start of `file` with `verb`.
RegistryStandIn RegistryStandInFor(std::string_view file, std::string_view verb);

// The registry tool's arguments for the start (a stand-in's `parameters`,
// or the document `file`).
std::vector<std::string> RegistryStandInArguments(RegistryStandIn stand_in, std::string_view file,
                                                  std::string_view parameters);

// A launcher that runs the registry tool at `reg_tool` for the starts a
// stand-in takes, and hands every other request to `inner`.
class RegistryStandInLauncher : public ProcessLauncher {
 public:
  RegistryStandInLauncher(ProcessLauncher& inner, std::string reg_tool)
      : inner_(inner), reg_tool_(std::move(reg_tool)) {}
  ProcessOutcome Run(const ProcessRequest& request, bool wait) override;

 private:
  ProcessLauncher& inner_;
  std::string reg_tool_;
};

}  // namespace pelvar::platform
