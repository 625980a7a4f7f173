// Hive files mounted in a private store, edited on copies of real hives and
// read back by independent readers: hivexregedit (libwin-hivex-perl),
// hivexget (libhivex-bin) and reged -x (chntpw).
#include "platform/hive_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <hivex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/commit_before_start.h"
#include "platform/hive_format.h"
#include "platform/host_registry.h"
#include "platform/process_launcher.h"
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
    testing::WriteFileText(file, testing::ReadFixture("hives/" + fixture));
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
  // The file as written so far: the changes held in memory are committed.
  std::string Bytes() {
    Commit();
    return testing::ReadFileText(file);
  }
  void Commit() {
    const RegistryResult r = registry.CommitPending();
    EXPECT_TRUE(r.ok()) << r.message;
  }

  // hivexregedit's export of a key of the hive.
  std::string HivexExport(const std::string& key) {
    Commit();
    return RunShell("hivexregedit --export " + ShellQuoted(file) + " " + ShellQuoted(key)).out;
  }
  // chntpw's export of a key of the hive, with the prefix HKLM\H.
  std::string RegedExport(const std::string& key) {
    Commit();
    const std::string out = dir.Path("reged.reg");
    RunShell("reged -x " + ShellQuoted(file) + " 'HKLM\\H' " + ShellQuoted(key) + " " +
             ShellQuoted(out) + " >/dev/null 2>&1");
    return testing::ReadFileText(out);
  }
  // hivexget of one value ("" with status 1 when absent).
  testing::ShellOutput HivexGet(const std::string& key, const std::string& value) {
    Commit();
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

TEST(HiveFileTest, BigDataAreWrittenAsEachHiveVersionKeepsThem) {
  // A key holding big data: a write beside it leaves it as it was.
  MountedHive system("SYSTEM");
  const RegistryKey options = MountedHive::Key("ControlSet001\\Control\\ProductOptions");
  RegistryValue policy;
  ASSERT_TRUE(system.registry.GetValue(options, "ProductPolicy", policy).ok());
  EXPECT_EQ(policy.data.size(), 21428u);
  ASSERT_TRUE(
      system.Set("ControlSet001\\Control\\ProductOptions", "X", reg_type::kDword, Dword(1)).ok());
  system.Commit();
  RegistryValue after;
  ASSERT_TRUE(system.registry.GetValue(options, "ProductPolicy", after).ok());
  EXPECT_TRUE(after.data == policy.data);

  // Version 1.5 keeps data over 16344 bytes in big-data records, 1.3 in
  // plain cells; either is read back by hivex before the commit ends.
  std::string big(40000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  for (const char* file : {"minimal.hiv", "timezone-regsave.hiv"}) {
    MountedHive hive(file);
    ASSERT_TRUE(hive.Set("", "Big", reg_type::kBinary, big).ok()) << file;
    hive.Commit();
    RegistryValue v;
    ASSERT_TRUE(hive.registry.GetValue(MountedHive::Key(""), "big", v).ok());
    EXPECT_TRUE(v.data == big) << file;
    // Replaced by small data, the records go; replaced again, they come back.
    ASSERT_TRUE(hive.Set("", "Big", reg_type::kBinary, "small data").ok());
    ASSERT_TRUE(hive.Set("", "Big", reg_type::kBinary, big.substr(1)).ok());
    hive.Commit();
    ASSERT_TRUE(hive.registry.GetValue(MountedHive::Key(""), "big", v).ok());
    EXPECT_TRUE(v.data == big.substr(1)) << file;
  }
  MountedHive v13("timezone-regsave.hiv");
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

TEST(HiveFileTest, KeysAddedDeletedAndAddedAgainAreListedAsTheFileHoldsThem) {
  MountedHive hive("minimal.hiv");
  for (const char* name : {"b", "a", "C"}) {
    ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key(std::string("K\\") + name)).ok());
  }
  RegistryKeyContents contents;
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key("k"), contents).ok());
  EXPECT_EQ(contents.subkeys, (std::vector<std::string>{"a", "b", "C"}));
  ASSERT_TRUE(hive.Set("K\\B\\Deep", "V", reg_type::kDword, Dword(1)).ok());
  ASSERT_TRUE(hive.registry.DeleteKey(MountedHive::Key("K"), KeyOpen::kExisting, "B").ok());
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key("K"), contents).ok());
  EXPECT_EQ(contents.subkeys, (std::vector<std::string>{"a", "C"}));
  EXPECT_EQ(hive.registry.ListKey(MountedHive::Key("K\\b\\Deep"), contents).status,
            RegistryStatus::kKeyNotFound);
  ASSERT_TRUE(hive.Set("K\\b", "W", reg_type::kDword, Dword(2)).ok());
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key("K"), contents).ok());
  EXPECT_EQ(contents.subkeys, (std::vector<std::string>{"a", "b", "C"}));
  hive.Commit();
  EXPECT_EQ(RunShell("printf 'cd K\\nls\\n' | hivexsh " + ShellQuoted(hive.file)).out, "a\nb\nC\n");
  EXPECT_EQ(hive.HivexGet("\\K\\b", "W").out, "2\n");
}

