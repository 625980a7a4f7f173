// pelvar --check: the checks of scripts (or of every script in a folder)
// printed in the compilers' form, without changing anything.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/program_config.h"
#include "app/program_location.h"
#include "platform/file_system.h"
#include "platform/services.h"

namespace pelvar::app {

// The services a check expands with: the configured system folders, and
// %programfilesdir% from the registry store when it exists (it is not
// created: a missing store gives the configured default).
class CheckServices {
 public:
  CheckServices(const ProgramConfig& config, const ProgramLocation& location);
  ~CheckServices();
  CheckServices(const CheckServices&) = delete;
  CheckServices& operator=(const CheckServices&) = delete;

  platform::Services& services() { return services_; }

 private:
  struct Owned;
  std::unique_ptr<Owned> owned_;
  platform::Services services_;
};

// The scripts a --check argument names: the file itself, or every ".script"
// file of a folder and its subfolders, sorted by path.
std::vector<std::string> ScriptsToCheck(platform::FileSystem& files, const std::string& argument);

// `args` is the whole command line; args[1] is "--check". Prints every
// finding and a summary on `out`. Exit status 0 when nothing was found, 1
// otherwise, 2 when no script is named.
int RunCheck(const std::vector<std::string>& args, const ProgramLocation& location, std::FILE* out,
             std::FILE* err);

}  // namespace pelvar::app
