#include "platform/temp_names.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace pelvar::platform {

namespace {

constexpr std::string_view kPrefix = ".pvt";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string TemporaryFileName() {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
  // A step of splitmix64 spreads the bits of the clock and the counter.
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  x ^= x >> 31;
  char name[48];
  std::snprintf(name, sizeof name, "%.*s%ld-%08llx", static_cast<int>(kPrefix.size()),
                kPrefix.data(), static_cast<long>(::getpid()),
                static_cast<unsigned long long>(x & 0xFFFFFFFFu));
  return name;
}

bool IsTemporaryFileName(std::string_view name, pid_t* owner) {
  if (name.substr(0, kPrefix.size()) != kPrefix) return false;
  size_t i = kPrefix.size();
  long pid = 0;
  const size_t digits_from = i;
  while (i < name.size() && IsDigit(name[i]) && i - digits_from < 10) {
    pid = pid * 10 + (name[i] - '0');
    ++i;
  }
  if (i == digits_from || i >= name.size() || name[i] != '-') return false;
  ++i;
  if (name.size() - i != 8) return false;
  for (; i < name.size(); ++i) {
    if (!IsHexDigit(name[i])) return false;
  }
  if (owner != nullptr) *owner = static_cast<pid_t>(pid);
  return pid > 0;
}

bool IsLeftoverFileName(std::string_view name) {
  pid_t owner = 0;
  if (!IsTemporaryFileName(name, &owner)) return false;
  if (owner == ::getpid()) return false;
  return ::kill(owner, 0) != 0 && errno == ESRCH;
}

}  // namespace pelvar::platform
