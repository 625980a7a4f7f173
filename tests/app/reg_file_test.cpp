// The .reg export text.
#include "app/reg_file.h"

#include <gtest/gtest.h>

#include "platform/registry_text.h"

namespace pelvar::app {
namespace {

namespace reg_type = platform::reg_type;

TEST(RegFileTest, ValuesInTheirTextForms) {
  const std::vector<RegFileKey> keys = {
      {"HKEY_CURRENT_USER\\A", {}},
      {"HKEY_CURRENT_USER\\A\\B",
       {{"", reg_type::kString, platform::RegistryStringBytes("def")},
        {"q\"\\", reg_type::kString, platform::RegistryStringBytes("C:\\\"x\"")},
        {"d", reg_type::kDword, std::string("\x2a\0\0\x80", 4)},
        {"e", reg_type::kExpandString, platform::RegistryStringBytes("%A%")},
        {"n", reg_type::kString, std::string("a\0", 2) + std::string("b\0", 2)},
        {"z", reg_type::kNone, ""}}}};
  EXPECT_EQ(RegFileText(keys),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\A]\r\n\r\n"
            "[HKEY_CURRENT_USER\\A\\B]\r\n"
            "@=\"def\"\r\n"
            "\"q\\\"\\\\\"=\"C:\\\\\\\"x\\\"\"\r\n"
            "\"d\"=dword:8000002a\r\n"
            "\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"
            "\"n\"=hex(1):61,00,62,00\r\n"
            "\"z\"=hex(0):\r\n\r\n");
}

TEST(RegFileTest, LongDataContinuesOnIndentedLines) {
  std::string data;
  for (int i = 0; i < 60; ++i) data.push_back(static_cast<char>(i));
  const std::string text = RegFileText({{"HKEY_USERS\\K", {{"Bin", reg_type::kBinary, data}}}});
  EXPECT_EQ(
      text.substr(text.find("\"Bin\"")),
      "\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
      "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
      "  30,31,32,33,34,35,36,37,38,39,3a,3b\r\n\r\n");
}

TEST(RegFileTest, FilesAreUtf16WithAByteOrderMark) {
  EXPECT_EQ(RegFileBytes("A\xC3\xA4"), std::string("\xFF\xFE"
                                                   "A\0\xE4\0",
                                                   6));
}

}  // namespace
}  // namespace pelvar::app
