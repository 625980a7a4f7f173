// A process launcher that commits the registry's open hives before it starts
// a program, so that the program (the registry tool among them) finds every
// change written and no hive locked.
#pragma once

#include "platform/process_launcher.h"

namespace pelvar::platform {

class HostRegistry;

class CommitBeforeStart : public ProcessLauncher {
 public:
  CommitBeforeStart(ProcessLauncher& inner, HostRegistry& registry)
      : inner_(inner), registry_(registry) {}

  ProcessOutcome Run(const ProcessRequest& request, bool wait) override;

 private:
  ProcessLauncher& inner_;
  HostRegistry& registry_;
};

}  // namespace pelvar::platform
