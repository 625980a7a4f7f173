// The wording of a run's processing time.
#pragma once

#include <chrono>
#include <string>

namespace pelvar::app {

// Hours (0 to 23), minutes, seconds and milliseconds, each left out when 0:
// "1 hour, ", "2 hours, ", "1 minute, ", "3 minutes, ", "1 second and ",
// "5 seconds and ", "1 milisecond", "7 miliseconds", joined in that order.
std::string ElapsedTimeWording(std::chrono::milliseconds elapsed);

}  // namespace pelvar::app