TEST(HiveFileTest, KeysGoWhereTheSystemsSortedListsWantThem) {
  MountedHive hive("minimal.hiv");
  // "_" sorts after the letters once they are upper-cased, as the system
  // compares them.
  for (const char* name : {"AB", "AC", "A_B", "AA_B", "ab_"}) {
    ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key(name)).ok()) << name;
  }
  RegistryKeyContents contents;
  ASSERT_TRUE(hive.registry.ListKey(MountedHive::Key(""), contents).ok());
  EXPECT_EQ(contents.subkeys, (std::vector<std::string>{"AA_B", "AB", "ab_", "AC", "A_B"}));
  // hivexsh lists them in an order of its own.
  hive.Commit();
  EXPECT_EQ(RunShell("echo ls | hivexsh " + ShellQuoted(hive.file)).out,
            "A_B\nAA_B\nAB\nab_\nAC\n");
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
  // Other values, whatever their names, are left as they are.
  const std::string key(root.subkeys.back());
  ASSERT_TRUE(special.Set(key, "other", reg_type::kDword, Dword(1)).ok());
  special.Commit();
  RegistryKeyContents contents;
  ASSERT_TRUE(special.registry.ListKey(MountedHive::Key(key), contents).ok());
  ASSERT_EQ(contents.values.size(), 2u);
  EXPECT_EQ(contents.values[0].name, std::string("zero\0val", 8));
  EXPECT_EQ(contents.values[1].name, "other");
}

TEST(HiveFileTest, CommitsReplaceTheFileWholeAndKeepItsMode) {
  MountedHive hive("minimal.hiv");
  ::chmod(hive.file.c_str(), 0640);
  ASSERT_TRUE(hive.Set("K", "V", reg_type::kDword, Dword(1)).ok());
  hive.Commit();
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

TEST(HiveFileTest, ReadOnlyLinkedAndOddlyNamedHivesAreReplacedAsEveryFileIs) {
  testing::TempDir dir;
  const std::string file = dir.Path("a b \xC3\xA4/S Y S \xE2\x82\xAC.hiv");
  testing::WriteFileText(file, testing::ReadFixture("hives/minimal.hiv"));
  const std::string link = dir.Path("link.hiv");
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  // The leftover of a writer that was killed is removed by the next write.
  const std::string leftover = dir.Path("a b \xC3\xA4/.pvt999999999-0badf00d");
  testing::WriteFileText(leftover, "half");
  {
    HostRegistry registry(dir.Path("registry.db"), "/opt");
    ASSERT_TRUE(registry.LoadHive("H", link).ok());
    const RegistryResult r = registry.SetValue({RegistryRoot::kLocalMachine, "H\\K \xC3\xA4"},
                                               KeyOpen::kCreate, {"v", reg_type::kDword, Dword(7)});
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_TRUE(registry.CommitPending().ok());
  }
  // Written through the link, which stays a link.
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(
      RunShell("hivexget " + ShellQuoted(file) + " " + ShellQuoted("\\K \xC3\xA4") + " v").out,
      "7\n");
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path("a b \xC3\xA4"))) {
    names.push_back(e.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"S Y S \xE2\x82\xAC.hiv"});
  // A read-only hive is refused before anything is changed.
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  const std::string before = testing::ReadFileText(file);
  HostRegistry registry(dir.Path("registry.db"), "/opt");
  const RegistryResult r = registry.SetValue({RegistryRoot::kLocalMachine, "H\\K2"},
                                             KeyOpen::kCreate, {"v", reg_type::kDword, Dword(8)});
  EXPECT_EQ(r.status, RegistryStatus::kKeyRefused);
  EXPECT_EQ(r.message,
            "hive file \"" + std::filesystem::canonical(file).string() + "\": Permission denied");
  EXPECT_TRUE(registry.CommitPending().ok());
  EXPECT_EQ(testing::ReadFileText(file), before);
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
  testing::WriteFileText(amcache, testing::ReadFixture("hives/Amcache.hve"));
  EXPECT_EQ(HiveMountProblem(amcache),
            "the hive was not closed cleanly (its sequence numbers differ) and its transaction "
            "logs would have to be replayed first");
  EXPECT_EQ(HiveMountProblem(dir.Write("text", "not a hive at all")), "not a registry hive file");
  EXPECT_EQ(HiveMountProblem(dir.Path("none")), "No such file or directory");
  EXPECT_EQ(HiveMountProblem(testing::FixturePath("hives/minimal.hiv")), "");
}

