#include "app/program_services.h"

#include <gtest/gtest.h>

namespace pelvar::app {
namespace {

TEST(ProgramServicesTest, DownloadSizeLimitIsAByteCountOrNone) {
  EXPECT_EQ(DownloadSizeLimit(""), 0u);
  EXPECT_EQ(DownloadSizeLimit("1048576"), 1048576u);
  EXPECT_EQ(DownloadSizeLimit(" 5000 "), 5000u);
  EXPECT_EQ(DownloadSizeLimit("18446744073709551615"), 18446744073709551615u);
  // Not a number of bytes: no limit rather than a wrong one.
  EXPECT_EQ(DownloadSizeLimit("10 MB"), 0u);
  EXPECT_EQ(DownloadSizeLimit("-1"), 0u);
  EXPECT_EQ(DownloadSizeLimit("18446744073709551616"), 0u);
}

}  // namespace
}  // namespace pelvar::app
