// Hive files mounted in a private store, edited on copies of real hives and
// read back by independent readers: hivexregedit (libwin-hivex-perl),
// hivexget (libhivex-bin) and reged -x (chntpw).
#include "platform/hive_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/host_registry.h"
#include "platform/registry_text.h"
#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using testing::RunShell;
using testing::ShellQuoted;

// A copy of a fixture hive mounted as HKEY_LOCAL_MACHINE\H.
class MountedHive {
 public:
  explicit MountedHive(const std::string& fixture)
      : registry(dir.Path("registry.db"), "/opt"), file(dir.Path(fixture)) {
    testing::WriteFileText(file, testing::ReadFileText(PELVAR_SHARED_DATA "/hives/" + fixture));
    const RegistryResult r = registry.LoadHive("H", file);
    EXPECT_TRUE(r.ok()) << r.message;
  }

  static RegistryKey Key(const std::string& path) {
    return {RegistryRoot::kLocalMachine, path.empty() ? "H" : "H\\" + path};
  }
  RegistryResult Set(const std::string& path, const std::string& name, uint32_t type,
                     const std::string& data) {
    return registry.SetValue(Key(path), KeyOpen::kCreate, {name, type, data});
  }
  std::string Bytes() const { return testing::ReadFileText(file); }

  // hivexregedit's export of a key of the hive.
  std::string HivexExport(const std::string& key) const {
    return RunShell("hivexregedit --export " + ShellQuoted(file) + " " + ShellQuoted(key)).out;
  }
  // chntpw's export of a key of the hive, with the prefix HKLM\H.
  std::string RegedExport(const std::string& key) const {
    const std::string out = dir.Path("reged.reg");
    RunShell("reged -x " + ShellQuoted(file) + " 'HKLM\\H' " + ShellQuoted(key) + " " +
             ShellQuoted(out) + " >/dev/null 2>&1");
    return testing::ReadFileText(out);
  }
  // hivexget of one value ("" with status 1 when absent).
  testing::ShellOutput HivexGet(const std::string& key, const std::string& value) const {
    return RunShell("hivexget " + ShellQuoted(file) + " " + ShellQuoted(key) + " " +
                    ShellQuoted(value) + " 2>/dev/null");
  }

  testing::TempDir dir;
  HostRegistry registry;
  std::string file;
};

std::string Dword(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

TEST(HiveFileTest, NestedKeysAndEveryValueTypeAreReadBackByIndependentReaders) {
  MountedHive hive("NTUSER.DAT");
  const std::string deep = "Software\\Pelvar\\Deep\\Er";
  ASSERT_TRUE(hive.Set(deep, "Str", reg_type::kString, RegistryStringBytes("Wert \xE4\xF6")).ok());
  ASSERT_TRUE(hive.Set(deep, "Exp", reg_type::kExpandString, RegistryStringBytes("%A%")).ok());
  ASSERT_TRUE(hive.Set(deep, "Dw", reg_type::kDword, Dword(0x12345678)).ok());
  ASSERT_TRUE(hive.Set(deep, "Bin", reg_type::kBinary, "\x01\xFF").ok());
  ASSERT_TRUE(hive.Set(deep, "", reg_type::kString, RegistryStringBytes("def")).ok());
  EXPECT_EQ(hive.HivexExport("\\Software\\Pelvar"),
            "Windows Registry Editor Version 5.00\n\n"
            "[\\Software\\Pelvar]\n\n"
            "[\\Software\\Pelvar\\Deep]\n\n"
            "[\\Software\\Pelvar\\Deep\\Er]\n"
            "@=hex(1):64,00,65,00,66,00,00,00\n"
            "\"Bin\"=hex(3):01,ff\n"
            "\"Dw\"=dword:12345678\n"
            "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\n"
            "\"Str\"=hex(1):57,00,65,00,72,00,74,00,20,00,e4,00,f6,00,00,00\n\n");
  EXPECT_EQ(hive.RegedExport("\\Software\\Pelvar"),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKLM\\H\\Software\\Pelvar]\r\n\r\n"
            "[HKLM\\H\\Software\\Pelvar\\Deep]\r\n\r\n"
            "[HKLM\\H\\Software\\Pelvar\\Deep\\Er]\r\n"
            "\"Str\"=\"Wert \xC3\xA4\xC3\xB6\"\r\n"
            "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
            "\"Dw\"=dword:12345678\r\n"
            "\"Bin\"=hex:01,ff\r\n"
            "@=\"def\"\r\n\r\n");
  // Keys of the hive that were there stay readable.
  EXPECT_EQ(hive.HivexGet("\\Control Panel\\Desktop", "Wallpaper").status, 0);
}

