// The xorriso image service: its arguments and report parsing, and real
// images read back by independent readers (isoinfo of genisoimage, and
// xorriso's own El Torito report).
#include "platform/xorriso_iso_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix_process_launcher.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using testing::TempDir;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Standard output of a shell command (its status in `status`).
std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = ::pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool HaveTools() {
  return !FindProgramInPath("xorriso").empty() && !FindProgramInPath("isoinfo").empty();
}

#define REQUIRE_TOOLS()                                                              \
  if (!HaveTools()) GTEST_SKIP() << "xorriso or isoinfo missing (scripts/setup.sh)"; \
  static_assert(true)

// Stand-in boot files: arbitrary bytes of the sizes real ones have.
void WriteBootFiles(const TempDir& dir, const std::string& tree) {
  dir.Write(tree + "/boot/etfsboot.com", std::string(4096, '\xEB'));
  dir.Write(tree + "/efi/microsoft/boot/efisys.bin", std::string(1474560, '\xF0'));
}

IsoWriteRequest Request(const TempDir& dir, const std::string& tree, const std::string& image) {
  IsoWriteRequest request;
  request.tree = dir.Path(tree);
  request.output = dir.Write(image, "");
  request.label = "PELVAR_TEST";
  return request;
}

TEST(XorrisoIsoImageTest, WriteArgumentsAskForJolietLevelThreeAndTheBootEntries) {
  IsoWriteRequest request;
  request.tree = "/t";
  request.output = "/o.tmp";
  request.label = "L";
  request.boot = {{BootPlatform::kBios, "/Boot/etfsboot.com", 8},
                  {BootPlatform::kEfi, "/efi/microsoft/boot/efisys.bin", 0}};
  const auto args = XorrisoWriteArguments(request);
  std::string joined;
  for (const auto& a : args) joined += a + " ";
  EXPECT_NE(joined.find("-outdev stdio:/o.tmp -volid L -joliet on -rockridge off"),
            std::string::npos);
  EXPECT_NE(joined.find("iso_9660_level=3"), std::string::npos);
  EXPECT_NE(joined.find("-map /t / "), std::string::npos);
  EXPECT_NE(joined.find("bin_path=/Boot/etfsboot.com -boot_image any platform_id=0x00 "
                        "-boot_image any emul_type=no_emulation -boot_image any load_size=4096 "
                        "-boot_image any next -boot_image any "
                        "efi_path=/efi/microsoft/boot/efisys.bin -boot_image any cat_hidden=on"),
            std::string::npos)
      << joined;
  EXPECT_EQ(args.back(), "-end");
}

TEST(XorrisoIsoImageTest, DataImageHasNoBootArguments) {
  IsoWriteRequest request;
  request.tree = "/t";
  request.output = "/o";
  request.label = "L";
  for (const auto& a : XorrisoWriteArguments(request)) EXPECT_NE(a, "-boot_image");
}

TEST(XorrisoIsoImageTest, ProgressAndProblemLines) {
  uint64_t bytes = 0;
  EXPECT_TRUE(ParseXorrisoProgress(
      "xorriso : UPDATE : Writing:      960s  100.0%   fifo   0%  buf  50%", bytes));
  EXPECT_EQ(bytes, 960u * 2048u);
  EXPECT_FALSE(
      ParseXorrisoProgress("xorriso : UPDATE :      20 files added in 0.1 seconds", bytes));
  EXPECT_FALSE(ParseXorrisoProgress("Writing: nothing", bytes));
  EXPECT_EQ(XorrisoProblem("xorriso : SORRY : Cannot open file '/x'"), "Cannot open file '/x'");
  EXPECT_EQ(XorrisoProblem("libisofs: FAILURE : Image write error"), "Image write error");
  EXPECT_EQ(XorrisoProblem("xorriso : NOTE : Loading"), "");
  EXPECT_EQ(XorrisoProblem("xorriso : WARNING : -volid text"), "");
}

