// .reg files written by pelvar-reg export: the registry editor's layout,
// and export -> import -> export giving the same bytes.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/reg_file.h"
#include "app/reg_tool.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"
#include "reg_test_data.h"
#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

namespace reg_type = platform::reg_type;
using testing::RunShell;
using testing::ShellQuoted;

using testdata::kHives;
const std::string& kCorpus = testdata::kRegCorpus;

// A store of its own in a folder of its own.
class Store {
 public:
  Store() : registry_(dir_.Path("registry.db"), "/opt") {}

  std::string Run(const std::vector<std::string>& args) {
    std::string out;
    std::string err;
    const int status = RunRegTool(args, HostRegToolTarget(registry_, files_), out, err);
    return status == 0 ? "" : err;
  }
  const testing::TempDir& dir() const { return dir_; }

 private:
  testing::TempDir dir_;
  platform::PosixFileSystem files_;
  platform::HostRegistry registry_;
};

TEST(RegExportTest, TheCorpusIsWrittenInTheEditorsLayoutAndReadsBackToTheSameBytes) {
  Store first;
  ASSERT_EQ(first.Run({"import", kCorpus + "all_types.reg"}), "");
  const std::string one = first.dir().Path("one.reg");
  ASSERT_EQ(first.Run({"export", "HKCU\\Software\\PelvarCorpus", one}), "");
  // Folded after the pair that takes a line past 76 characters; types 3 and
  // 4 written as hex: and dword:.
  EXPECT_TRUE(testing::ReadFileText(one) ==
              testing::ReadFileText(kCorpus + "all_types_export.reg"));

  Store second;
  ASSERT_EQ(second.Run({"import", one}), "");
  const std::string two = second.dir().Path("two.reg");
  ASSERT_EQ(second.Run({"export", "HKCU\\Software\\PelvarCorpus", two}), "");
  EXPECT_TRUE(testing::ReadFileText(one) == testing::ReadFileText(two));
}

TEST(RegExportTest, SlashAWritesTheEightBitFormatThatReadsBackTheSame) {
  Store store;
  ASSERT_EQ(store.Run({"import", kCorpus + "regedit4.reg"}), "");
  const std::string out = store.dir().Path("out.reg");
  ASSERT_EQ(store.Run({"export", "HKCU\\Software\\PelvarCorpus4", out, "/a"}), "");
  EXPECT_TRUE(testing::ReadFileText(out) == testing::ReadFileText(kCorpus + "regedit4.reg"));

  ASSERT_EQ(store.Run({"add", "HKCU\\Snow", "/v", "Man", "/d", "\xE2\x98\x83"}), "");
  const std::string err = store.Run({"export", "HKCU\\Snow", out, "/a", "/y"});
  EXPECT_NE(err.find("cannot carry; export without /a"), std::string::npos) << err;
  EXPECT_EQ(store.Run({"export", "HKCU\\Snow", out, "/y"}), "");
}

TEST(RegExportTest, TextThatAQuotedStringWouldNotCarryIsWrittenAsHex) {
  const std::string crlf = platform::RegistryStringBytes("a\r\nb");
  const std::string lone_surrogate("\x00\xD8\0\0", 4);
  const std::string text = RegFileText({{"HKEY_USERS\\K",
                                         {{"lines", reg_type::kString, crlf},
                                          {"lone", reg_type::kString, lone_surrogate},
                                          {"dw3", reg_type::kDword, std::string("\1\2\3", 3)}}}});
  EXPECT_EQ(text.substr(text.find("\"lines\"")),
            "\"lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
            "\"lone\"=hex(1):00,d8,00,00\r\n"
            "\"dw3\"=hex(4):01,02,03\r\n\r\n");
  const RegFileContents back = ParseRegFile(RegFileBytes(text));
  ASSERT_TRUE(back.ok()) << back.error;
  ASSERT_EQ(back.entries.size(), 4u);
  EXPECT_EQ(back.entries[1].change.value.data, crlf);
  EXPECT_EQ(back.entries[2].change.value.data, lone_surrogate);
  EXPECT_EQ(back.entries[3].change.value.type, reg_type::kDword);
  EXPECT_EQ(back.entries[3].line, 6u);
}

