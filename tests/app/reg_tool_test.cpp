// pelvar-reg's commands, run in-process on a private store.
#include "app/reg_tool.h"

#include <gtest/gtest.h>

#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadBack(std::FILE* f) {
  std::string text = testing::ReadBackStream(f);
  std::fclose(f);
  return text;
}

class RegToolTest : public ::testing::Test {
 protected:
  RegToolTest() : registry_(dir_.Path("registry.db"), "/opt") {}

  ToolRun Run(const std::vector<std::string>& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ToolRun r;
    r.status = RunRegTool(args, registry_, out, err);
    r.out = ReadBack(out);
    r.err = ReadBack(err);
    return r;
  }
  void Add(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"add"};
    all.insert(all.end(), args.begin(), args.end());
    const ToolRun r = Run(all);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "The operation completed successfully.\n");
  }

  testing::TempDir dir_;
  platform::HostRegistry registry_;
};

TEST_F(RegToolTest, QueryShowsKeysAndValuesInTheRegToolsLayout) {
  Add({"HKCU\\Software\\T", "/v", "Str", "/d", "a b"});
  Add({"hkey_current_user\\software\\t", "/v", "Dw", "/t", "REG_DWORD", "/d", "42"});
  Add({"HKCU\\Software\\T", "/ve", "/t", "reg_expand_sz", "/d", "%X%"});
  Add({"HKCU\\Software\\T", "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a#b", "/s", "#"});
  Add({"HKCU\\Software\\T", "/v", "Q", "/t", "REG_QWORD", "/d", "0x100000000"});
  Add({"HKCU\\Software\\T", "/v", "B", "/t", "REG_BINARY", "/d", "00ff10"});
  Add({"HKCU\\Software\\T\\Sub"});
  EXPECT_EQ(Run({"query", "HKCU\\Software\\T\\"}).out,
            "\nHKEY_CURRENT_USER\\Software\\T\n"
            "    Str    REG_SZ    a b\n"
            "    Dw    REG_DWORD    0x2a\n"
            "    (Default)    REG_EXPAND_SZ    %X%\n"
            "    M    REG_MULTI_SZ    a\\0b\n"
            "    Q    REG_QWORD    0x100000000\n"
            "    B    REG_BINARY    00FF10\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\T\\Sub\n");
  EXPECT_EQ(Run({"query", "HKCU\\Software\\T", "/v", "dw"}).out,
            "\nHKEY_CURRENT_USER\\Software\\T\n    Dw    REG_DWORD    0x2a\n\n");
  EXPECT_EQ(Run({"QUERY", "HKCU\\Software", "/s"}).out,
            "\nHKEY_CURRENT_USER\\Software\n\n"
            "HKEY_CURRENT_USER\\Software\\T\n"
            "    Str    REG_SZ    a b\n"
            "    Dw    REG_DWORD    0x2a\n"
            "    (Default)    REG_EXPAND_SZ    %X%\n"
            "    M    REG_MULTI_SZ    a\\0b\n"
            "    Q    REG_QWORD    0x100000000\n"
            "    B    REG_BINARY    00FF10\n\n"
            "HKEY_CURRENT_USER\\Software\\T\\Sub\n\n");
  const ToolRun missing = Run({"query", "HKCU\\Nothing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "ERROR: no key \"Nothing\"\n");
}

TEST_F(RegToolTest, AddRefusesDataThatDoesNotFitItsType) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"add", "HKCU\\K", "/v", "v", "/t", "REG_DWORD", "/d", "4294967296"},
           {"add", "HKCU\\K", "/v", "v", "/t", "REG_DWORD", "/d", "-1"},
           {"add", "HKCU\\K", "/v", "v", "/t", "REG_BINARY", "/d", "0g"},
           {"add", "HKCU\\K", "/v", "v", "/t", "REG_TEXT"},
           {"add", "HKXX\\K"},
           {"add", "HKCU\\K", "/v", "a", "/ve"}}) {
    const ToolRun r = Run(args);
    EXPECT_EQ(r.status, 1) << args[5];
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u);
  }
  EXPECT_EQ(Run({"add", "HKCU\\K", "/v", "v", "/t", "REG_DWORD", "/d", "4294967296"}).err,
            "ERROR: Number out of range \"4294967296\"\n");
  EXPECT_EQ(Run({"query", "HKCU\\K"}).status, 1);  // nothing was made
}