// Every key and value of a hive, as hivex reads them, in one text.
std::string Dump(const std::string& path) {
  hive_h* h = hivex_open(path.c_str(), 0);
  if (h == nullptr) return "cannot open";
  std::string out;
  const std::function<void(hive_node_h, const std::string&)> walk = [&](hive_node_h node,
                                                                        const std::string& at) {
    out += at + "\n";
    hive_value_h* values = hivex_node_values(h, node);
    for (size_t i = 0; values != nullptr && values[i] != 0; ++i) {
      char* name = hivex_value_key(h, values[i]);
      hive_type type;
      size_t len = 0;
      char* data = hivex_value_value(h, values[i], &type, &len);
      uint32_t type_number = 0;  // hivex's enum may carry any type: read its bytes
      std::memcpy(&type_number, &type, sizeof type_number);
      out += " " + std::string(name, hivex_value_key_len(h, values[i])) + " " +
             std::to_string(type_number) + " " + std::string(data, len) + "\n";
      std::free(name);
      std::free(data);
    }
    std::free(values);
    hive_node_h* children = hivex_node_children(h, node);
    for (size_t i = 0; children != nullptr && children[i] != 0; ++i) {
      char* name = hivex_node_name(h, children[i]);
      walk(children[i], at + "\\" + std::string(name, hivex_node_name_len(h, children[i])));
      std::free(name);
    }
    std::free(children);
  };
  walk(hivex_root(h), "");
  hivex_close(h);
  return out;
}

std::string CompactedCopy(const std::string& image, testing::TempDir& dir,
                          const std::string& name) {
  std::string compact;
  std::string why;
  EXPECT_TRUE(CompactHive(image, compact, why)) << name << ": " << why;
  return dir.Write(name, compact);
}

TEST(HiveCompactTest, CompactingKeepsEveryKeyAndValue) {
  testing::TempDir dir;
  for (const char* fixture : {"minimal.hiv", "special.hiv", "timezone-regsave.hiv",
                              "unicode-names.hiv", "BCD", "NTUSER.DAT", "SYSTEM", "Amcache.hve"}) {
    const std::string original = testing::FixturePath("hives/" + std::string(fixture));
    const std::string image = testing::ReadFileText(original);
    const std::string copy = CompactedCopy(image, dir, fixture);
    EXPECT_EQ(Dump(copy), Dump(original)) << fixture;
    // A header that matches the file.
    HiveHeader header;
    const int fd = ::open(copy.c_str(), O_RDONLY);
    EXPECT_EQ(HiveHeaderProblem(fd, testing::ReadFileText(copy).size(), header), "") << fixture;
    ::close(fd);
    EXPECT_LE(testing::ReadFileText(copy).size(), image.size()) << fixture;
  }
}

