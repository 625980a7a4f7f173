// Small helpers of the benchmarks: a private program folder and timing.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelvar::bench {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A program folder under the temporary folder, removed at the end.
class BenchFolder {
 public:
  BenchFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "pelvar-bench-XXXXXX").string();
    path_ = ::mkdtemp(templ.data());
  }
  ~BenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string Write(const std::string& relative, const std::string& text) const {
    const std::filesystem::path p = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  // A configuration whose paths pass the batch's checks.
  void WriteConfig(const std::string& folder = "Scripts") const {
    Write("pelvar.ini", "[main]\ntargetdir=" + path_ + "/target\nsourcedir=" + path_ +
                            "\nisofile=" + path_ + "/x.iso\nlog=0\nLastUsedFolder=" + folder +
                            "\n");
  }

 private:
  std::string path_;
};

}  // namespace pelvar::bench
