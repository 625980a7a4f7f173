// Loading a shared module at run time, so that parts of the program with
// heavy dependencies (the windows and their toolkit) cost nothing until used.
#pragma once

#include <memory>
#include <string>

namespace pelvar::platform {

class LoadedModule {
 public:
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  // Loads the module at `path` (a host path); nullptr with `error` set when
  // it cannot be loaded.
  static std::unique_ptr<LoadedModule> Open(const std::string& path, std::string* error);
  // The address of an exported symbol, or nullptr.
  void* Symbol(const char* name) const;

 private:
  explicit LoadedModule(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace pelvar::platform
