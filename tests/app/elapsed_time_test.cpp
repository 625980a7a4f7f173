#include "app/elapsed_time.h"

#include <gtest/gtest.h>

namespace pelvar::app {
namespace {

using std::chrono::milliseconds;

TEST(ElapsedTimeTest, SingularAndPluralForms) {
  EXPECT_EQ(ElapsedTimeWording(milliseconds(61'001)), "1 minute, 1 second and 1 milisecond");
  EXPECT_EQ(ElapsedTimeWording(milliseconds(2 * 3'600'000 + 3 * 60'000 + 4'000 + 250)),
            "2 hours, 3 minutes, 4 seconds and 250 miliseconds");
  EXPECT_EQ(ElapsedTimeWording(milliseconds(3'600'000)), "1 hour, ");
}

TEST(ElapsedTimeTest, ZeroPartsAreLeftOutEvenBeforeTheAnd) {
  // Whole seconds leave the "and " with nothing after it.
  EXPECT_EQ(ElapsedTimeWording(milliseconds(5'000)), "5 seconds and ");
  EXPECT_EQ(ElapsedTimeWording(milliseconds(1'000)), "1 second and ");
  EXPECT_EQ(ElapsedTimeWording(milliseconds(7)), "7 miliseconds");
  EXPECT_EQ(ElapsedTimeWording(milliseconds(0)), "");
  EXPECT_EQ(ElapsedTimeWording(milliseconds(-5)), "");
}

TEST(ElapsedTimeTest, HoursWrapAtADay) {
  EXPECT_EQ(ElapsedTimeWording(milliseconds(25LL * 3'600'000 + 2)), "1 hour, 2 miliseconds");
}

}  // namespace
}  // namespace pelvar::app
