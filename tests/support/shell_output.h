// Runs a shell command line in tests and captures what it prints, for
// checking files with independent tools.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace pelvar::testing {

struct ShellOutput {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string out;  // standard output (standard error is not captured)
};

inline ShellOutput RunShell(const std::string& command) {
  ShellOutput o;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return o;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) o.out.append(buf.data(), n);
  const int st = ::pclose(p);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return o;
}

// The text in single quotes for the shell.
inline std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace pelvar::testing
