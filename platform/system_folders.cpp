#include "platform/system_folders.h"

#include <unistd.h>

#include <cstdlib>

namespace pelvar::platform {

std::string HostTempDir() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string WorkingFolder() {
  std::string buf(4096, '\0');
  if (::getcwd(buf.data(), buf.size()) == nullptr) return "/";
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return buf;
}

FixedSystemFolders::FixedSystemFolders(std::string windows_dir, std::string system_dir,
                                       std::string program_files_dir)
    : windows_dir_(windows_dir.empty() ? kDefaultWindowsDir : std::move(windows_dir)),
      system_dir_(system_dir.empty() ? kDefaultSystemDir : std::move(system_dir)),
      program_files_dir_(program_files_dir.empty() ? kDefaultProgramFilesDir
                                                   : std::move(program_files_dir)) {}

std::string RunningProgramPath() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace pelvar::platform
