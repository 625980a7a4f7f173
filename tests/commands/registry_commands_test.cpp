// The registry value commands against a private host store: what is stored,
// the two layers' handling of roots and missing keys, and the log lines.
#include <gtest/gtest.h>

#include "engine/script_error.h"
#include "platform/host_registry.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryStatus;
using platform::RegistryValue;
using Texts = std::vector<std::string>;

constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;

class RegistryCommandsTest : public ::testing::Test {
 protected:
  RegistryCommandsTest() : registry_(h_.dir.Path("registry.db"), "/opt") {
    h_.services.registry = &registry_;
  }

  // The value, or a value of type 99 when it cannot be read.
  RegistryValue Value(RegistryRoot root, const std::string& path, const std::string& name) {
    RegistryValue v{"", 99, ""};
    (void)registry_.GetValue({root, path}, name, v);
    return v;
  }
  bool KeyExists(RegistryRoot root, const std::string& path) {
    platform::RegistryKeyContents c;
    return registry_.ListKey({root, path}, c).ok();
  }

  testing::ScriptHarness h_;
  platform::HostRegistry registry_;
};

std::string Utf16(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out + std::string(2, '\0');
}

std::string Dword(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

TEST_F(RegistryCommandsTest, StringsAreStoredAsUtf16WithTheirNul) {
  h_.RunLine("regwritestring,1,HKEY_CURRENT_USER,Software\\Pelvar,Name,\"a#$cb\"");
  h_.RunLine("regwriteexpandstring,1,HKEY_LOCAL_MACHINE,\\SOFTWARE\\Pelvar,Path,%PATH%\\x");
  EXPECT_EQ(Value(kHkcu, "Software\\Pelvar", "name").data, Utf16(u"a,b"));
  EXPECT_EQ(Value(kHkcu, "Software\\Pelvar", "name").type, 1u);
  const RegistryValue expand = Value(kHklm, "Software\\Pelvar", "PATH");
  EXPECT_EQ(expand.type, 2u);
  EXPECT_EQ(expand.data, Utf16(u"%PATH%\\x"));
  EXPECT_EQ(
      h_.view.Texts(),
      (Texts{"1|Successfully wrote registry string key in: \"HKEY_CURRENT_USER\\Software\\Pelvar\""
             " Key:Name\" Value:\"a,b\"",
             "1|Successfully wrote registry expanded string key in: "
             "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\Pelvar\" Key:Path\" Value:\"%PATH%\\x\""}));
}

TEST_F(RegistryCommandsTest, AnUnknownRootIsEveryCommandsFailureAndWritesNothing) {
  for (const char* line :
       {"regwritestring,1,HKLM,Soft\\Lab,s,x",
        "regwriteexpandstring,1,hkey_local_machine,Soft\\Lab,e,x",
        "regwriteinteger,1,HKCU,Soft\\Lab,i,1", "regwriteinteger,1,HKCU,Soft\\Lab,i,bad",
        "regwritebinary,1,HKCU,Soft\\Lab,b,00", "regwritebool,1,HKCU,Soft\\Lab,t,true",
        "regwritedword,1,HKCU,Soft\\Lab,d,1", "regdeletekey,1,HKCU,Soft,Lab"}) {
    h_.RunLine(line);
  }
  ASSERT_EQ(h_.view.lines.size(), 8u);
  for (const LogLine& l : h_.view.lines) EXPECT_EQ(l.kind, LogKind::kFailure) << l.text;
  EXPECT_EQ(h_.view.lines[0].text,
            "Failed to write registry string key in: \"HKLM\\Soft\\Lab\" Key:s\" Value:\"x\"");
  for (const RegistryRoot root : {kHkcu, kHklm}) EXPECT_FALSE(KeyExists(root, "Soft"));
}

TEST_F(RegistryCommandsTest, EightBitTextIsReadAsWindows1252UnlessItIsUtf8) {
  h_.RunLine("regwritestring,1,HKEY_CURRENT_USER,K,a,\"\xE4\x80\"");
  h_.RunLine("regwritestring,1,HKEY_CURRENT_USER,K,b,\"\xC3\xA4\"");
  EXPECT_EQ(Value(kHkcu, "K", "a").data, Utf16(u"\u00E4\u20AC"));
  EXPECT_EQ(Value(kHkcu, "K", "b").data, Utf16(u"\u00E4"));
}

TEST_F(RegistryCommandsTest, IntegerTextIsAcceptedOnlyInItsOneForm) {
  h_.RunLine("regwriteinteger,1,HKEY_CURRENT_USER,Ints,hex,$FF");
  h_.RunLine("regwriteinteger,1,HKEY_CURRENT_USER,Ints,x,0x10");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,Ints,neg,-5");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,Ints,blank,\" 42\"");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,Ints,all,xFFFFFFFF");
  EXPECT_EQ(Value(kHkcu, "Ints", "hex").data, Dword(255));
  EXPECT_EQ(Value(kHkcu, "Ints", "x").data, Dword(16));
  EXPECT_EQ(Value(kHkcu, "Ints", "neg").data, Dword(0xFFFFFFFB));
  EXPECT_EQ(Value(kHkcu, "Ints", "blank").data, Dword(42));
  EXPECT_EQ(Value(kHkcu, "Ints", "all").data, Dword(0xFFFFFFFF));
  EXPECT_EQ(Value(kHkcu, "Ints", "all").type, 4u);

  h_.view.lines.clear();
  h_.RunLine("regwriteinteger,1,HKEY_CURRENT_USER,New,bad,\"42 \"");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,Ints,bad,abc");
  EXPECT_TRUE(KeyExists(kHkcu, "New"));  // the key was opened, and so created
  EXPECT_EQ(Value(kHkcu, "New", "bad").type, 99u);
  EXPECT_EQ(Value(kHkcu, "Ints", "bad").type, 99u);
  EXPECT_EQ(h_.view.Texts(),
            (Texts{"0|Failed to write registry integer key in: \"HKEY_CURRENT_USER\\New\" Key:bad\""
                   " Value:\"42 \"",
                   "0|Failed to write REG DWORD key in: \"HKEY_CURRENT_USER\\Ints\\bad\" "
                   "Value:\"abc\""}));
}

