#include "app/colour_names.h"

#include <gtest/gtest.h>

namespace pelvar::app {
namespace {

TEST(ColourNamesTest, EveryCellIsReadBackAsItsOwnValue) {
  for (const NamedColour& cell : ColourCells()) {
    EXPECT_EQ(ColourValue(ColourName(cell.value, "Black"), 0x123456), cell.value) << cell.name;
  }
  EXPECT_EQ(ColourName(ColourCells()[8].value, "Black"), "DkGray");
  EXPECT_EQ(ColourName(ColourCells()[12].value, "Black"), "Blue");
  EXPECT_EQ(ColourCells()[12].value, 0xFF0000u);  // 0x00BBGGRR
}

TEST(ColourNamesTest, NamesAreReadIgnoringCaseWithFallbacks) {
  EXPECT_EQ(ColourValue("NAVY", kWhite), 0x800000u);
  EXPECT_EQ(ColourValue("ltgray", kWhite), 0xC0C0C0u);
  EXPECT_EQ(ColourValue("Orange", kWhite), kWhite);
  EXPECT_EQ(ColourValue("", kBlack), kBlack);
  EXPECT_EQ(ColourValue("none", kWhite), kNoColour);
  EXPECT_EQ(ColourName(kNoColour, "White"), "None");
  EXPECT_EQ(ColourName(0x123456, "White"), "White");
}

}  // namespace
}  // namespace pelvar::app
