// pelvar --make-iso with the built program and the real xorriso: the image
// of the example target and of a tree with stand-in boot files, read back
// by isoinfo; refusals; a signal mid-way leaves no file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// The text as one shell word.
std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; its exit status, standard output and error in `out`.
int Shell(const std::string& command, std::string& out) {
  out.clear();
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = ::pclose(pipe);
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool HaveTools() {
  std::string out;
  return Shell("command -v xorriso && command -v isoinfo", out) == 0;
}

class MakeIsoRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "xorriso or isoinfo missing (scripts/setup.sh)";
    fs::copy_file(std::string(PELVAR_PROGRAM_DIR) + "/pelvar.ini", home.Path("pelvar.ini"));
  }

  int MakeIso(const std::string& arguments, std::string& out) {
    return Shell("PELVAR_HOME=" + Quote(home.path()) + " " +
                     Quote(std::string(PELVAR_PROGRAM_DIR) + "/pelvar") + " --make-iso " +
                     arguments,
                 out);
  }

  TempDir home;
  TempDir work;
};

TEST_F(MakeIsoRunTest, ImageOfTheExampleTarget) {
  const std::string program = PELVAR_PROGRAM_DIR;
  std::string out;
  ASSERT_EQ(Shell(Quote(program + "/pelvar") + " " + Quote(program + "/Scripts/example.script") +
                      " " + Quote("/SourceDir=" + program + "/example-source") + " " +
                      Quote("/TargetDir=" + work.Path("target")) + " /silent",
                  out),
            0)
      << out;
  ASSERT_EQ(MakeIso(Quote("/TargetDir=" + work.Path("target")) + " " +
                        Quote("/IsoFile=" + work.Path("Example.iso")),
                    out),
            0)
      << out;
  EXPECT_NE(out.find("8\tCreating ISO image: \"" + work.Path("Example.iso") + "\" from \"" +
                     work.Path("target") + "\" with no boot entry (a data image)\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("1\tSuccessfully created ISO image: \"" + work.Path("Example.iso") + "\" ("),
            std::string::npos)
      << out;
  std::string listing;
  ASSERT_EQ(Shell("isoinfo -J -f -i " + Quote(work.Path("Example.iso")), listing), 0);
  EXPECT_NE(listing.find("/readme.txt\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("/docs/guide.txt\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("/setup/setup.inf\n"), std::string::npos) << listing;
  std::string descriptor;
  Shell("isoinfo -d -i " + Quote(work.Path("Example.iso")), descriptor);
  EXPECT_NE(descriptor.find("Volume id: EXAMPLE"), std::string::npos) << descriptor;
  EXPECT_EQ(descriptor.find("El Torito"), std::string::npos) << descriptor;
  // Nothing but the image is left beside it.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(work.path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Example.iso", "target"}));
}

TEST_F(MakeIsoRunTest, BootableImageWithLabel) {
  work.Write("tree/Boot/etfsboot.com", std::string(4096, '\x33'));
  work.Write("tree/efi/Microsoft/boot/efisys.bin", std::string(1474560, '\x44'));
  work.Write("tree/sources/boot.wim", std::string(100000, 'w'));
  std::string out;
  ASSERT_EQ(MakeIso(Quote("/TargetDir=" + work.Path("tree")) + " " +
                        Quote("/IsoFile=" + work.Path("boot.iso")) + " /Label=CCSA_X64FRE_EN-US",
                    out),
            0)
      << out;
  EXPECT_NE(out.find("BIOS and UEFI boot entries)\n"), std::string::npos) << out;
  std::string torito;
  Shell("xorriso -indev " + Quote(work.Path("boot.iso")) + " -report_el_torito plain", torito);
  EXPECT_NE(torito.find("El Torito boot img :   1  BIOS  y   none  0x0000  0x00      8"),
            std::string::npos)
      << torito;
  EXPECT_NE(torito.find("El Torito boot img :   2  UEFI  y   none"), std::string::npos);
  EXPECT_NE(torito.find("El Torito img path :   1  /Boot/etfsboot.com"), std::string::npos);
  EXPECT_NE(torito.find("El Torito img path :   2  /efi/Microsoft/boot/efisys.bin"),
            std::string::npos);
  std::string listing;
  Shell("isoinfo -J -l -i " + Quote(work.Path("boot.iso")), listing);
  EXPECT_NE(listing.find("100000"), std::string::npos) << listing;
  EXPECT_NE(listing.find("boot.wim"), std::string::npos) << listing;
  std::string descriptor;
  Shell("isoinfo -d -i " + Quote(work.Path("boot.iso")), descriptor);
  EXPECT_NE(descriptor.find("Volume id: CCSA_X64FRE_EN-US"), std::string::npos) << descriptor;
}

TEST_F(MakeIsoRunTest, RefusalsExitWithThreeAndWriteNothing) {
  work.Write("tree/a.txt", "a");
  std::string out;
  EXPECT_EQ(MakeIso(Quote("/TargetDir=" + work.Path("tree")) + " /IsoFile=", out), 3) << out;
  EXPECT_NE(out.find("no ISO file is set"), std::string::npos) << out;
  EXPECT_EQ(MakeIso(Quote("/TargetDir=" + work.Path("tree")) + " " +
                        Quote("/IsoFile=" + work.Path("tree/in.iso")),
                    out),
            3);
  EXPECT_NE(out.find("inside the target folder"), std::string::npos) << out;
  work.Write("tree/" + std::string(120, 'x') + ".txt", "");
  EXPECT_EQ(MakeIso(Quote("/TargetDir=" + work.Path("tree")) + " " +
                        Quote("/IsoFile=" + work.Path("out.iso")),
                    out),
            3);
  EXPECT_NE(out.find("Joliet names hold at most 103"), std::string::npos) << out;
  EXPECT_FALSE(work.Exists("out.iso"));
  EXPECT_FALSE(work.Exists("tree/in.iso"));
}

// MakeIsoAfterBatch=1: the headless batch of the example scripts ends with
// the image of the target it prepared.
TEST_F(MakeIsoRunTest, BatchEndsWithTheImage) {
  const std::string program = PELVAR_PROGRAM_DIR;
  std::string ini = home.Read("pelvar.ini");
  ini.replace(ini.find("[main]\n") + 7, 0, "MakeIsoAfterBatch=1\n");
  home.Write("pelvar.ini", ini);
  std::string out;
  ASSERT_EQ(Shell("PELVAR_HOME=" + Quote(home.path()) + " " + Quote(program + "/pelvar") +
                      " --batch " + Quote(program + "/Scripts") + " " +
                      Quote("/SourceDir=" + program + "/example-source") + " " +
                      Quote("/TargetDir=" + work.Path("target")) + " " +
                      Quote("/IsoFile=" + work.Path("Example.iso")),
                  out),
            0)
      << out;
  const size_t created =
      out.find("1\tSuccessfully created ISO image: \"" + work.Path("Example.iso") + "\" (");
  ASSERT_NE(created, std::string::npos) << out;
  EXPECT_LT(out.find("2\tFinished processing script: Summary of the target folder"), created);
  EXPECT_GT(out.find("scripts have been processed!"), created);
  std::string listing;
  ASSERT_EQ(Shell("isoinfo -J -f -i " + Quote(work.Path("Example.iso")), listing), 0);
  EXPECT_NE(listing.find("/reports/summary.txt\n"), std::string::npos) << listing;
}

// SIGTERM while the image is written: the program ends, the partial file
// goes, and an old image of that name stays as it was.
TEST_F(MakeIsoRunTest, SignalMidWayLeavesNoPartialFile) {
  const std::string big = work.Write("tree/big.bin", "");
  ASSERT_EQ(::truncate(big.c_str(), 3'000'000'000), 0);
  work.Write("out/image.iso", "old image");
  // The shell notes the program's process id, then its exit status.
  const std::string command =
      "PELVAR_HOME=" + Quote(home.path()) + " " + Quote(PELVAR_PROGRAM_DIR "/pelvar") +
      " --make-iso " + Quote("/TargetDir=" + work.Path("tree")) + " " +
      Quote("/IsoFile=" + work.Path("out/image.iso")) + " >/dev/null 2>&1 & echo $! >" +
      Quote(work.Path("pid")) + "; wait $!; echo $? >" + Quote(work.Path("status.tmp")) + "; mv " +
      Quote(work.Path("status.tmp")) + " " + Quote(work.Path("status"));
  ASSERT_EQ(std::system(("sh -c " + Quote(command) + " &").c_str()), 0);
  // Wait until the temporary image beside the old one has grown.
  bool writing = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!writing && std::chrono::steady_clock::now() < deadline) {
    for (const auto& e : fs::directory_iterator(work.Path("out"))) {
      std::error_code ec;
      if (e.path().filename() != "image.iso" && fs::file_size(e.path(), ec) > 1'000'000) {
        writing = true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const pid_t pid = static_cast<pid_t>(std::atoi(work.Read("pid").c_str()));
  ASSERT_GT(pid, 0);
  ::kill(pid, SIGTERM);
  while (!work.Exists("status") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(writing) << "the image was never being written";
  EXPECT_EQ(work.Read("status"), "143\n");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(work.Path("out"))) {
    names.push_back(e.path().filename());
  }
  EXPECT_EQ(names, std::vector<std::string>{"image.iso"});
  EXPECT_EQ(work.Read("out/image.iso"), "old image");
}

}  // namespace
}  // namespace pelvar
