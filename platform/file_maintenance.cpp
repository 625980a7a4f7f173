#include "platform/file_maintenance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/file_system.h"

namespace pelvar::platform {

std::error_code RemoveFile(std::string_view script_path) {
  const std::string host = HostPath(script_path);
  if (::unlink(host.c_str()) != 0 && errno != ENOENT) return {errno, std::system_category()};
  return {};
}

std::error_code MakeFolderTree(std::string_view script_path) {
  const std::string host = HostPath(script_path);
  if (host.empty()) return {ENOENT, std::system_category()};
  std::error_code ec;
  std::filesystem::create_directories(host, ec);
  if (ec) return ec;
  if (!IsDirectory(script_path)) return {ENOTDIR, std::system_category()};
  return {};
}

std::error_code MakeExecutable(std::string_view script_path) {
  const std::string host = HostPath(script_path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return {errno, std::system_category()};
  const mode_t mode = st.st_mode & 07777;
  const mode_t exec = (mode & 0444) >> 2;
  if (::chmod(host.c_str(), mode | exec) != 0) return {errno, std::system_category()};
  return {};
}

}  // namespace pelvar::platform
