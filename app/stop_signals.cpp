#include "app/stop_signals.h"

#include <signal.h>

#include <atomic>

namespace pelvar::app {

namespace {

std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler stores into it");

void OnStopSignal(int signal_number) {
  int none = 0;
  if (!g_stop_signal.compare_exchange_strong(none, signal_number)) {
    // Asked twice: end now, as the default action would.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
  }
}

}  // namespace

void InstallStopSignals() {
  static const bool installed = [] {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume: every wait in a command polls the
    // stop request instead.
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
    return true;
  }();
  (void)installed;
}

int StopSignal() {
  return g_stop_signal.load();
}

int StopSignalExitStatus() {
  const int s = StopSignal();
  return s == 0 ? 0 : 128 + s;
}

}  // namespace pelvar::app