// A whole real hive exported, imported into the smallest hive there is and
// exported again: the same bytes, and hivex reads the same keys and values
// from both hives.
TEST(RegExportTest, AWholeRealHiveGoesIntoAnEmptyHiveAndComesBackTheSame) {
  Store store;
  const testing::TempDir& dir = store.dir();
  const std::string user = dir.Write("ntuser.dat", testing::ReadFileText(kHives + "NTUSER.DAT"));
  const std::string empty = dir.Write("empty.hiv", testing::ReadFileText(kHives + "minimal.hiv"));
  const std::string one = dir.Path("one.reg");
  const std::string two = dir.Path("two.reg");
  ASSERT_EQ(store.Run({"load", "HKLM\\H", user}), "");
  ASSERT_EQ(store.Run({"export", "HKLM\\H", one}), "");
  ASSERT_EQ(store.Run({"unload", "HKLM\\H"}), "");
  ASSERT_EQ(store.Run({"load", "HKLM\\H", empty}), "");
  ASSERT_EQ(store.Run({"import", one}), "");
  ASSERT_EQ(store.Run({"export", "HKLM\\H", two}), "");
  ASSERT_EQ(store.Run({"unload", "HKLM\\H"}), "");
  EXPECT_GT(testing::ReadFileText(one).size(), 1000000u);
  EXPECT_TRUE(testing::ReadFileText(one) == testing::ReadFileText(two));
  const auto hivex = [](const std::string& hive) {
    return RunShell("hivexregedit --export " + ShellQuoted(hive) + " '\\'");
  };
  const testing::ShellOutput first = hivex(user);
  ASSERT_EQ(first.status, 0);
  EXPECT_GT(first.out.size(), 100000u);
  EXPECT_TRUE(first.out == hivex(empty).out);
}

// An export is written piece by piece as the keys come: one bigger than a
// piece (about 1 MiB of text) still gives the bytes of the text of all its
// keys, in both formats.
TEST(RegExportTest, AnExportOfManyPiecesIsTheFileOfAllItsKeys) {
  std::vector<RegFileKey> keys{{"HKEY_CURRENT_USER\\Software\\Big", {}}};
  for (int k = 0; k < 8000; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "\\Key%05d", k);
    RegFileKey key{keys[0].path + name, {}};
    for (int v = 0; v < 4; ++v) {
      // The first half of the keys hold text beyond ASCII, the second half
      // only ASCII: pieces of both kinds.
      const std::string accent = k < 4000 ? "\xC3\xA9" : "e";
      key.values.push_back(
          {"Caf" + accent + " " + std::to_string(v), reg_type::kString,
           platform::RegistryStringBytes("na" + accent + "ve value " + std::to_string(k * v))});
    }
    key.values.push_back({"bin", reg_type::kBinary, std::string(40, '\xA5')});
    keys.push_back(std::move(key));
  }
  for (const RegFileFormat format : {RegFileFormat::kUnicode, RegFileFormat::kAnsi}) {
    const std::string text = RegFileText(keys, format);
    ASSERT_GT(text.size(), size_t{1} << 21);
    std::string bytes;
    ASSERT_TRUE(RegFileBytes(text, format, bytes));
    Store store;
    const std::string source = store.dir().Path("source.reg");
    testing::WriteFileText(source, bytes);
    ASSERT_EQ(store.Run({"import", source}), "");
    const std::string out = store.dir().Path("out.reg");
    std::vector<std::string> args{"export", "HKCU\\Software\\Big", out};
    if (format == RegFileFormat::kAnsi) args.push_back("/a");
    ASSERT_EQ(store.Run(args), "");
    EXPECT_TRUE(testing::ReadFileText(out) == bytes);
  }
}

// A failed export leaves no file, and an existing one as it was; in the
// 8-bit format a value's text that it cannot carry is named, before a
// key's name that it cannot carry.
TEST(RegExportTest, AFailedExportLeavesTheFileAsItWas) {
  Store store;
  const std::string out = store.dir().Path("out.reg");
  EXPECT_EQ(store.Run({"export", "HKCU\\None", out}), "ERROR: no key \"None\"\n");
  EXPECT_FALSE(store.dir().Exists("out.reg"));

  ASSERT_EQ(store.Run({"add", "HKCU\\Snow\\\xE2\x98\x83"}), "");
  EXPECT_EQ(store.Run({"export", "HKCU\\Snow", out, "/a"}),
            "ERROR: a name or a text holds characters that the 8-bit format cannot carry; "
            "export without /a\n");
  EXPECT_FALSE(store.dir().Exists("out.reg"));
  ASSERT_EQ(store.Run({"add", "HKCU\\Snow\\\xE2\x98\x83\\Z", "/v", "Man", "/t", "REG_EXPAND_SZ",
                       "/d", "\xE2\x98\x83"}),
            "");
  testing::WriteFileText(out, "old");
  EXPECT_EQ(store.Run({"export", "HKCU\\Snow", out, "/a", "/y"}),
            "ERROR: the value \"Man\" of HKEY_CURRENT_USER\\Snow\\\xE2\x98\x83\\Z holds text that "
            "the 8-bit format cannot carry; export without /a\n");
  EXPECT_EQ(testing::ReadFileText(out), "old");
}

}  // namespace
}  // namespace pelvar::app
