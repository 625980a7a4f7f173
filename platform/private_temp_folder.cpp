#include "platform/private_temp_folder.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/system_folders.h"

namespace pelvar::platform {

PrivateTempFolder::~PrivateTempFolder() {
  Remove();
}

namespace {

constexpr std::string_view kPrefix = "pelvar-";

// The owner's process id in a name "pelvar-<pid>-XXXXXX"; 0 when the name has
// another form.
pid_t OwnerOfName(std::string_view name) {
  if (name.substr(0, kPrefix.size()) != kPrefix) return 0;
  name.remove_prefix(kPrefix.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash > 9 || name.size() - dash - 1 != 6) {
    return 0;
  }
  pid_t pid = 0;
  for (const char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

}  // namespace

int PrivateTempFolder::RemoveOrphans(const std::string& temp_dir) {
  DIR* dir = ::opendir(temp_dir.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = OwnerOfName(entry->d_name);
    if (owner <= 0 || owner == ::getpid()) continue;
    // Still running (or running as someone else, who would own the folder).
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    const std::string path = temp_dir + entry->d_name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != me) continue;
    std::error_code ec;
    if (std::filesystem::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec) ++removed;
  }
  ::closedir(dir);
  return removed;
}

std::error_code PrivateTempFolder::MakeFolder(std::string& path) {
  static const bool swept = [] {
    RemoveOrphans(HostTempDir());
    return true;
  }();
  (void)swept;
  const std::string templ =
      HostTempDir() + std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) return {errno, std::system_category()};
  path = name.data();
  return {};
}

std::error_code PrivateTempFolder::Create() {
  Remove();
  return MakeFolder(path_);
}

void PrivateTempFolder::Remove() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  path_.clear();
}

}  // namespace pelvar::platform
