// Throughput of `webget` against the curl command-line tool: both fetch the
// same 200 MB file from a loopback server in the same run, in alternating
// rounds after a warm-up, and the medians are compared.
//
//   webget_bench [rounds]      (default 5)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/builtin_commands.h"
#include "engine/script_context.h"
#include "platform/curl_downloader.h"
#include "platform/system_folders.h"
#include "tests/support/loopback_http_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr long long kFileBytes = 200LL * 1024 * 1024;

// A view that shows nothing but keeps the log.
class QuietView : public pelvar::RunView {
 public:
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void SetStatus(std::string_view) override {}
  void AddLog(std::string_view text, pelvar::LogKind kind, pelvar::LogReveal) override {
    last_text = text;
    last_kind = kind;
  }
  void ShowMessage(pelvar::MessageKind, std::string_view, std::string_view) override {}
  std::string last_text;
  pelvar::LogKind last_kind = pelvar::LogKind::kFailure;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long long FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char templ[] = "/tmp/pelvar-webget-bench-XXXXXX";
  if (::mkdtemp(templ) == nullptr) return 1;
  const std::string dir = templ;
  const std::string source = dir + "/big.bin";
  {
    std::ofstream out(source, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (long long written = 0; written < kFileBytes;
         written += static_cast<long long>(block.size())) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  pelvar::testing::LoopbackHttpServer server([&](const std::string&) {
    pelvar::testing::HttpReply r;
    r.file = source;
    return r;
  });
  const std::string url = server.Url("/big.bin");

  pelvar::platform::FixedSystemFolders folders;
  pelvar::platform::CurlDownloader downloader;
  pelvar::platform::Services services;
  services.folders = &folders;
  services.downloads = &downloader;
  QuietView view;
  const std::string script = dir + "/get.script";
  const std::string ours_dest = dir + "/ours.bin";
  std::ofstream(script) << "[process]\nwebget,1," << url << "," << ours_dest << "\n";

  const std::string curl_dest = dir + "/curl.bin";
  const std::string curl_cmd = "curl -s -o '" + curl_dest + "' '" + url + "'";

  auto run_ours = [&] {
    const auto start = Clock::now();
    pelvar::ScriptContext context =
        pelvar::CreateScriptContext({}, view, pelvar::commands::BuiltinCommands(), services);
    pelvar::RunScript(context, script, "process");
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (view.last_kind != pelvar::LogKind::kSuccess || FileSize(ours_dest) != kFileBytes) {
      std::fprintf(stderr, "webget failed: %s\n", view.last_text.c_str());
      std::exit(1);
    }
    return s;
  };
  auto run_curl = [&] {
    const auto start = Clock::now();
    const int status = std::system(curl_cmd.c_str());
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0 || FileSize(curl_dest) != kFileBytes) {
      std::fprintf(stderr, "curl failed\n");
      std::exit(1);
    }
    return s;
  };

  run_curl();  // warm-up: page cache, sockets, the libraries
  run_ours();
  std::vector<double> ours;
  std::vector<double> curl;
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      ours.push_back(run_ours());
      curl.push_back(run_curl());
    } else {
      curl.push_back(run_curl());
      ours.push_back(run_ours());
    }
  }
  const double mb = static_cast<double>(kFileBytes) / (1024.0 * 1024.0);
  const double ours_s = Median(ours);
  const double curl_s = Median(curl);
  std::printf("webget of %.0f MB over loopback, %d rounds (medians)\n", mb, rounds);
  std::printf("  webget: %.3f s  %.0f MB/s\n", ours_s, mb / ours_s);
  std::printf("  curl:   %.3f s  %.0f MB/s\n", curl_s, mb / curl_s);
  std::printf("  throughput ratio webget/curl: %.2f (target >= 0.80)\n", curl_s / ours_s);

  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