TEST(XorrisoIsoImageTest, ReportIsParsed) {
  const std::string report =
      "Volume Id    : MY_LABEL\n"
      "El Torito catalog  : 89  1\n"
      "El Torito images   :   N  Pltf  B   Emul  Ld_seg  Hdpt  Ldsiz         LBA\n"
      "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      8          90\n"
      "El Torito boot img :   2  UEFI  y   none  0x0000  0x00   2880          92\n"
      "El Torito img path :   1  /Boot/etfsboot.com\n"
      "El Torito img path :   2  /EFI/Microsoft/Boot/efisys.bin\n"
      "dr-xr-xr-x    1 0        0               0 Dec  8 07:21 '/'\n"
      "dr-xr-xr-x    1 0        0               0 Dec  8 07:21 '/sub'\n"
      "-r-xr-xr-x    1 0        0      5368709120 Dec  8 07:21 '/sub/it'\"'\"'s big'\n";
  IsoContents contents;
  std::string bad;
  ASSERT_TRUE(ParseXorrisoReport(report, contents, bad)) << bad;
  EXPECT_EQ(contents.label, "MY_LABEL");
  ASSERT_EQ(contents.boot.size(), 2u);
  EXPECT_EQ(contents.boot[0].platform, BootPlatform::kBios);
  EXPECT_EQ(contents.boot[0].load_sectors, 8);
  EXPECT_TRUE(contents.boot[0].no_emulation);
  EXPECT_EQ(contents.boot[0].image_path, "/Boot/etfsboot.com");
  EXPECT_EQ(contents.boot[1].platform, BootPlatform::kEfi);
  EXPECT_EQ(contents.boot[1].image_path, "/EFI/Microsoft/Boot/efisys.bin");
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_TRUE(contents.entries[0].folder);
  EXPECT_EQ(contents.entries[0].path, "/sub");
  EXPECT_EQ(contents.entries[1].path, "/sub/it's big");
  EXPECT_EQ(contents.entries[1].size, 5368709120u);
}

TEST(XorrisoIsoImageTest, BrokenReportLineIsRefused) {
  IsoContents contents;
  std::string bad;
  EXPECT_FALSE(ParseXorrisoReport("El Torito boot img :   x  BIOS\n", contents, bad));
  EXPECT_EQ(bad, "El Torito boot img :   x  BIOS");
}

TEST(XorrisoIsoImageTest, InsideFollowsLinksAndDotDot) {
  TempDir dir;
  dir.Write("tree/a/x", "");
  dir.Write("out/y", "");
  ASSERT_EQ(::symlink(dir.Path("tree/a").c_str(), dir.Path("out/link").c_str()), 0);
  XorrisoIsoImage tool;
  EXPECT_TRUE(tool.Inside(dir.Path("tree/new.iso"), dir.Path("tree")));
  EXPECT_TRUE(tool.Inside(dir.Path("tree/a/../b.iso"), dir.Path("tree")));
  EXPECT_TRUE(tool.Inside(dir.Path("out/link/c.iso"), dir.Path("tree")));
  EXPECT_FALSE(tool.Inside(dir.Path("out/c.iso"), dir.Path("tree")));
  EXPECT_FALSE(tool.Inside(dir.Path("tree2.iso"), dir.Path("tree")));
  EXPECT_FALSE(tool.Inside(dir.Path("tree/../c.iso"), dir.Path("tree")));
}

