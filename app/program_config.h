// The program configuration file: read through the INI model, never created.
#pragma once

#include <string>

#include "app/config_keys.h"
#include "engine/ini_model.h"
#include "engine/script_context.h"

namespace pelvar::app {

class ProgramConfig {
 public:
  // Loads the file; a missing file leaves exists() false.
  static ProgramConfig Load(const std::string& path);

  bool exists() const { return exists_; }
  const std::string& path() const { return path_; }

  // The key's value, or its default when absent (an empty value stays empty).
  std::string Read(const ConfigKey& key) const;
  // True when the key's value is exactly "1".
  bool Flag(const ConfigKey& key) const { return Read(key) == "1"; }
  // Writes one key into the existing file, changing only its line (nothing
  // when it holds the value already); nothing happens without a file.
  bool Write(const ConfigKey& key, const std::string& value);

  // The three working paths of section main.
  RunPaths Paths() const;

 private:
  std::string path_;
  bool exists_ = false;
  IniModel model_;
};

// The message for a missing configuration file; lines are separated by CR.
std::string MissingConfigMessage(const std::string& file_name);

}  // namespace pelvar::app
