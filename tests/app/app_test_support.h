// Fakes for the app layer's seams: a clock that reads what the test sets and
// a batch host that records what the batch asked for.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/clock.h"

namespace pelvar::testing {

// Each reading returns the next value of `readings` (the last one repeats).
class FakeClock : public app::Clock {
 public:
  std::chrono::milliseconds Now() const override {
    const size_t i = next_ < readings.size() ? next_++ : readings.size() - 1;
    return readings.empty() ? std::chrono::milliseconds(0) : readings[i];
  }
  std::vector<std::chrono::milliseconds> readings;

 private:
  mutable size_t next_ = 0;
};

class RecordingHost : public app::BatchHost {
 public:
  void ShowInformation(std::string_view text) override { calls.push_back("info:" + S(text)); }
  void ShowError(std::string_view text) override { calls.push_back("error:" + S(text)); }
  void SetProgressPanelVisible(bool visible) override {
    calls.push_back(visible ? "panel:on" : "panel:off");
  }
  void SetRunTitle(std::string_view text) override { calls.push_back("title:" + S(text)); }
  void ClearLog() override { calls.push_back("clear"); }
  void SelectLogLine(size_t index) override { calls.push_back("select:" + std::to_string(index)); }
  void Beep() override { calls.push_back("beep"); }

  std::vector<std::string> calls;

 private:
  static std::string S(std::string_view text) { return std::string(text); }
};

}  // namespace pelvar::testing