TEST(HiveFileTest, DeletingAKeyRemovesItsWholeSubtreeAndNothingElse) {
  MountedHive user("NTUSER.DAT");
  ASSERT_TRUE(
      user.registry.DeleteKey(MountedHive::Key("control panel"), KeyOpen::kExisting, "DESKTOP")
          .ok());
  EXPECT_EQ(user.HivexGet("\\Control Panel\\Desktop", "Wallpaper").status, 1);
  const std::string panel = user.RegedExport("\\Control Panel");
  EXPECT_EQ(panel.find("Desktop]"), std::string::npos);
  EXPECT_NE(panel.find("[HKLM\\H\\Control Panel\\Mouse]"), std::string::npos);
  EXPECT_EQ(
      user.registry.DeleteKey(MountedHive::Key("Control Panel"), KeyOpen::kExisting, "Desktop")
          .status,
      RegistryStatus::kKeyNotFound);

  MountedHive system("SYSTEM");
  ASSERT_TRUE(
      system.registry
          .DeleteKey(MountedHive::Key("ControlSet002\\Services"), KeyOpen::kExisting, "Tcpip")
          .ok());
  EXPECT_EQ(system.HivexGet("\\ControlSet002\\Services\\Tcpip", "Start").status, 1);
  EXPECT_EQ(system.HivexGet("\\ControlSet001\\Services\\Tcpip", "Start").out, "0\n");
  EXPECT_EQ(system.HivexGet("\\ControlSet002\\Services\\Tdx", "Start").status, 0);
}

TEST(HiveFileTest, NamesMatchInAnyLetterCaseBeyondAsciiAndKeepTheirSpelling) {
  MountedHive hive("special.hiv");
  // The hive holds key "abcd_äöüß" with the DWORD value "abcd_äöüß".
  ASSERT_TRUE(hive.Set("ABCD_ÄÖÜß", "Abcd_ÄöÜß", reg_type::kDword, Dword(7)).ok());
  RegistryKeyContents contents;
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key(""), contents).ok());
  EXPECT_EQ(contents.subkeys.size(), 3u);
  EXPECT_EQ(hive.HivexGet("\\abcd_äöüß", "abcd_äöüß").out, "7\n");
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key("abcd_ÄÖÜß"), contents).ok());
  ASSERT_EQ(contents.values.size(), 1u);
  EXPECT_EQ(contents.values[0].name, "abcd_äöüß");
}

TEST(HiveFileTest, KeysHoldingBigDataAreNotRewritten) {
  MountedHive system("SYSTEM");
  const std::string before = system.Bytes();
  const RegistryResult r =
      system.Set("ControlSet001\\Control\\ProductOptions", "X", reg_type::kDword, Dword(1));
  EXPECT_EQ(r.status, RegistryStatus::kUnsupported);
  EXPECT_NE(r.message.find("\"ProductPolicy\" of 21428 bytes"), std::string::npos) << r.message;
  EXPECT_TRUE(system.Bytes() == before);

  const std::string big(20000, 'x');
  MountedHive v15("minimal.hiv");
  EXPECT_EQ(v15.Set("", "Big", reg_type::kBinary, big).status, RegistryStatus::kUnsupported);
  MountedHive v13("timezone-regsave.hiv");  // version 1.3 keeps big data in plain cells
  ASSERT_TRUE(v13.Set("", "Big", reg_type::kBinary, big).ok());
  RegistryValue v;
  ASSERT_TRUE(v13.registry.GetValue(MountedHive::Key(""), "big", v).ok());
  EXPECT_TRUE(v.data == big);
  EXPECT_EQ(v13.HivexGet("\\", "Bias").out, "-60\n");
}

TEST(HiveFileTest, NonAsciiKeyNamesCarryTheSystemsHash) {
  MountedHive hive("minimal.hiv");
  ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key("Ärger")).ok());
  const auto hash_bytes = [](std::u16string_view units) {
    uint32_t h = 0;
    for (const char16_t u : units) h = h * 37 + u;
    return Dword(h);
  };
  const std::string bytes = hive.Bytes();
  EXPECT_NE(bytes.find(hash_bytes(u"\u00C4RGER")), std::string::npos);
  // hivex's own hash, over the UTF-8 bytes, is gone.
  EXPECT_EQ(bytes.find(hash_bytes(u"\u00C3\u0084RGER")), std::string::npos);
  EXPECT_EQ(RunShell("echo ls | hivexsh " + ShellQuoted(hive.file)).out, "Ärger\n");

  // The older "lf" lists of this hive have no room for such a name.
  MountedHive user("NTUSER.DAT");
  const std::string before = user.Bytes();
  EXPECT_EQ(user.registry.CreateKey(MountedHive::Key("Ärger")).status,
            RegistryStatus::kUnsupported);
  EXPECT_TRUE(user.Bytes() == before);
}

