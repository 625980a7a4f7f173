#include "archive/buffer_stage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace pelvar::archive {
namespace {

TEST(BufferStageTest, HandsEveryBufferOnInOrder) {
  std::string seen;
  BufferStage stage(
      [&seen](std::string& b) {
        seen += b;
        return true;
      },
      2);
  std::string buffer;
  for (int i = 0; i < 1000; ++i) {
    buffer.assign(std::to_string(i) + ",");
    ASSERT_TRUE(stage.Push(buffer));
  }
  EXPECT_TRUE(stage.Finish());
  std::string want;
  for (int i = 0; i < 1000; ++i) want += std::to_string(i) + ",";
  EXPECT_EQ(seen, want);
  EXPECT_FALSE(stage.Push(buffer));  // finished
}

TEST(BufferStageTest, ARefusalStopsTheRestAndCancelDropsWhatWaits) {
  std::atomic<int> done{0};
  BufferStage refusing([&done](std::string&) { return ++done < 3; }, 1);
  std::string buffer = "x";
  int pushed = 0;
  while (refusing.Push(buffer) && pushed < 100) ++pushed;
  EXPECT_LT(pushed, 100);
  EXPECT_FALSE(refusing.Finish());
  EXPECT_EQ(done, 3);

  std::atomic<int> handled{0};
  {
    BufferStage slow(
        [&handled](std::string&) {
          ++handled;
          return true;
        },
        8);
    for (int i = 0; i < 8; ++i) {
      buffer = "y";
      ASSERT_TRUE(slow.Push(buffer));
    }
    slow.Cancel();
    EXPECT_FALSE(slow.Push(buffer));
  }  // joined; nothing runs after this
  EXPECT_LE(handled, 8);
}

}  // namespace
}  // namespace pelvar::archive
