#include "platform/curl_library.h"

#include <dlfcn.h>

namespace pelvar::platform {

namespace {

template <typename F>
bool Resolve(void* handle, const char* name, F& out, std::string& error) {
  out = reinterpret_cast<F>(::dlsym(handle, name));
  if (out == nullptr && error.empty()) error = std::string("libcurl has no ") + name;
  return out != nullptr;
}

CurlLibrary LoadCurl() {
  CurlLibrary lib;
  void* handle = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* message = ::dlerror();
    lib.error = std::string("libcurl cannot be loaded: ") + (message != nullptr ? message : "");
    return lib;
  }
  Resolve(handle, "curl_easy_init", lib.easy_init, lib.error);
  Resolve(handle, "curl_easy_cleanup", lib.easy_cleanup, lib.error);
  Resolve(handle, "curl_easy_setopt", lib.easy_setopt, lib.error);
  Resolve(handle, "curl_easy_perform", lib.easy_perform, lib.error);
  Resolve(handle, "curl_easy_strerror", lib.easy_strerror, lib.error);
  Resolve(handle, "curl_easy_getinfo", lib.easy_getinfo, lib.error);
  Resolve(handle, "curl_global_init", lib.global_init, lib.error);
  if (lib.error.empty()) lib.global_init(CURL_GLOBAL_DEFAULT);
  return lib;
}

}  // namespace

const CurlLibrary& Curl() {
  static const CurlLibrary library = LoadCurl();
  return library;
}

}  // namespace pelvar::platform