TEST(HiveFileTest, AKeyOrderTheSystemWouldNotFollowIsRefused) {
  MountedHive hive("minimal.hiv");
  ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key("AB")).ok());
  ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key("AC")).ok());
  const RegistryResult r = hive.registry.CreateKey(MountedHive::Key("A_B"));
  EXPECT_EQ(r.status, RegistryStatus::kKeyRefused);
  EXPECT_NE(r.message.find("cannot be added in the order the system sorts keys"),
            std::string::npos);
  ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key("AA_B")).ok());
  EXPECT_EQ(RunShell("echo ls | hivexsh " + ShellQuoted(hive.file)).out, "AA_B\nAB\nAC\n");
}

TEST(HiveFileTest, NamesTheSystemRefusesAreRefused) {
  MountedHive hive("minimal.hiv");
  const std::string before = hive.Bytes();
  EXPECT_EQ(hive.registry.CreateKey(MountedHive::Key(std::string(256, 'k'))).status,
            RegistryStatus::kKeyRefused);
  EXPECT_EQ(hive.Set("", std::string(16384, 'v'), reg_type::kDword, Dword(1)).status,
            RegistryStatus::kValueRefused);
  EXPECT_TRUE(hive.Bytes() == before);
  EXPECT_TRUE(hive.registry.CreateKey(MountedHive::Key(std::string(255, 'k'))).ok());

  MountedHive special("special.hiv");  // value "zero\0val" in key "zero\0key"
  RegistryKeyContents root;
  ASSERT_TRUE(special.registry.ListKey(MountedHive::Key(""), root).ok());
  ASSERT_EQ(root.subkeys.back(), std::string("zero\0key", 8));
  EXPECT_EQ(special.Set(root.subkeys.back(), "other", reg_type::kDword, Dword(1)).status,
            RegistryStatus::kUnsupported);
}

TEST(HiveFileTest, CommitsReplaceTheFileWholeAndKeepItsMode) {
  MountedHive hive("minimal.hiv");
  ::chmod(hive.file.c_str(), 0640);
  ASSERT_TRUE(hive.Set("K", "V", reg_type::kDword, Dword(1)).ok());
  struct stat st;
  ASSERT_EQ(::stat(hive.file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(hive.dir.path())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"minimal.hiv", "registry.db", "registry.db-shm",
                                             "registry.db-wal"}));
}

TEST(HiveFileTest, WritersAtOnceLoseNothing) {
  MountedHive hive("minimal.hiv");
  const auto writer = [&](const std::string& prefix) {
    HostRegistry own(hive.dir.Path("registry.db"), "/opt");
    for (int i = 0; i < 15; ++i) {
      const RegistryResult r =
          own.SetValue(MountedHive::Key("K"), KeyOpen::kCreate,
                       {prefix + std::to_string(i), reg_type::kDword, Dword(1)});
      EXPECT_TRUE(r.ok()) << r.message;
    }
  };
  std::thread a(writer, "a");
  std::thread b(writer, "b");
  a.join();
  b.join();
  RegistryKeyContents contents;
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key("K"), contents).ok());
  EXPECT_EQ(contents.values.size(), 30u);
}

TEST(HiveMountTest, HivesThatCannotBeMountedAreRefusedWithTheReason) {
  testing::TempDir dir;
  const std::string amcache = dir.Path("Amcache.hve");
  testing::WriteFileText(amcache, testing::ReadFileText(PELVAR_SHARED_DATA "/hives/Amcache.hve"));
  EXPECT_EQ(HiveMountProblem(amcache),
            "the hive was not closed cleanly (its sequence numbers differ) and its transaction "
            "logs would have to be replayed first");
  EXPECT_EQ(HiveMountProblem(dir.Write("text", "not a hive at all")), "not a registry hive file");
  EXPECT_EQ(HiveMountProblem(dir.Path("none")), "No such file or directory");
  EXPECT_EQ(HiveMountProblem(PELVAR_SHARED_DATA "/hives/minimal.hiv"), "");
}

}  // namespace
}  // namespace pelvar::platform
