// libcurl, loaded on first use: programs that never download do not pay for
// loading it and the many libraries it depends on.
#pragma once

#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>

#include <string>

namespace pelvar::platform {

struct CurlLibrary {
  CURL* (*easy_init)() = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_perform)(CURL*) = nullptr;
  const char* (*easy_strerror)(CURLcode) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  CURLcode (*global_init)(long) = nullptr;
  // Empty when loaded; otherwise why the library could not be used.
  std::string error;
};

// The library, loaded and initialised once (thread-safe).
const CurlLibrary& Curl();

}  // namespace pelvar::platform
