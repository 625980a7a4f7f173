// Small driver for the engine benchmarks (bench/engine.sh): each subcommand
// does one measured operation, so whole-process times compare with peers.
//   ini_tool_bench make-ini FILE LINES BYTES      write a test INI file
//   ini_tool_bench make-keys FILE KEYS LEN        one section of KEYS keys
//   ini_tool_bench write FILE SECTION KEY VALUE   one WriteIniKey
//   ini_tool_bench load FILE                      load the model once
//   ini_tool_bench read-keys FILE SECTION KEYS    load, then read keys 0..KEYS-1
// Every subcommand prints its peak resident memory on stderr.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "engine/ini_file.h"
#include "engine/ini_model.h"

namespace {

long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

int Usage() {
  std::fputs("usage: see the comment at the top of bench/ini_tool_bench.cpp\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string cmd = argv[1];
  const std::string file = argv[2];
  int status = 0;
  if (cmd == "make-ini" && argc == 5) {
    const long lines = std::atol(argv[3]);
    const long bytes = std::atol(argv[4]);
    const long per_line = bytes / lines;
    std::ofstream out(file, std::ios::binary);
    long section = 0;
    for (long i = 0; i < lines; ++i) {
      if (i % 500 == 0) out << "[section" << section++ << "]\r\n";
      std::string line = "key" + std::to_string(i) + " = ";
      line.append(static_cast<size_t>(per_line > 20 ? per_line - 20 : 1), 'v');
      out << line << "\r\n";
    }
  } else if (cmd == "make-keys" && argc == 5) {
    const long keys = std::atol(argv[3]);
    const long len = std::atol(argv[4]);
    std::ofstream out(file, std::ios::binary);
    out << "[EncodedFile-Data-big.bin]\r\nlines=" << keys << "\r\n";
    const std::string value(static_cast<size_t>(len), 'Q');
    for (long i = 0; i < keys; ++i) out << i << "=" << value << "\r\n";
  } else if (cmd == "write" && argc == 6) {
    status = pelvar::WriteIniKey(file, argv[3], argv[4], argv[5]) ? 0 : 1;
  } else if (cmd == "load" && argc == 3) {
    const pelvar::IniModel model = pelvar::IniModel::Load(file);
    status = model.sections().empty() ? 1 : 0;
  } else if (cmd == "read-keys" && argc == 5) {
    const pelvar::IniModel model = pelvar::IniModel::Load(file);
    const long keys = std::atol(argv[4]);
    size_t total = 0;
    for (long i = 0; i < keys; ++i) {
      const std::string* line = model.FindValue(argv[3], std::to_string(i));
      if (line == nullptr) return 1;
      total += line->size();
    }
    status = total > 0 ? 0 : 1;
  } else {
    return Usage();
  }
  std::fprintf(stderr, "peak_kib=%ld\n", PeakKiB());
  return status;
}