TEST_F(RegistryCommandsTest, TheDirectLayerNeitherGuessesRootsNorCreatesKeys) {
  h_.RunLine("regwritedword,1,hkey_current_user,Software,v,1");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,Missing\\Path,v,1");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,\\Software,v,1");
  EXPECT_FALSE(KeyExists(kHkcu, "Missing"));
  h_.RunLine("regwriteinteger,1,HKEY_CURRENT_USER,Missing\\Path,v,1");
  h_.RunLine("regwritedword,1,HKEY_CURRENT_USER,missing\\PATH,w,7");
  EXPECT_EQ(Value(kHkcu, "Missing\\Path", "w").data, Dword(7));
  EXPECT_EQ(
      h_.view.Texts(),
      (Texts{"0|Failed to write REG DWORD key in: \"hkey_current_user\\Software\\v\" Value:\"1\"",
             "0|Failed to write REG DWORD key in: \"HKEY_CURRENT_USER\\Missing\\Path\\v\" "
             "Value:\"1\"",
             "0|Failed to write REG DWORD key in: \"HKEY_CURRENT_USER\\\\Software\\v\" "
             "Value:\"1\"",
             "1|Successfully wrote registry integer key in: "
             "\"HKEY_CURRENT_USER\\Missing\\Path\" Key:v\" Value:\"1\"",
             "1|Successfully wrote REG DWORD key in: "
             "\"HKEY_CURRENT_USER\\missing\\PATH\\w\" Value:\"7\""}));
}

TEST_F(RegistryCommandsTest, BooleansAreOneOnlyForTrue) {
  for (const char* data : {"TRUE", "True", "yes", "1", ""}) {
    h_.RunLine(std::string("regwritebool,1,HKEY_CURRENT_USER,B,v") + data + "," + data);
  }
  EXPECT_EQ(Value(kHkcu, "B", "vTRUE").data, Dword(1));
  EXPECT_EQ(Value(kHkcu, "B", "vTrue").data, Dword(1));
  EXPECT_EQ(Value(kHkcu, "B", "vyes").data, Dword(0));
  EXPECT_EQ(Value(kHkcu, "B", "v1").data, Dword(0));
  EXPECT_EQ(Value(kHkcu, "B", "v").data, Dword(0));
  EXPECT_EQ(h_.view.Texts().front(),
            "1|Successfully wrote REG boolean key in: \"HKEY_CURRENT_USER\\B\\vTRUE\\TRUE\"");
}

