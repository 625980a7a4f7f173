#include "platform/commit_before_start.h"

#include "platform/host_registry.h"

namespace pelvar::platform {

ProcessOutcome CommitBeforeStart::Run(const ProcessRequest& request, bool wait) {
  registry_.CommitBeforeStart();
  return inner_.Run(request, wait);
}

}  // namespace pelvar::platform