TEST_F(RegToolTest, DeleteTakesValuesOrWholeKeys) {
  Add({"HKCU\\D\\Sub\\Deeper", "/v", "x", "/d", "1"});
  Add({"HKCU\\D", "/v", "a", "/d", "1"});
  Add({"HKCU\\D", "/v", "b", "/d", "1"});
  EXPECT_EQ(Run({"delete", "HKCU\\D", "/v", "A", "/f"}).status, 0);
  EXPECT_EQ(Run({"query", "HKCU\\D"}).out,
            "\nHKEY_CURRENT_USER\\D\n    b    REG_SZ    1\n\nHKEY_CURRENT_USER\\D\\Sub\n");
  EXPECT_EQ(Run({"delete", "HKCU\\D", "/va"}).status, 0);
  EXPECT_EQ(Run({"delete", "HKCU\\d\\sub"}).status, 0);
  EXPECT_EQ(Run({"query", "HKCU\\D"}).out, "\n");
  EXPECT_EQ(Run({"delete", "HKCU"}).err, "ERROR: A root key cannot be deleted\n");
  EXPECT_EQ(Run({"delete", "HKCU\\D", "/v", "gone"}).err, "ERROR: no value \"gone\"\n");
}

TEST_F(RegToolTest, ExportWritesARegFile) {
  Add({"HKCU\\E", "/v", "s", "/d", "\xC3\xA4"});
  Add({"HKCU\\E\\F", "/v", "d", "/t", "REG_DWORD", "/d", "0x10"});
  const std::string file = dir_.Path("e.reg");
  ASSERT_EQ(Run({"export", "hkcu\\e", file}).status, 0);
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\e]\r\n\"s\"=\"\xC3\xA4\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\e\\F]\r\n\"d\"=dword:00000010\r\n\r\n";
  std::string expected = "\xFF\xFE";
  std::string wide = platform::RegistryStringBytes(text);
  expected += wide.substr(0, wide.size() - 2);
  EXPECT_EQ(testing::ReadFileText(file), expected);
  EXPECT_EQ(Run({"export", "HKCU\\E", file}).err,
            "ERROR: \"" + file + "\" exists; add /y to overwrite it\n");
  EXPECT_EQ(Run({"export", "HKCU\\E", file, "/y"}).status, 0);
}

TEST_F(RegToolTest, LoadAndUnloadMountOnlyCleanHivesBelowLocalMachine) {
  const std::string hive = dir_.Write("sys.hiv", testing::ReadFixture("hives/minimal.hiv"));
  const std::string dirty = dir_.Write("am.hve", testing::ReadFixture("hives/Amcache.hve"));
  EXPECT_EQ(Run({"load", "HKLM\\PE", hive}).out, "The operation completed successfully.\n");
  EXPECT_EQ(Run({"query", "HKLM\\pe"}).status, 0);
  EXPECT_EQ(Run({"load", "HKLM\\AM", dirty}).err,
            "ERROR: \"" + dirty +
                "\": the hive was not closed cleanly (its sequence numbers differ) and its "
                "transaction logs would have to be replayed first\n");
  EXPECT_EQ(Run({"load", "HKCU\\X", hive}).err,
            "ERROR: Only a key directly below HKEY_LOCAL_MACHINE can be a mounted hive\n");
  EXPECT_EQ(Run({"load", "HKLM\\X", "a", "b"}).err,
            "ERROR: Invalid syntax. Type \"pelvar-reg /?\" for usage.\n");
  EXPECT_EQ(Run({"unload", "HKLM\\PE"}).status, 0);
  EXPECT_EQ(Run({"unload", "HKLM\\PE"}).err,
            "ERROR: no hive is mounted as HKEY_LOCAL_MACHINE\\PE\n");
  EXPECT_EQ(Run({}).status, 1);
  EXPECT_EQ(Run({"/?"}).out, kRegToolUsage);
}

}  // namespace
}  // namespace pelvar::app
