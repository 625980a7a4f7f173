#include "app/log_file.h"

#include "engine/script_error.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

std::string LogFilePath(const std::string& program_folder) {
  if (program_folder == "/") return "/log.txt";
  return program_folder + "/log.txt";
}

std::string WriteLogFile(const std::string& program_folder, const std::vector<LogLine>& lines) {
  const std::string path = LogFilePath(program_folder);
  if (const std::error_code ec = platform::ThreadFileSystem().WriteAll(path, LogFileText(lines))) {
    ThrowCannotCreate(path, platform::SystemMessage(ec));
  }
  return path;
}

void WriteDetailedLogFile(const std::string& path, const std::vector<LogLine>& lines) {
  if (const std::error_code ec =
          platform::ThreadFileSystem().WriteAll(path, DetailedLogFileText(lines))) {
    ThrowCannotCreate(path, platform::SystemMessage(ec));
  }
}

}  // namespace pelvar::app
