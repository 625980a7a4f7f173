// The services of a real run, wired from the configuration: the POSIX
// implementations of every platform interface, owned for the program's life.
#pragma once

#include <memory>

#include "app/program_config.h"
#include "app/program_location.h"
#include "platform/services.h"

namespace pelvar::app {

class ProgramServices {
 public:
  ProgramServices(const ProgramConfig& config, const ProgramLocation& location);
  ~ProgramServices();
  ProgramServices(const ProgramServices&) = delete;
  ProgramServices& operator=(const ProgramServices&) = delete;

  platform::Services& services() { return services_; }

 private:
  struct Owned;
  std::unique_ptr<Owned> owned_;
  platform::Services services_;
};

}  // namespace pelvar::app
