// Time as the runs measure it, injectable so that tests fix the readings.
#pragma once

#include <chrono>

namespace pelvar::app {

class Clock {
 public:
  virtual ~Clock() = default;
  // A monotonic reading; only differences between readings matter.
  virtual std::chrono::milliseconds Now() const = 0;
};

// The system's steady clock.
class SteadyClock : public Clock {
 public:
  std::chrono::milliseconds Now() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
  }
};

}  // namespace pelvar::app
