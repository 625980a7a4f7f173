// The services of a real run, wired from the configuration: the POSIX
// implementations of every platform interface, owned for the program's life.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "app/program_config.h"
#include "app/program_location.h"
#include "platform/services.h"

namespace pelvar::app {

// The webget size limit of the configuration: a number of bytes; 0 (no limit)
// for an empty or unreadable value.
uint64_t DownloadSizeLimit(std::string_view text);

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