TEST_F(RegistryCommandsTest, BinaryDataIsHexadecimalPairs) {
  h_.RunLine("regwritebinary,1,HKEY_CURRENT_USER,Bin,a,01#$cff#$c0A");
  h_.RunLine("regwritebinary,1,HKEY_CURRENT_USER,Bin,b,\"01 FF  0a\"");
  h_.RunLine("regwritebinary,1,HKEY_CURRENT_USER,Bin,c,");
  h_.RunLine("regwritebinary,1,HKEY_CURRENT_USER,Bin,d,0g");
  h_.RunLine("regwritebinary,1,HKEY_CURRENT_USER,Bin,e,012");
  EXPECT_EQ(Value(kHkcu, "Bin", "a").data, "\x01\xFF\x0A");
  EXPECT_EQ(Value(kHkcu, "Bin", "a").type, 3u);
  EXPECT_EQ(Value(kHkcu, "Bin", "b").data, "\x01\xFF\x0A");
  EXPECT_EQ(Value(kHkcu, "Bin", "c").data, "");
  EXPECT_EQ(Value(kHkcu, "Bin", "d").type, 99u);
  EXPECT_EQ(Value(kHkcu, "Bin", "e").type, 99u);
  EXPECT_EQ(
      h_.view.Texts(),
      (Texts{"1|Successfully wrote REG binary key in: \"HKEY_CURRENT_USER\\Bin\\a\\01,ff,0A\"",
             "1|Successfully wrote REG binary key in: \"HKEY_CURRENT_USER\\Bin\\b\\01 FF  0a\"",
             "1|Successfully wrote REG binary key in: \"HKEY_CURRENT_USER\\Bin\\c\\\"",
             "0|Failed to write REG binary key in: \"HKEY_CURRENT_USER\\Bin\\d\\0g\"",
             "0|Failed to write REG binary key in: \"HKEY_CURRENT_USER\\Bin\\e\\012\""}));
}

TEST_F(RegistryCommandsTest, DeleteKeyRemovesTheWholeBranchAndFailsForAnAbsentKey) {
  h_.RunLine("regwritestring,1,HKEY_CURRENT_USER,Tree\\Branch\\Leaf,v,x");
  h_.RunLine("regwritestring,1,HKEY_CURRENT_USER,Tree\\Other,v,y");
  h_.RunLine("regdeletekey,1,HKEY_CURRENT_USER,tree,BRANCH");
  h_.RunLine("regdeletekey,1,HKEY_CURRENT_USER,Tree,Branch");
  h_.RunLine("regdeletekey,1,HKEY_CURRENT_USER,Made\\On\\The\\Way,x");
  EXPECT_FALSE(KeyExists(kHkcu, "Tree\\Branch"));
  EXPECT_EQ(Value(kHkcu, "Tree\\Other", "v").data, Utf16(u"y"));
  EXPECT_TRUE(KeyExists(kHkcu, "Made\\On\\The\\Way"));
  const std::vector<std::string> texts = h_.view.Texts();
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 2, texts.end()),
            (Texts{"1|Successfully deleted registry key in: \"HKEY_CURRENT_USER\\tree key:BRANCH\"",
                   "0|Failed to delete registry key in: \"HKEY_CURRENT_USER\\Tree key:Branch\"",
                   "0|Failed to delete registry key in: \"HKEY_CURRENT_USER\\Made\\On\\The\\Way "
                   "key:x\""}));
}

TEST_F(RegistryCommandsTest, KeysThatCannotBeMadeFailAndRefusedValuesEndTheRun) {
  h_.RunLine("regwritestring,1,HKEY_LOCAL_MACHINE,NewTopKey,v,x");
  h_.RunLine("regdeletekey,1,HKEY_LOCAL_MACHINE,,SOFTWARE");
  EXPECT_EQ(h_.view.Texts(),
            (Texts{"0|Failed to write registry string key in: \"HKEY_LOCAL_MACHINE\\NewTopKey\" "
                   "Key:v\" Value:\"x\"",
                   "0|Failed to delete registry key in: \"HKEY_LOCAL_MACHINE\\ key:SOFTWARE\""}));
  EXPECT_TRUE(KeyExists(kHklm, "SOFTWARE\\Microsoft"));
  try {
    h_.RunLine("regwritestring,1,HKEY_LOCAL_MACHINE,,v#$q,x");
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'v\"'");
  }
  // The direct layer reports it as its failure line.
  h_.RunLine("regwritedword,1,HKEY_LOCAL_MACHINE,,v,1");
  EXPECT_EQ(h_.view.Texts().back(),
            "0|Failed to write REG DWORD key in: \"HKEY_LOCAL_MACHINE\\\\v\" Value:\"1\"");
}

TEST_F(RegistryCommandsTest, WithoutARegistryEveryCommandFails) {
  h_.services.registry = nullptr;
  h_.RunLine("regwritestring,1,HKEY_CURRENT_USER,K,v,x");
  h_.RunLine("regwritebool,1,HKEY_CURRENT_USER,K,v,true");
  h_.RunLine("regdeletekey,1,HKEY_CURRENT_USER,K,v");
  for (const auto& line : h_.view.lines) EXPECT_EQ(line.kind, LogKind::kFailure);
  EXPECT_EQ(h_.view.lines.size(), 3u);
}

}  // namespace
}  // namespace pelvar
