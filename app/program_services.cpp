#include "app/program_services.h"

#include "platform/system_folders.h"

namespace pelvar::app {

struct ProgramServices::Owned {
  std::unique_ptr<platform::SystemFolders> folders;
  // processes, downloads and sound:
  // registry:
};

ProgramServices::ProgramServices(const ProgramConfig& config, const ProgramLocation& /*location*/)
    : owned_(std::make_unique<Owned>()) {
  owned_->folders = std::make_unique<platform::FixedSystemFolders>(
      config.Read(config::kWindowsDir), config.Read(config::kWindowsSystemDir),
      config.Read(config::kProgramFilesDir));
  services_.folders = owned_->folders.get();
  // Wiring of processes, downloads and sound:
  // Wiring of the registry:
}

ProgramServices::~ProgramServices() = default;

}  // namespace pelvar::app
