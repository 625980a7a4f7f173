#include "platform/letter_case.h"

#include <gtest/gtest.h>

namespace pelvar::platform {
namespace {

// Names meet as on a Windows file system: by the simple upper case of each
// character. Bytes that are not UTF-8 (a Latin-1 name) are kept as they are.
TEST(LetterCaseTest, FoldsBeyondAscii) {
  EXPECT_EQ(FoldCase("ÄRGER Ünd Öl"), FoldCase("ärger ünd öl"));
  EXPECT_EQ(FoldCase("ДОКУМЕНТЫ"), FoldCase("Документы"));
  EXPECT_EQ(FoldCase("ΣΟΦΊΑ"), FoldCase("σοφία"));
  EXPECT_EQ(FoldCase("README.TXT"), "readme.txt");
  EXPECT_NE(FoldCase("straße"), FoldCase("STRASSE"));  // one name is not two letters
  EXPECT_NE(FoldCase("\xC4rger"), FoldCase("\xE4rger"));
  EXPECT_EQ(FoldCase("a\xC4\xFF"), "a\xC4\xFF");
  EXPECT_EQ(FoldedCharacters("Äb\xFF"), (std::u32string{U'Ä', U'b', 0x110000u + 0xFF}));
}

}  // namespace
}  // namespace pelvar::platform
