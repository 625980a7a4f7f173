#include "app/program_config.h"

#include "engine/ini_file.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

ProgramConfig ProgramConfig::Load(const std::string& path) {
  ProgramConfig config;
  config.path_ = path;
  config.exists_ = platform::ThreadFileSystem().IsFile(path);
  if (config.exists_) config.model_ = IniModel::Load(path);
  return config;
}

std::string ProgramConfig::Read(const ConfigKey& key) const {
  return model_.ReadString(key.section, key.key, key.fallback);
}

bool ProgramConfig::Write(const ConfigKey& key, const std::string& value) {
  // A value that is there already is not written again, and a write changes
  // only its own line: the user's comments, layout and bytes stay.
  const std::string* line = model_.FindValue(key.section, key.key);
  if (line != nullptr && std::string_view(*line).substr(line->find('=') + 1) == value) return true;
  if (!WriteIniKey(path_, key.section, key.key, value)) return false;
  model_.WriteKey(key.section, key.key, value);
  return true;
}

RunPaths ProgramConfig::Paths() const {
  return RunPaths{Read(config::kTargetDir), Read(config::kSourceDir), Read(config::kIsoFile)};
}

std::string MissingConfigMessage(const std::string& file_name) {
  return "\"" + file_name + "\" file was not found!\rIf the application name has changed,\r" +
         "you may also need to rename the ini file.";
}

}  // namespace pelvar::app
