// .reg files imported by pelvar-reg into the store and into mounted hives
// (read back with hivex), all or nothing, and exported again.
#include <hivex.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "app/reg_file.h"
#include "app/reg_tool.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"
#include "reg_test_data.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

namespace reg_type = platform::reg_type;
using platform::RegistryRoot;
using platform::RegistryValue;

using testdata::kHives;
const std::string& kCorpus = testdata::kRegCorpus;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Utf16(const std::string& utf8) {
  return platform::RegistryStringBytes(utf8);
}

// A value as hivex reads it from the hive file: "type:hex bytes", or
// "absent" / "no key".
std::string HivexValue(const std::string& hive, const std::vector<std::string>& path,
                       const std::string& name) {
  hive_h* h = hivex_open(hive.c_str(), 0);
  if (h == nullptr) return "unreadable";
  hive_node_h node = hivex_root(h);
  for (const std::string& n : path) {
    node = node == 0 ? 0 : hivex_node_get_child(h, node, n.c_str());
  }
  std::string out = "no key";
  if (node != 0) {
    const hive_value_h v = hivex_node_get_value(h, node, name.c_str());
    out = "absent";
    if (v != 0) {
      hive_type type;
      size_t len = 0;
      char* data = hivex_value_value(h, v, &type, &len);
      // Types outside hivex's enum come through it: read its bytes.
      uint32_t type_number = 0;
      std::memcpy(&type_number, &type, sizeof type_number);
      char buf[16];
      std::snprintf(buf, sizeof buf, "%x:", type_number);
      out = buf;
      for (size_t i = 0; i < len; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
        out += buf;
      }
      std::free(data);
    }
  }
  hivex_close(h);
  return out;
}

std::string HexOf(uint32_t type, const std::string& data) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x:", type);
  std::string out = buf;
  for (const char c : data) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

class RegImportTest : public ::testing::Test {
 protected:
  RegImportTest() : registry_(dir_.Path("registry.db"), "/opt") {}

  ToolRun Run(const std::vector<std::string>& args) {
    ToolRun r;
    r.status = RunRegTool(args, HostRegToolTarget(registry_, files_), r.out, r.err);
    return r;
  }
  ToolRun Import(const std::string& name, const std::string& bytes) {
    return Run({"import", dir_.Write(name, bytes)});
  }
  // The value in the registry as "type:hex", or the failure's message.
  std::string Value(const std::string& key, const std::string& name) {
    RegistryValue v;
    const auto r = registry_.GetValue({RegistryRoot::kCurrentUser, key}, name, v);
    if (!r.ok()) return r.message;
    return HexOf(v.type, v.data);
  }
  std::string MountCopy(const std::string& fixture, const std::string& name) {
    const std::string file = dir_.Write(name + ".hive", testing::ReadFileText(kHives + fixture));
    EXPECT_EQ(Run({"load", "HKLM\\" + name, file}).status, 0);
    return file;
  }

  testing::TempDir dir_;
  platform::PosixFileSystem files_;
  platform::HostRegistry registry_;
};

