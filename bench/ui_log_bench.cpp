// A batch of one script of 100,000 echo lines: headless (--batch) against
// the main window with the log window shown (offscreen). Reports the times,
// their ratio and the longest gap between two repaints of the log list.
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTreeView>
#include <cstdio>

#include "app/headless_batch.h"
#include "bench/bench_support.h"
#include "ui/desktop_windows.h"
#include "ui/dialogs.h"
#include "ui/log_list_model.h"
#include "ui/log_window.h"
#include "ui/main_window.h"

namespace {

using pelvar::bench::BenchFolder;
using pelvar::bench::Median;
using pelvar::bench::SecondsSince;

constexpr int kLines = 100'000;
constexpr int kRounds = 5;

// Notes when the watched widget paints.
class PaintWatch : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) paints.push_back(clock.nsecsElapsed());
    return QObject::eventFilter(watched, event);
  }
  QElapsedTimer clock;
  std::vector<qint64> paints;
};

double HeadlessSeconds(const pelvar::app::ProgramLocation& location) {
  const pelvar::app::SteadyClock clock;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::fopen("/dev/null", "w");
  const auto start = std::chrono::steady_clock::now();
  pelvar::app::BatchArguments args;
  const int status = pelvar::app::RunHeadlessBatch(args, location, clock, out, err, false);
  const double seconds = SecondsSince(start);
  std::fclose(out);
  std::fclose(err);
  if (status != 0) std::fprintf(stderr, "headless batch ended with %d\n", status);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  BenchFolder folder;
  folder.WriteConfig();
  std::string script = "[main]\ntitle=Echo\nselected=true\n[process]\n";
  for (int i = 0; i < kLines; ++i) script += "echo,1,\"Line " + std::to_string(i) + "\"\n";
  folder.Write("Scripts/echo.script", script);
  const pelvar::app::ProgramLocation location{folder.path(), "pelvar",
                                              folder.path() + "/pelvar.ini", folder.path()};

  pelvar::ui::SilentDialogs dialogs;
  pelvar::ui::SilentShell shell;
  const pelvar::app::SteadyClock clock;
  pelvar::ui::DesktopWindows windows(location, dialogs, shell, clock);
  pelvar::ui::MainWindow& main = windows.main_window();
  main.show();
  windows.log_window().show();
  PaintWatch watch;
  windows.log_window().list().viewport()->installEventFilter(&watch);

  std::vector<double> headless;
  std::vector<double> windowed;
  std::vector<double> gaps;
  for (int round = 0; round < kRounds; ++round) {
    headless.push_back(HeadlessSeconds(location));

    QSignalSpy finished(&main, &pelvar::ui::MainWindow::BatchFinished);
    watch.paints.clear();
    watch.clock.start();
    main.StartBatch();
    if (!finished.wait(120'000)) return 1;
    QApplication::processEvents();
    const qint64 end = watch.clock.nsecsElapsed();
    windowed.push_back(static_cast<double>(end) / 1e9);
    qint64 last = 0;
    qint64 gap = 0;
    for (qint64 t : watch.paints) {
      gap = std::max(gap, t - last);
      last = t;
    }
    gaps.push_back(static_cast<double>(gap) / 1e6);
    if (windows.log_window().model().rowCount() < kLines) {
      std::fprintf(stderr, "the log holds %d lines\n", windows.log_window().model().rowCount());
      return 1;
    }
  }
  const double h = Median(headless);
  const double w = Median(windowed);
  std::printf("lines per batch:            %d\n", kLines);
  std::printf("headless --batch (median):  %.3f s\n", h);
  std::printf("window, log shown (median): %.3f s\n", w);
  std::printf("ratio window/headless:      %.2f (limit 2.00)\n", w / h);
  std::printf("longest repaint gap:        %.1f ms (median of rounds; limit 100)\n", Median(gaps));
  return w / h <= 2.0 && Median(gaps) <= 100.0 ? 0 : 3;
}
