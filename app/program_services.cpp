#include "app/program_services.h"

#include <charconv>

#include "app/program_registry.h"
#include "app/registry_system_folders.h"
#include "engine/text.h"
#include "platform/commit_before_start.h"
#include "platform/curl_downloader.h"
#include "platform/host_registry.h"
#include "platform/posix_file_system.h"
#include "platform/posix_process_launcher.h"
#include "platform/posix_sound.h"
#include "platform/registry_tool_stand_ins.h"
#include "platform/system_folders.h"
#include "platform/terminal.h"
#include "platform/xorriso_iso_image.h"

namespace pelvar::app {

struct ProgramServices::Owned {
  platform::PosixFileSystem files;
  std::unique_ptr<platform::SystemFolders> folders;
  // processes, downloads and sound:
  std::unique_ptr<platform::PosixProcessLauncher> processes;
  std::unique_ptr<platform::CommitBeforeStart> committing_processes;
  std::unique_ptr<platform::RegistryStandInLauncher> stand_ins;
  std::unique_ptr<platform::CurlDownloader> downloads;
  std::unique_ptr<platform::PosixSound> sound;
  platform::XorrisoIsoImage images;
  // registry:
  std::unique_ptr<platform::HostRegistry> registry;
};

uint64_t DownloadSizeLimit(std::string_view text) {
  const std::string_view digits = TrimControl(text);
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return 0;
  return value;
}

ProgramServices::ProgramServices(const ProgramConfig& config, const ProgramLocation& location)
    : owned_(std::make_unique<Owned>()) {
  services_.files = &owned_->files;
  // %programfilesdir% is read from the registry.
  owned_->registry = OpenProgramRegistry(config, location);
  owned_->folders = std::make_unique<RegistrySystemFolders>(
      owned_->files, RegistryStorePath(location), SeedProgramFilesDir(config),
      config.Read(config::kWindowsDir), config.Read(config::kWindowsSystemDir));
  services_.folders = owned_->folders.get();
  // Wiring of processes, downloads and sound:
  owned_->processes = std::make_unique<platform::PosixProcessLauncher>();
  // A download's progress reaches the terminal through the run's view.
  platform::DownloadLimits limits;
  limits.max_bytes = DownloadSizeLimit(config.Read(config::kWebGetMaxBytes));
  owned_->downloads = std::make_unique<platform::CurlDownloader>(&owned_->files, -1, limits);
  owned_->sound =
      std::make_unique<platform::PosixSound>(platform::ErrorTerminalFd(), owned_->processes.get());
  // A program started by a script sees the hives as the script left them.
  owned_->committing_processes =
      std::make_unique<platform::CommitBeforeStart>(*owned_->processes, *owned_->registry);
  services_.downloads = owned_->downloads.get();
  services_.sound = owned_->sound.get();
  services_.images = &owned_->images;
  // Wiring of the registry:
  services_.registry = owned_->registry.get();
  services_.reg_tool = RegToolPath(location);
  // reg and regedit, which scripts start, are the registry tool.
  owned_->stand_ins = std::make_unique<platform::RegistryStandInLauncher>(
      *owned_->committing_processes, services_.reg_tool);
  services_.processes = owned_->stand_ins.get();
}

ProgramServices::~ProgramServices() = default;

}  // namespace pelvar::app