TEST(HiveCompactTest, FreeSpaceIsCountedCellByCellAndCellsMustFillTheirBins) {
  std::string image = testing::ReadFixture("hives/minimal.hiv");
  uint64_t free_bytes = 0;
  uint64_t bins = 0;
  ASSERT_TRUE(HiveFreeSpace(image, free_bytes, bins));
  EXPECT_EQ(bins, 4096u);
  EXPECT_EQ(free_bytes, 3656u);
  // The first cell made longer than its bin, then one shorter than the
  // next cell's start (a size of 8 where the root key's record is).
  std::string overlong = image;
  overlong[0x1020 + 1] = 0x7F;
  EXPECT_FALSE(HiveFreeSpace(overlong, free_bytes, bins));
  std::string zero = image;
  for (int i = 0; i < 4; ++i) zero[0x1020 + i] = 0;
  EXPECT_FALSE(HiveFreeSpace(zero, free_bytes, bins));
  EXPECT_FALSE(HiveFreeSpace(image.substr(0, 6000), free_bytes, bins));
}

// A hive whose header says its bins hold 256 MiB, with the checksum made to
// match: accepted, one write would leave a file no reader can open.
TEST(HiveMountTest, AHeaderThatDoesNotMatchTheFileIsRefusedWithTheReason) {
  testing::TempDir dir;
  std::string bcd = testing::ReadFixture("hives/BCD");
  const auto put32 = [](std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
  };
  const auto fix_checksum = [&](std::string& s) {
    uint32_t sum = 0;
    for (size_t i = 0; i < 508; i += 4) {
      uint32_t v = 0;
      for (int b = 0; b < 4; ++b)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(s[i + b])) << (8 * b);
      sum ^= v;
    }
    put32(s, 0x1FC, sum);
  };
  std::string lying = bcd;
  put32(lying, 0x28, 256u << 20);
  fix_checksum(lying);
  EXPECT_EQ(HiveMountProblem(dir.Write("lying", lying)),
            "the header says the hive bins take 268435456 bytes, but the file holds only 28672");
  std::string odd = bcd;
  put32(odd, 0x28, 4096 + 100);
  fix_checksum(odd);
  EXPECT_EQ(HiveMountProblem(dir.Write("odd", odd)),
            "the header gives a size of the hive bins (4196 bytes) that is not a whole number "
            "of blocks");
  std::string broken_chain = bcd;
  put32(broken_chain, 0x2000 + 4, 0x2000);  // the second bin says it is the third
  EXPECT_EQ(HiveMountProblem(dir.Write("chain", broken_chain)),
            "the hive bins do not form a chain of the size the header gives (at offset 4096)");
  std::string rootless = bcd;
  put32(rootless, 0x24, 0x10);
  fix_checksum(rootless);
  EXPECT_EQ(HiveMountProblem(dir.Write("rootless", rootless)),
            "the header's root key offset does not lead to a key");
  std::string unsummed = bcd;
  put32(unsummed, 0x28, 256u << 20);
  EXPECT_EQ(HiveMountProblem(dir.Write("unsummed", unsummed)),
            "the header's checksum does not match the header");
  EXPECT_EQ(HiveMountProblem(dir.Write("bcd", bcd)), "");

  // Refused for writing as for mounting, the file untouched.
  HostRegistry registry(dir.Path("registry.db"), "/opt");
  ASSERT_TRUE(registry.LoadHive("B", dir.Path("bcd")).ok());
  testing::WriteFileText(dir.Path("bcd"), lying);
  const RegistryResult r = registry.SetValue({RegistryRoot::kLocalMachine, "B\\Description"},
                                             KeyOpen::kCreate, {"X", reg_type::kDword, Dword(1)});
  EXPECT_EQ(r.status, RegistryStatus::kKeyRefused);
  EXPECT_NE(r.message.find("268435456"), std::string::npos) << r.message;
  EXPECT_TRUE(registry.CommitPending().ok());
  EXPECT_TRUE(testing::ReadFileText(dir.Path("bcd")) == lying);
}

