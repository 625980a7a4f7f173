// The main window's start-up with an empty script folder against a folder of
// 1,000 scripts: each measured as a whole program start (a child process:
// toolkit start-up, windows, configuration load, listing, first showing).
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QTreeView>
#include <cstdio>
#include <string>

#include "bench/bench_support.h"
#include "ui/desktop_windows.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/script_list_model.h"

namespace {

using pelvar::bench::BenchFolder;
using pelvar::bench::Median;
using pelvar::bench::SecondsSince;

constexpr int kRounds = 15;

// The child: shows the main window of the program folder and ends once it
// has been painted with its list.
int ShowMain(int argc, char** argv, const std::string& home) {
  QApplication application(argc, argv);
  pelvar::ui::SilentDialogs dialogs;
  pelvar::ui::SilentShell shell;
  const pelvar::app::SteadyClock clock;
  pelvar::ui::DesktopWindows windows({home, "pelvar", home + "/pelvar.ini", home}, dialogs, shell,
                                     clock);
  const auto start = std::chrono::steady_clock::now();
  windows.main_window().show();
  const double shown = SecondsSince(start);
  QApplication::processEvents();
  windows.main_window().repaint();
  if (std::getenv("PELVAR_BENCH_VERBOSE") != nullptr) {
    std::fprintf(stderr, "show %.1f ms, painted %.1f ms\n", shown * 1e3, SecondsSince(start) * 1e3);
  }
  return windows.main_window().scripts().rowCount() >= 0 ? 0 : 1;
}

double TimeChild(const char* self, const std::string& home) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(self, self, "--child", home.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double seconds = SecondsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "child failed\n");
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc == 3 && std::string(argv[1]) == "--child") return ShowMain(argc, argv, argv[2]);

  BenchFolder empty;
  empty.WriteConfig();
  empty.Write("Scripts/readme.txt", "no scripts here\n");
  BenchFolder full;
  full.WriteConfig();
  for (int i = 0; i < 1000; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "Scripts/group%d/script%04d.script", i % 10, i);
    full.Write(name, "[main]\ntitle=Script " + std::to_string(i) + "\ndescription=Number " +
                         std::to_string(i) + "\nauthor=Bench\nlevel=" + std::to_string(1 + i % 6) +
                         "\nselected=" + (i % 2 ? "true" : "false") +
                         "\n[process]\necho,1,one\necho,1,two\n");
  }
  std::vector<double> e;
  std::vector<double> f;
  TimeChild(argv[0], empty.path());  // warms the caches of both kinds
  TimeChild(argv[0], full.path());
  for (int round = 0; round < kRounds; ++round) {
    e.push_back(TimeChild(argv[0], empty.path()));
    f.push_back(TimeChild(argv[0], full.path()));
  }
  const double me = Median(e);
  const double mf = Median(f);
  std::printf("empty folder, start to shown (median):  %.3f s\n", me);
  std::printf("1,000 scripts, start to shown (median): %.3f s\n", mf);
  std::printf("ratio:                                  %.2f (limit 1.50)\n", mf / me);
  return mf / me <= 1.5 ? 0 : 3;
}