TEST_F(RegImportTest, EveryTypeOfTheUnicodeCorpusIsImportedIntoTheStore) {
  const ToolRun r = Run({"import", kCorpus + "all_types.reg"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "The operation completed successfully.\n");
  const std::string k = "Software\\PelvarCorpus";
  EXPECT_EQ(Value(k, ""), HexOf(1, Utf16("default text")));
  EXPECT_EQ(Value(k, "Str"), HexOf(1, Utf16("C:\\Program Files\\Tool \"quoted\"")));
  EXPECT_EQ(Value(k, "Umlaut"), HexOf(1, Utf16("Grüße ☃")));
  EXPECT_EQ(Value(k, "Dword"), "4:2a000080");
  EXPECT_EQ(Value(k, "Binary").substr(0, 12), "3:0001020304");
  EXPECT_EQ(Value(k, "Binary").size(), 2 + 33 * 2u);
  EXPECT_EQ(Value(k, "None"), "0:");
  EXPECT_EQ(Value(k, "SzHex"), "1:61000d000a0062000000");
  EXPECT_EQ(Value(k, "Expand"), HexOf(2, Utf16("%SystemRoot%")));
  EXPECT_EQ(Value(k, "BinaryTyped"), "3:fffe");
  EXPECT_EQ(Value(k, "DwordTyped"), "4:01000000");
  EXPECT_EQ(Value(k, "BigEndian"), "5:0000002a");
  EXPECT_EQ(Value(k, "Link"), "6:5c00520065006700");
  EXPECT_EQ(Value(k, "Multi"), HexOf(7, Utf16("one") + Utf16("two") + std::string(2, '\0')));
  EXPECT_EQ(Value(k, "Resource"), "8:0102");
  EXPECT_EQ(Value(k, "FullResource"), "9:0304");
  EXPECT_EQ(Value(k, "Requirements"), "a:0506");
  EXPECT_EQ(Value(k, "Qword"), "b:0807060504030201");
  EXPECT_EQ(Value(k, "Odd type"), "ffff0012:01");
  EXPECT_EQ(Value(k, "Blanks after the backslash"), "3:0a0b0c0d");
  EXPECT_EQ(Value(k, "Gone"), "no value \"Gone\"");
  EXPECT_EQ(Value(k + "\\Sub\\Deeper", "Name with \\ and \""), HexOf(1, Utf16("")));
}

TEST_F(RegImportTest, EightBitFilesCarryWindows1252TextAndLfLinesAreRead) {
  ASSERT_EQ(Run({"import", kCorpus + "regedit4.reg"}).status, 0);
  const std::string k = "Software\\PelvarCorpus4";
  EXPECT_EQ(Value(k, "Text"), HexOf(1, Utf16("café")));
  EXPECT_EQ(Value(k, "Expand"), HexOf(2, Utf16("%TEMP%\\é")));
  EXPECT_EQ(Value(k, "Multi"), HexOf(7, Utf16("a") + Utf16("é") + std::string(2, '\0')));
  EXPECT_EQ(Value(k, "Dword"), "4:01000000");
  ASSERT_EQ(Run({"import", kCorpus + "utf8_lf.reg"}).status, 0);
  EXPECT_EQ(Value("Software\\PelvarCorpusLf", "Text"), HexOf(1, Utf16("naïve")));
  EXPECT_EQ(Value("Software\\PelvarCorpusLf", ""), "4:07000000");
}

TEST_F(RegImportTest, KeyLinesWithAMinusRemoveTheWholeBranch) {
  ASSERT_EQ(Import("a.reg",
                   "REGEDIT4\r\n[HKEY_CURRENT_USER\\D\\Keep]\r\n\"v\"=\"1\"\r\n"
                   "[HKEY_CURRENT_USER\\D\\Drop\\Below]\r\n\"w\"=\"2\"\r\n")
                .status,
            0);
  const ToolRun r = Import("b.reg",
                           "REGEDIT4\r\n[-HKEY_CURRENT_USER\\D\\Drop]\r\n"
                           "[-HKEY_CURRENT_USER\\D\\Never\\There]\r\n"
                           "[HKEY_CURRENT_USER\\D\\Keep]\r\n\"v\"=-\r\n\"never\"=-\r\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Value("D\\Drop\\Below", "w"), "no key \"Drop\"");
  EXPECT_EQ(Value("D\\Keep", "v"), "no value \"v\"");
}

// Each file's problem: its line and reason on stderr, status 1, nothing
// changed (the first key of every file would otherwise be made).
TEST_F(RegImportTest, AFileWithAProblemNamesItsLineAndChangesNothing) {
  const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\P]\r\n";
  const struct {
    std::string text;
    std::string error;
  } kCases[] = {
      {"REGEDIT 4\r\n", "line 1: not a registry file"},
      {"", "line 1: an empty file"},
      {"\xEF\xBB\xBF", "line 1: an empty file"},
      {head + "\"a\"=hex:01,0g\r\n", "line 4: \"0g\" is not a byte in hexadecimal"},
      {head + "\"a\"=hex:01,\\\r\n  123\r\n", "line 4: \"123\" is not a byte in hexadecimal"},
      {head + "\"a\"=hex:01,\\\r\n", "line 4: the file ends after a line that goes on"},
      {head + "\"a\"=qword:01\r\n", "line 4: unknown type \"qword:\""},
      {head + "\"a\"=hex(x1):01\r\n", "line 4: unknown type \"hex(x1)\""},
      {head + "\"a\"=dword:123456789\r\n", "line 4: dword:\"123456789\" is not a DWORD"},
      {head + "\"a\"=\"C:\\Windows\"\r\n", "line 4: \"\\W\" is no escape"},
      {head + "\"a\"=\"open\r\n", "line 4: a quoted text without its closing quote"},
      {head + "\"a\"=\"x\" y\r\n", "line 4: \"y\" after the closing quote"},
      {head + "\"a\"\r\n", "line 4: \"=\" is missing after the name"},
      {head + "a=1\r\n", "line 4: \"a=1\" is none of"},
      {head + "[HKEY_LOCAL_USER\\X]\r\n", "line 4: \"HKEY_LOCAL_USER\" is none of the five roots"},
      {head + "[HKEY_CURRENT_USER\\X\\\\Y]\r\n", "line 4: an empty key name"},
      {head + "[HKEY_CURRENT_USER\\X\r\n", "line 4: a key line ends in \"]\""},
      {head + "[-HKEY_CURRENT_USER]\r\n", "line 4: a root key cannot be removed"},
      {head + "[-HKEY_CURRENT_USER\\X]\r\n\"a\"=\"b\"\r\n",
       "line 5: a value under a key line that removes the key"},
      {"REGEDIT4\r\n\"a\"=\"b\"\r\n", "line 2: a value before the first key line"},
      {head + "[HKEY_LOCAL_MACHINE\\NOT_LOADED\\X]\r\n",
       "line 4: HKEY_LOCAL_MACHINE\\NOT_LOADED is not a mounted hive: load it first"},
      {head + "[HKEY_USERS\\S-1-5-99]\r\n", "line 4: HKEY_USERS\\S-1-5-99 does not exist"},
      // Refused when applied: values directly in HKEY_LOCAL_MACHINE.
      {head + "\"ok\"=\"1\"\r\n[HKEY_LOCAL_MACHINE]\r\n\"x\"=\"y\"\r\n",
       "line 6: values cannot be written directly into HKEY_LOCAL_MACHINE"},
  };
  for (const auto& c : kCases) {
    const ToolRun r = Import("bad.reg", c.text);
    EXPECT_EQ(r.status, 1) << c.text;
    EXPECT_NE(r.err.find("bad.reg, " + c.error), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was imported"), std::string::npos) << r.err;
    EXPECT_EQ(Value("P", "ok"), "no key \"P\"") << c.text;
  }
  const ToolRun wide = Import("wide.reg", "\xFF\xFE" + Utf16("REGEDIT4\r\n").substr(0, 20));
  EXPECT_NE(wide.err.find("line 1: a REGEDIT4 file is 8-bit text"), std::string::npos) << wide.err;
  EXPECT_NE(Run({"import", dir_.Path("missing.reg")}).err.find("Cannot read"), std::string::npos);
}

TEST_F(RegImportTest, MountedHivesGetTheirKeysAndIndependentReadersSeeThem) {
  const std::string hive = MountCopy("NTUSER.DAT", "PE_USER");
  const ToolRun r =
      Import("h.reg",
             "Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\pe_user\\Software\\Pelvar\\Setup]\r\n"
             "\"Name\"=\"x,y\"\r\n\"Count\"=dword:00000010\r\n"
             "\"Multi\"=hex(7):61,00,00,00,00,00\r\n\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
             "[-HKEY_LOCAL_MACHINE\\PE_USER\\Control Panel\\Desktop]\r\n"
             "[HKEY_CURRENT_USER\\Software\\BesideTheHive]\r\n\"s\"=\"1\"\r\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // Committed by the import: readable before the hive is unloaded.
  const std::vector<std::string> setup = {"Software", "Pelvar", "Setup"};
  EXPECT_EQ(HivexValue(hive, setup, "Name"), HexOf(1, Utf16("x,y")));
  EXPECT_EQ(HivexValue(hive, setup, "Count"), "4:10000000");
  EXPECT_EQ(HivexValue(hive, setup, "Multi"), HexOf(7, Utf16("a") + std::string(2, '\0')));
  EXPECT_EQ(HivexValue(hive, setup, "Q"), "b:0102030405060708");
  EXPECT_EQ(HivexValue(hive, {"Control Panel", "Desktop"}, "x"), "no key");
  EXPECT_EQ(Value("Software\\BesideTheHive", "s"), HexOf(1, Utf16("1")));
  EXPECT_EQ(Run({"unload", "HKLM\\PE_USER"}).status, 0);
}

// The corpus into a hive: hivex reads back every value as the store holds
// it after the same file.
TEST_F(RegImportTest, TheCorpusInAMountedHiveReadsBackWithHivexAsInTheStore) {
  const std::string hive = MountCopy("NTUSER.DAT", "PE_USER");
  for (const char* name : {"all_types.reg", "regedit4.reg", "utf8_lf.reg"}) {
    ASSERT_EQ(Run({"import", kCorpus + name}).status, 0) << name;
    // The same file with its keys in the hive.
    const RegFileContents read = ParseRegFile(testing::ReadFileText(kCorpus + name));
    ASSERT_TRUE(read.ok()) << read.error;
    std::vector<RegFileKey> keys;
    for (const RegFileEntry& entry : read.entries) {
      if (entry.change.kind != platform::RegistryChange::Kind::kCreateKey) continue;
      platform::RegistryKeyContents contents;
      ASSERT_TRUE(registry_.ListKey(entry.change.key, contents).ok()) << entry.change.key.path;
      EXPECT_FALSE(contents.values.empty()) << entry.change.key.path;
      keys.push_back({"HKEY_LOCAL_MACHINE\\PE_USER\\" + entry.change.key.path, contents.values});
    }
    const ToolRun r = Import("hive.reg", RegFileBytes(RegFileText(keys)));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const RegFileKey& key : keys) {
      std::vector<std::string> path;
      ASSERT_TRUE(platform::SplitKeyPath(key.path, path));
      path.erase(path.begin(), path.begin() + 2);
      for (const RegistryValue& v : key.values) {
        EXPECT_EQ(HivexValue(hive, path, v.name), HexOf(v.type, v.data)) << key.path << v.name;
      }
    }
  }
  EXPECT_EQ(Run({"unload", "HKLM\\PE_USER"}).status, 0);
}

TEST_F(RegImportTest, AFailureLeavesTheHiveFileAndTheStoreAsTheyWere) {
  const std::string hive = MountCopy("NTUSER.DAT", "PE_USER");
  const std::string before = testing::ReadFileText(hive);
  const ToolRun r = Import("bad.reg",
                           "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\PE_USER\\Software\\Pelvar]\r\n"
                           "\"a\"=\"1\"\r\n[-HKEY_LOCAL_MACHINE\\PE_USER\\Control Panel]\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Store]\r\n\"b\"=\"2\"\r\n"
                           "[HKEY_LOCAL_MACHINE\\PE_USER]\r\n\"c\"=\"3\"\r\n"
                           "[-HKEY_LOCAL_MACHINE\\PE_USER]\r\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 9: the root key of a mounted hive cannot be deleted"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Value("Software\\Store", "b"), "no key \"Store\"");
  EXPECT_TRUE(testing::ReadFileText(hive) == before);
  EXPECT_EQ(Run({"unload", "HKLM\\PE_USER"}).status, 0);
  EXPECT_TRUE(testing::ReadFileText(hive) == before);
}

// Refusals found while the file is applied name their line too, and names
// in messages are shortened.
TEST_F(RegImportTest, RefusalsOfTheRegistryNameTheLineThatAskedForThem) {
  const std::string hive = MountCopy("minimal.hiv", "RO");
  ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
  ToolRun r = Import("ro.reg",
                     "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\"\n"
                     "[HKEY_LOCAL_MACHINE\\RO\\K]\n\"v\"=\"1\"\n");
  EXPECT_NE(r.err.find("ro.reg, line 4: hive file"), std::string::npos) << r.err;
  EXPECT_EQ(Value("A", "x"), "no key \"A\"");
  ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
  EXPECT_EQ(Run({"unload", "HKLM\\RO"}).status, 0);

  std::string deep = "REGEDIT4\n[HKEY_CURRENT_USER\\Top]\n[HKEY_CURRENT_USER";
  for (int i = 0; i < 513; ++i) deep += "\\k";
  r = Import("deep.reg", deep + "]\n");
  EXPECT_NE(r.err.find("deep.reg, line 3: the key path is deeper than 512 levels"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Value("Top", "x"), "no key \"Top\"");

  r = Import("long.reg",
             "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"" + std::string(16384, 'n') + "\"=\"x\"\n");
  EXPECT_NE(r.err.find("long.reg, line 3: value name \"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"
                       "...\" (16384 bytes): "),
            std::string::npos)
      << r.err;
  EXPECT_LT(r.err.size(), 300u);
}

// 20,000 values over 200 keys, in the store and in a mounted copy of the
// 16 MB SYSTEM hive.
std::string LargeFile(const std::string& root) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int k = 0; k < 200; ++k) {
    text += "[" + root + "\\Bulk\\Key" + std::to_string(k) + "]\r\n";
    for (int v = 0; v < 100; ++v) {
      const std::string n = std::to_string(v);
      text += v % 2 == 0 ? "\"S" + n + "\"=\"value " + n + " of key " + std::to_string(k) + "\"\r\n"
                         : "\"D" + n + "\"=dword:" + std::string(8 - n.size(), '0') + n + "\r\n";
    }
    text += "\r\n";
  }
  return RegFileBytes(text);
}

TEST_F(RegImportTest, TwentyThousandValuesGoInAtOnce) {
  ASSERT_EQ(Import("big.reg", LargeFile("HKEY_CURRENT_USER")).status, 0);
  EXPECT_EQ(Value("Bulk\\Key199", "S98"), HexOf(1, Utf16("value 98 of key 199")));
  EXPECT_EQ(Value("Bulk\\Key0", "D99"), "4:99000000");
  platform::RegistryKeyContents contents;
  ASSERT_TRUE(registry_.ListKey({RegistryRoot::kCurrentUser, "Bulk\\Key57"}, contents).ok());
  EXPECT_EQ(contents.values.size(), 100u);

  const std::string hive = MountCopy("SYSTEM", "BIG");
  const ToolRun r = Import("bighive.reg", LargeFile("HKEY_LOCAL_MACHINE\\BIG"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(HivexValue(hive, {"Bulk", "Key199"}, "S98"), HexOf(1, Utf16("value 98 of key 199")));
  EXPECT_EQ(HivexValue(hive, {"Bulk", "Key3"}, "D1"), "4:01000000");
  EXPECT_EQ(Run({"unload", "HKLM\\BIG"}).status, 0);
}

}  // namespace
}  // namespace pelvar::app