// Writes stay in memory until the run commits them, and then all are there.
TEST(HiveWriteBackTest, ChangesReachTheFileWhenCommittedUnloadedOrBeforeAProgramStarts) {
  MountedHive hive("SYSTEM");
  const std::string before = testing::ReadFileText(hive.file);
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(
        hive.Set("Setup\\Pelvar", "V" + std::to_string(i), reg_type::kDword, Dword(i)).ok());
  }
  RegistryValue v;
  ASSERT_TRUE(hive.registry.GetValue(MountedHive::Key("Setup\\Pelvar"), "v49", v).ok());
  EXPECT_EQ(v.data, Dword(49));
  EXPECT_TRUE(testing::ReadFileText(hive.file) == before);
  EXPECT_EQ(hive.HivexGet("\\Setup\\Pelvar", "V0").out, "0\n");
  EXPECT_EQ(hive.HivexGet("\\Setup\\Pelvar", "V49").out, "49\n");
  EXPECT_EQ(hive.HivexGet("\\ControlSet001\\Services\\Tcpip", "Start").out, "0\n");

  // A started program sees what was written, and no lock.
  struct Probe : ProcessLauncher {
    explicit Probe(MountedHive& h) : hive(h) {}
    ProcessOutcome Run(const ProcessRequest&, bool) override {
      seen = RunShell("hivexget " + ShellQuoted(hive.file) + " '\\Setup\\Pelvar' Late").out;
      ProcessOutcome o;
      o.started = true;
      o.exit_code = 0;
      return o;
    }
    MountedHive& hive;
    std::string seen;
  } probe(hive);
  CommitBeforeStart launcher(probe, hive.registry);
  ASSERT_TRUE(hive.Set("Setup\\Pelvar", "Late", reg_type::kDword, Dword(5)).ok());
  launcher.Run({}, true);
  EXPECT_EQ(probe.seen, "5\n");

  ASSERT_TRUE(hive.Set("Setup\\Pelvar", "AtUnload", reg_type::kDword, Dword(6)).ok());
  ASSERT_TRUE(hive.registry.UnloadHive("h").ok());
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive.file) + " '\\Setup\\Pelvar' AtUnload").out,
            "6\n");
}

TEST(HiveWriteBackTest, AChangeWaitsNoLongerThanTheCommitInterval) {
  MountedHive hive("minimal.hiv");
  hive.registry.set_commit_after(std::chrono::milliseconds(0));
  ASSERT_TRUE(hive.Set("K", "A", reg_type::kDword, Dword(1)).ok());
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive.file) + " '\\K' A").out, "1\n");
  hive.registry.set_commit_after(std::chrono::hours(1));
  ASSERT_TRUE(hive.Set("K", "B", reg_type::kDword, Dword(2)).ok());
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive.file) + " '\\K' B 2>/dev/null").status, 1);
}

TEST(HiveWriteBackTest, AFailedCommitOnTheWayIsNotTheOutcomeOfTheWriteAfterIt) {
  testing::TempDir dir;
  HostRegistry registry(dir.Path("registry.db"), "/opt");
  const std::string hive = dir.Write("hives/system.hiv", testing::ReadFixture("hives/minimal.hiv"));
  ASSERT_TRUE(registry.LoadHive("H", hive).ok());
  registry.set_commit_after(std::chrono::milliseconds(0));
  const RegistryKey key{RegistryRoot::kLocalMachine, "H\\K"};
  ASSERT_TRUE(registry.SetValue(key, KeyOpen::kCreate, {"A", reg_type::kDword, Dword(1)}).ok());
  // With the hive's folder away, the commit after the next write cannot
  // replace the file; the write itself is done all the same.
  ASSERT_EQ(::rename(dir.Path("hives").c_str(), dir.Path("away").c_str()), 0);
  EXPECT_TRUE(registry.SetValue(key, KeyOpen::kCreate, {"B", reg_type::kDword, Dword(2)}).ok());
  ASSERT_EQ(::rename(dir.Path("away").c_str(), dir.Path("hives").c_str()), 0);
  // The changes were kept for the unload, which writes them.
  const RegistryResult r = registry.UnloadHive("H");
  EXPECT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive) + " '\\K' B").out, "2\n");
}

