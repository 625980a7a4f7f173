#include "app/elapsed_time.h"

namespace pelvar::app {

namespace {

void AppendPart(std::string& out, long long count, const char* one, const char* many) {
  if (count == 1) {
    out += "1";
    out += one;
  } else if (count > 1) {
    out += std::to_string(count);
    out += many;
  }
}

}  // namespace

std::string ElapsedTimeWording(std::chrono::milliseconds elapsed) {
  long long ms = elapsed.count();
  if (ms < 0) ms = 0;
  const long long hours = (ms / 3'600'000) % 24;
  const long long minutes = (ms / 60'000) % 60;
  const long long seconds = (ms / 1000) % 60;
  const long long millis = ms % 1000;
  std::string out;
  AppendPart(out, hours, " hour, ", " hours, ");
  AppendPart(out, minutes, " minute, ", " minutes, ");
  AppendPart(out, seconds, " second and ", " seconds and ");
  AppendPart(out, millis, " milisecond", " miliseconds");
  return out;
}

}  // namespace pelvar::app