TEST(XorrisoIsoImageTest, BootableImageReadsBackInIndependentReaders) {
  REQUIRE_TOOLS();
  TempDir dir;
  WriteBootFiles(dir, "tree");
  const std::string long_name(103 - 4, 'L');
  dir.Write("tree/Sources/Install Image " + std::string("\xC3\x9C") + "ber.txt", "12345");
  dir.Write("tree/Sources/" + long_name + ".txt", "x");
  dir.Write("tree/1/2/3/4/5/6/7/8/9/10/Deep File.txt", "deep");
  dir.Write("tree/Empty file", "");
  IsoWriteRequest request = Request(dir, "tree", "image.iso");
  request.boot = {{BootPlatform::kBios, "/boot/etfsboot.com", 8},
                  {BootPlatform::kEfi, "/efi/microsoft/boot/efisys.bin", 0}};
  std::vector<uint64_t> progress;
  request.progress = [&](uint64_t bytes) { progress.push_back(bytes); };
  XorrisoIsoImage tool;
  const IsoOutcome outcome = tool.Write(request);
  ASSERT_TRUE(outcome.done) << outcome.reason;
  const std::string image = dir.Path("image.iso");

  // isoinfo: the Joliet names and sizes (names in Latin-1 here).
  const std::string listing = Shell("isoinfo -J -j iso8859-1 -l -i " + Quote(image));
  EXPECT_NE(listing.find("Install Image \xDC"
                         "ber.txt"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find(long_name + ".txt"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Deep File.txt"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Directory listing of /1/2/3/4/5/6/7/8/9/10/"), std::string::npos);
  EXPECT_NE(listing.find("1474560"), std::string::npos);
  EXPECT_EQ(listing.find("boot.catalog"), std::string::npos) << "the catalogue stays hidden";
  const std::string files = Shell("isoinfo -J -j iso8859-1 -f -i " + Quote(image));
  EXPECT_NE(files.find("/boot/etfsboot.com\n"), std::string::npos) << files;
  EXPECT_NE(files.find("/efi/microsoft/boot/efisys.bin\n"), std::string::npos) << files;

  // isoinfo: the boot catalogue's validation entry and default (BIOS) entry.
  const std::string descriptor = Shell("isoinfo -d -i " + Quote(image));
  EXPECT_NE(descriptor.find("Volume id: PELVAR_TEST"), std::string::npos) << descriptor;
  EXPECT_NE(descriptor.find("El Torito VD version 1 found"), std::string::npos);
  EXPECT_NE(descriptor.find("Joliet with UCS level 3 found"), std::string::npos);
  EXPECT_NE(descriptor.find("NO Rock Ridge present"), std::string::npos);
  EXPECT_NE(descriptor.find("Arch 0 (x86)"), std::string::npos);
  EXPECT_NE(descriptor.find("Boot media 0 (No Emulation Boot)"), std::string::npos);
  EXPECT_NE(descriptor.find("Nsect 8"), std::string::npos);

  // xorriso's own report of every catalogue entry with its platform id.
  const std::string torito =
      Shell("xorriso -indev " + Quote(image) + " -report_el_torito plain 2>/dev/null");
  EXPECT_NE(torito.find("El Torito boot img :   1  BIOS  y   none  0x0000  0x00      8"),
            std::string::npos)
      << torito;
  EXPECT_NE(torito.find("El Torito boot img :   2  UEFI  y   none"), std::string::npos);
  EXPECT_NE(torito.find("El Torito img path :   1  /boot/etfsboot.com"), std::string::npos);
  EXPECT_NE(torito.find("El Torito img path :   2  /efi/microsoft/boot/efisys.bin"),
            std::string::npos);

  // The service's own reading agrees.
  IsoContents contents;
  const IsoOutcome read = tool.Read(image, contents);
  ASSERT_TRUE(read.done) << read.reason;
  EXPECT_EQ(contents.label, "PELVAR_TEST");
  ASSERT_EQ(contents.boot.size(), 2u);
  EXPECT_EQ(contents.boot[1].platform, BootPlatform::kEfi);
  const auto has = [&](const std::string& path, uint64_t size) {
    return std::any_of(contents.entries.begin(), contents.entries.end(), [&](const IsoEntry& e) {
      return e.path == path && e.size == size && !e.folder;
    });
  };
  EXPECT_TRUE(
      has("/Sources/Install Image \xC3\x9C"
          "ber.txt",
          5));
  EXPECT_TRUE(has("/1/2/3/4/5/6/7/8/9/10/Deep File.txt", 4));
  EXPECT_TRUE(has("/Empty file", 0));
  EXPECT_TRUE(has("/boot/etfsboot.com", 4096));
}

TEST(XorrisoIsoImageTest, NamesBeyondLatinOneAreKept) {
  REQUIRE_TOOLS();
  TempDir dir;
  const std::string greek = "\xCE\xB1\xCE\xB2\xCE\xB3";  // alpha beta gamma
  const std::string emoji = "\xF0\x9F\x98\x80";          // outside UCS-2
  dir.Write("tree/" + greek + "/" + emoji + " smile.txt", "ok");
  IsoWriteRequest request = Request(dir, "tree", "image.iso");
  XorrisoIsoImage tool;
  ASSERT_TRUE(tool.Write(request).done);
  IsoContents contents;
  ASSERT_TRUE(tool.Read(dir.Path("image.iso"), contents).done);
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[1].path, "/" + greek + "/" + emoji + " smile.txt");
}

TEST(XorrisoIsoImageTest, ATreeReachedThroughALinkIsItsFolder) {
  REQUIRE_TOOLS();
  TempDir dir;
  dir.Write("real/sub/a.txt", "abc");
  ASSERT_EQ(::symlink(dir.Path("real").c_str(), dir.Path("link").c_str()), 0);
  XorrisoIsoImage tool;
  const IsoOutcome outcome = tool.Write(Request(dir, "link", "image.iso"));
  ASSERT_TRUE(outcome.done) << outcome.reason;
  IsoContents contents;
  ASSERT_TRUE(tool.Read(dir.Path("image.iso"), contents).done);
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[1].path, "/sub/a.txt");
  EXPECT_EQ(contents.entries[1].size, 3u);
}

