#include "platform/module_loader.h"

#include <dlfcn.h>

namespace pelvar::platform {

LoadedModule::~LoadedModule() {
  // The module stays mapped: objects it created may outlive this handle
  // until the process ends (static destructors of the toolkit).
}

std::unique_ptr<LoadedModule> LoadedModule::Open(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) {
      const char* message = ::dlerror();
      *error = message != nullptr ? message : "cannot load " + path;
    }
    return nullptr;
  }
  return std::unique_ptr<LoadedModule>(new LoadedModule(handle));
}

void* LoadedModule::Symbol(const char* name) const {
  return ::dlsym(handle_, name);
}

}  // namespace pelvar::platform
