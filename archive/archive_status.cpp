#include "archive/archive_status.h"

#include "platform/file_system.h"

namespace pelvar::archive {

ArchiveStatus ArchiveStatus::CannotCreate(std::string_view path, std::error_code ec) {
  return Failure("Cannot create file \"" + std::string(path) + "\". " +
                 platform::SystemMessage(ec));
}

}  // namespace pelvar::archive