TEST(XorrisoIsoImageTest, ManyFiles) {
  REQUIRE_TOOLS();
  TempDir dir;
  for (int folder = 0; folder < 100; ++folder) {
    for (int file = 0; file < 100; ++file) {
      dir.Write("tree/folder" + std::to_string(folder) + "/file" + std::to_string(file) + ".txt",
                std::to_string(folder * file));
    }
  }
  IsoWriteRequest request = Request(dir, "tree", "image.iso");
  XorrisoIsoImage tool;
  const IsoOutcome outcome = tool.Write(request);
  ASSERT_TRUE(outcome.done) << outcome.reason;
  IsoContents contents;
  ASSERT_TRUE(tool.Read(dir.Path("image.iso"), contents).done);
  EXPECT_EQ(contents.entries.size(), 100u + 10000u);
  const std::string count =
      Shell("isoinfo -J -f -i " + Quote(dir.Path("image.iso")) + " | grep -c 'file.*\\.txt$'");
  EXPECT_EQ(count, "10000\n");
}

TEST(XorrisoIsoImageTest, StopEndsTheWriting) {
  REQUIRE_TOOLS();
  TempDir dir;
  // A sparse file: large to write, nothing to store.
  const std::string big = dir.Write("tree/big.bin", "");
  ASSERT_EQ(::truncate(big.c_str(), 2'000'000'000), 0);
  IsoWriteRequest request = Request(dir, "tree", "image.iso");
  bool stop = false;
  request.progress = [&](uint64_t bytes) { stop = stop || bytes > 0; };
  request.stop = [&] { return stop; };
  XorrisoIsoImage tool;
  const IsoOutcome outcome = tool.Write(request);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_FALSE(outcome.done);
}

TEST(XorrisoIsoImageTest, MissingProgramIsAReason) {
  TempDir dir;
  dir.Write("tree/a", "");
  XorrisoIsoImage tool("/nonexistent/xorriso");
  const IsoOutcome outcome = tool.Write(Request(dir, "tree", "image.iso"));
  EXPECT_FALSE(outcome.done);
  EXPECT_FALSE(outcome.reason.empty());
}

TEST(XorrisoIsoImageTest, UnreadableFileFailsWithItsName) {
  REQUIRE_TOOLS();
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  const std::string secret = dir.Write("tree/secret.txt", "x");
  ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
  XorrisoIsoImage tool;
  const IsoOutcome outcome = tool.Write(Request(dir, "tree", "image.iso"));
  EXPECT_FALSE(outcome.done);
  EXPECT_NE(outcome.reason.find("secret.txt"), std::string::npos) << outcome.reason;
}

// Files over 4 GiB take several extents of ISO 9660 level 3. The file is
// sparse, but the image is not: it needs 4 GiB of disk and about a minute,
// so it runs only when PELVAR_LARGE_TESTS=1.
TEST(XorrisoIsoImageTest, FileOverFourGibIsWrittenInSeveralExtents) {
  REQUIRE_TOOLS();
  const char* large = std::getenv("PELVAR_LARGE_TESTS");
  if (large == nullptr || std::string(large) != "1") {
    GTEST_SKIP() << "writes a 4 GiB image: set PELVAR_LARGE_TESTS=1 to run it";
  }
  TempDir dir;
  constexpr uint64_t kSize = (uint64_t{4} << 30) + 4096;
  struct statvfs fs;
  if (::statvfs(dir.path().c_str(), &fs) != 0 ||
      static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize < kSize + (uint64_t{2} << 30)) {
    GTEST_SKIP() << "the temporary folder cannot hold a 4 GiB image";
  }
  const std::string big = dir.Write("tree/sources/install.wim", "");
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(kSize)), 0);
  XorrisoIsoImage tool;
  const IsoOutcome outcome = tool.Write(Request(dir, "tree", "image.iso"));
  ASSERT_TRUE(outcome.done) << outcome.reason;
  const std::string listing = Shell("isoinfo -J -l -i " + Quote(dir.Path("image.iso")));
  // isoinfo lists each extent of a multi-extent file as an entry of its own.
  size_t count = 0;
  for (size_t at = listing.find("install.wim"); at != std::string::npos;
       at = listing.find("install.wim", at + 1)) {
    ++count;
  }
  EXPECT_GE(count, 2u) << listing;
  IsoContents contents;
  ASSERT_TRUE(tool.Read(dir.Path("image.iso"), contents).done);
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[1].size, kSize);
}

}  // namespace
}  // namespace pelvar::platform