TEST(HiveWriteBackTest, ALargeHiveIsCompactedOnlyOnceAQuarterOfItIsFree) {
  MountedHive system("SYSTEM");
  system.registry.set_commit_after(std::chrono::milliseconds(0));
  const size_t original = testing::ReadFileText(system.file).size();
  // Held open, the first file's inode number cannot be given to another.
  const int held = ::open(system.file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat first;
  ASSERT_EQ(::fstat(held, &first), 0);
  // Each write is committed; the hive, some 18% free, keeps its layout.
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(
        system.Set("Setup\\Pelvar", "V" + std::to_string(i), reg_type::kDword, Dword(i)).ok());
  }
  // A name outside ASCII has its hash set in the file; the writes go on
  // from the file as written.
  ASSERT_TRUE(system.registry.CreateKey(MountedHive::Key("Setup\\Pelvar\\Größe")).ok());
  ASSERT_TRUE(system.Set("Setup\\Pelvar", "V5", reg_type::kDword, Dword(5)).ok());
  struct stat now;
  ASSERT_EQ(::stat(system.file.c_str(), &now), 0);
  EXPECT_NE(now.st_ino, first.st_ino);
  ::close(held);
  EXPECT_GE(static_cast<size_t>(now.st_size), original);
  for (int i = 0; i <= 5; ++i) {
    EXPECT_EQ(RunShell("hivexget " + ShellQuoted(system.file) + " '\\Setup\\Pelvar' V" +
                       std::to_string(i))
                  .out,
              std::to_string(i) + "\n");
  }
  EXPECT_EQ(RunShell("printf 'cd Setup\\Pelvar\\nls\\n' | hivexsh " + ShellQuoted(system.file)).out,
            "Größe\n");

  // Data written and deleted again leave more than a quarter of the bins
  // free: then the whole hive is packed, well below its first size.
  system.registry.set_commit_after(std::chrono::hours(1));
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(system
                    .Set("Setup\\Many\\K" + std::to_string(i), "Data", reg_type::kBinary,
                         std::string(16000, static_cast<char>(i)))
                    .ok());
  }
  system.Commit();
  EXPECT_GT(system.Bytes().size(), original);
  ASSERT_TRUE(
      system.registry.DeleteKey(MountedHive::Key("Setup"), KeyOpen::kExisting, "Many").ok());
  system.Commit();
  EXPECT_LT(system.Bytes().size(), original * 4 / 5);
  EXPECT_EQ(system.HivexGet("\\Setup\\Pelvar", "V5").out, "5\n");
  EXPECT_EQ(system.HivexGet("\\ControlSet001\\Services\\Tcpip", "Start").out, "0\n");
}

TEST(HiveWriteBackTest, WritingWhatTheHiveHoldsAlreadyCommitsNothing) {
  MountedHive hive("minimal.hiv");
  ASSERT_TRUE(hive.Set("K", "A", reg_type::kDword, Dword(1)).ok());
  hive.Commit();
  const int held = ::open(hive.file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat before;
  ASSERT_EQ(::fstat(held, &before), 0);
  ASSERT_TRUE(hive.Set("K", "a", reg_type::kDword, Dword(1)).ok());
  hive.Commit();
  struct stat after;
  ASSERT_EQ(::stat(hive.file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  // Another type is a change.
  ASSERT_TRUE(hive.Set("K", "A", reg_type::kBinary, Dword(1)).ok());
  hive.Commit();
  ASSERT_EQ(::stat(hive.file.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  ::close(held);
}

// Rewriting values and adding keys again and again: the file grows with the
// data, not with the number of writes.
TEST(HiveWriteBackTest, HivesGrowWithTheirDataNotWithTheirWrites) {
  MountedHive hive("minimal.hiv");
  const size_t start = hive.Bytes().size();
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(
        hive.Set("", "Same", reg_type::kBinary, std::string(100, static_cast<char>(i))).ok());
    hive.Commit();
  }
  EXPECT_LE(hive.Bytes().size(), start + 2 * 200);
  EXPECT_EQ(hive.HivexGet("\\", "Same").status, 0);
  size_t data = 0;
  for (int i = 0; i < 600; ++i) {
    const std::string name = "Key" + std::to_string(100000 + i);
    ASSERT_TRUE(hive.registry.CreateKey(MountedHive::Key("Many\\" + name)).ok());
    data += name.size();
    if (i % 50 == 49) hive.Commit();
  }
  // Each key costs its record (about 80 bytes with the name) and an entry
  // in its parent's list.
  EXPECT_LE(hive.Bytes().size(), start + 2 * (data + 600 * 100));
  EXPECT_EQ(
      RunShell("printf 'cd Many\\nls\\n' | hivexsh " + ShellQuoted(hive.file) + " | wc -l").out,
      "600\n");
}

}  // namespace
}  // namespace pelvar::platform
