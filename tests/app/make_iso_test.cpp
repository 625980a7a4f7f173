// Make ISO over a real folder tree with a stand-in image tool: the checks
// made before anything is written, the boot files found in any letter case,
// the comparison of the image read back, the temporary file and Stop.
#include "app/make_iso.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using platform::BootPlatform;
using platform::IsoContents;
using platform::IsoOutcome;
using testing::RecordingView;
using testing::TempDir;

// Writes a few bytes into the output and reads back what a faithful writer
// would have made of the tree, unless told to differ, fail or stop.
class FakeImageTool : public platform::IsoImageTool {
 public:
  IsoOutcome Write(const platform::IsoWriteRequest& request) override {
    requests.push_back(request);
    testing::WriteFileText(request.output, "image bytes");
    temp_existed = access(request.output.c_str(), F_OK) == 0;
    if (request.progress) request.progress(11);
    IsoOutcome outcome;
    if (request.stop && request.stop()) {
      outcome.stopped = true;
      return outcome;
    }
    if (!write_failure.empty()) {
      outcome.reason = write_failure;
      return outcome;
    }
    outcome.done = true;
    return outcome;
  }
  IsoOutcome Read(const std::string& image, IsoContents& out) override {
    read_path = image;
    out = contents;
    if (out.label.empty()) out.label = requests.back().label;
    for (const auto& entry : requests.back().boot) {
      if (!boot_override)
        out.boot.push_back({entry.platform, entry.image_path, true, entry.load_sectors});
    }
    IsoOutcome outcome;
    outcome.done = true;
    return outcome;
  }
  bool Inside(const std::string& path, const std::string& tree) override {
    return path.rfind(tree + "/", 0) == 0;
  }

  std::vector<platform::IsoWriteRequest> requests;
  IsoContents contents;
  bool boot_override = false;
  std::string write_failure;
  std::string read_path;
  bool temp_existed = false;
};

class MakeIsoTest : public ::testing::Test {
 protected:
  MakeIsoTest() {
    services.files = &files;
    services.images = &tool;
  }

  // The entries the fake reads back: those of the tree as written here.
  void Holds(std::vector<platform::IsoEntry> entries) {
    tool.contents.entries = std::move(entries);
  }

  MakeIsoResult Make(const std::string& iso = "", const std::string& target = "") {
    MakeIsoRequest request;
    request.target_dir = target.empty() ? dir.Path("target") : target;
    request.iso_file = iso.empty() ? dir.Path("out/image.iso") : iso;
    return MakeIso(request, services, view);
  }

  // The names in the output folder.
  std::vector<std::string> OutputFolder() {
    std::vector<platform::DirectoryEntry> entries;
    files.List(dir.Path("out"), entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
  }

  TempDir dir;
  platform::PosixFileSystem files;
  FakeImageTool tool;
  platform::Services services;
  RecordingView view;
};

TEST_F(MakeIsoTest, MakesTheImageWithBothBootEntriesFoundInAnyLetterCase) {
  dir.Write("target/BOOT/EtfsBoot.com", std::string(4096, 'b'));
  dir.Write("target/EFI/Microsoft/Boot/EFISYS.BIN", std::string(2048, 'e'));
  dir.Write("out/.keep", "");
  Holds({{"/BOOT", true, 0},
         {"/BOOT/EtfsBoot.com", false, 4096},
         {"/EFI", true, 0},
         {"/EFI/Microsoft", true, 0},
         {"/EFI/Microsoft/Boot", true, 0},
         {"/EFI/Microsoft/Boot/EFISYS.BIN", false, 2048}});
  EXPECT_EQ(Make(), MakeIsoResult::kMade);
  ASSERT_EQ(tool.requests.size(), 1u);
  const auto& request = tool.requests[0];
  ASSERT_EQ(request.boot.size(), 2u);
  EXPECT_EQ(request.boot[0].platform, BootPlatform::kBios);
  EXPECT_EQ(request.boot[0].image_path, "/BOOT/EtfsBoot.com");
  EXPECT_EQ(request.boot[0].load_sectors, 8);
  EXPECT_EQ(request.boot[1].platform, BootPlatform::kEfi);
  EXPECT_EQ(request.boot[1].image_path, "/EFI/Microsoft/Boot/EFISYS.BIN");
  EXPECT_EQ(request.label, "IMAGE");
  EXPECT_EQ(request.tree, dir.Path("target"));
  // Written beside the ISO file under another name, then renamed.
  EXPECT_TRUE(tool.temp_existed);
  EXPECT_NE(request.output, dir.Path("out/image.iso"));
  EXPECT_EQ(request.output.rfind(dir.Path("out/"), 0), 0u) << request.output;
  EXPECT_EQ(tool.read_path, request.output);
  EXPECT_EQ(dir.Read("out/image.iso"), "image bytes");
  EXPECT_EQ(OutputFolder().size(), 2u);
  const std::string iso = dir.Path("out/image.iso");
  EXPECT_EQ(view.Texts(),
            (std::vector<std::string>{"8|Creating ISO image: \"" + iso + "\" from \"" +
                                          dir.Path("target") + "\" with BIOS and UEFI boot entries",
                                      "1|Successfully created ISO image: \"" + iso +
                                          "\" (11 bytes, BIOS and UEFI boot entries)"}));
  ASSERT_GE(view.operations.size(), 2u);
  EXPECT_EQ(view.operations[1].bytes, 11u);
  EXPECT_TRUE(view.operations.back().finished);
  EXPECT_EQ(view.progress_max, 100);
  ASSERT_FALSE(view.positions.empty());
  EXPECT_EQ(view.positions.back(), 0);  // 11 bytes of about 6,000
}

TEST_F(MakeIsoTest, EitherBootFileAloneGivesItsEntry) {
  dir.Write("target/efi/microsoft/boot/efisys.bin", "e");
  dir.Write("out/.keep", "");
  Holds({{"/efi", true, 0},
         {"/efi/microsoft", true, 0},
         {"/efi/microsoft/boot", true, 0},
         {"/efi/microsoft/boot/efisys.bin", false, 1}});
  EXPECT_EQ(Make(), MakeIsoResult::kMade);
  ASSERT_EQ(tool.requests[0].boot.size(), 1u);
  EXPECT_EQ(tool.requests[0].boot[0].platform, BootPlatform::kEfi);
  EXPECT_NE(view.lines.back().text.find("an UEFI boot entry"), std::string::npos);
}

TEST_F(MakeIsoTest, ATreeWithoutBootFilesGivesADataImage) {
  dir.Write("target/readme.txt", "hello");
  dir.Write("target/boot/other.com", "x");  // not the boot file
  dir.Write("out/.keep", "");
  Holds({{"/boot", true, 0}, {"/boot/other.com", false, 1}, {"/readme.txt", false, 5}});
  EXPECT_EQ(Make(), MakeIsoResult::kMade);
  EXPECT_TRUE(tool.requests[0].boot.empty());
  EXPECT_NE(view.lines.back().text.find("no boot entry (a data image)"), std::string::npos);
}

TEST_F(MakeIsoTest, RefusesAnEmptyIsoPathOrTarget) {
  dir.Write("target/a", "");
  MakeIsoRequest request;
  request.target_dir = dir.Path("target");
  EXPECT_EQ(MakeIso(request, services, view), MakeIsoResult::kRefused);
  request.target_dir.clear();
  request.iso_file = dir.Path("x.iso");
  EXPECT_EQ(MakeIso(request, services, view), MakeIsoResult::kRefused);
  ASSERT_EQ(view.lines.size(), 2u);
  EXPECT_EQ(view.lines[0].text, "Failed to create ISO image: \"\"");
  EXPECT_EQ(view.lines[0].kind, LogKind::kFailure);
  EXPECT_EQ(view.lines[0].reason, "no ISO file is set (%isofile%)");
  EXPECT_EQ(view.lines[1].reason, "no target folder is set (%targetdir%)");
  EXPECT_TRUE(tool.requests.empty());
  EXPECT_FALSE(dir.Exists("x.iso"));
}

TEST_F(MakeIsoTest, RefusesAnIsoFileInsideTheTarget) {
  dir.Write("target/sub/a", "");
  EXPECT_EQ(Make(dir.Path("target/sub/image.iso")), MakeIsoResult::kRefused);
  EXPECT_EQ(view.lines.back().reason,
            "the ISO file lies inside the target folder, so the image would hold itself");
  EXPECT_TRUE(tool.requests.empty());
  EXPECT_FALSE(dir.Exists("target/sub/image.iso"));
}

TEST_F(MakeIsoTest, RefusesMissingFoldersAndAFolderAsIsoFile) {
  dir.Write("out/folder.iso/a", "");
  EXPECT_EQ(Make(dir.Path("out/image.iso"), dir.Path("missing")), MakeIsoResult::kRefused);
  dir.Write("target/a", "");
  EXPECT_EQ(Make(dir.Path("nowhere/image.iso")), MakeIsoResult::kRefused);
  EXPECT_EQ(Make(dir.Path("out/folder.iso")), MakeIsoResult::kRefused);
  ASSERT_EQ(view.lines.size(), 3u);
  EXPECT_NE(view.lines[0].reason.find("does not exist"), std::string::npos);
  EXPECT_NE(view.lines[1].reason.find("folder"), std::string::npos);
  EXPECT_NE(view.lines[2].reason.find("names a folder"), std::string::npos);
  EXPECT_TRUE(tool.requests.empty());
}

TEST_F(MakeIsoTest, RefusesANameTooLongWithItsPath) {
  const std::string name(104, 'n');
  dir.Write("target/deep/" + name, "");
  dir.Write("out/.keep", "");
  EXPECT_EQ(Make(), MakeIsoResult::kRefused);
  EXPECT_EQ(view.lines.back().reason,
            "\"" + dir.Path("target") + "\\deep\\" + name +
                "\": the name is 104 characters long; Joliet names hold at most 103");
  EXPECT_TRUE(tool.requests.empty());
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{".keep"});
}

TEST_F(MakeIsoTest, RefusesLinksAndNamesJolietCannotHold) {
  dir.Write("target/a:b", "");
  EXPECT_EQ(Make(dir.Path("image.iso")), MakeIsoResult::kRefused);
  EXPECT_NE(view.lines.back().reason.find("the name holds \":\""), std::string::npos);
  TempDir other;
  other.Write("target/file", "");
  ASSERT_EQ(::symlink("file", other.Path("target/link").c_str()), 0);
  EXPECT_EQ(Make(other.Path("image.iso"), other.Path("target")), MakeIsoResult::kRefused);
  EXPECT_NE(view.lines.back().reason.find("a symbolic link"), std::string::npos);
}

TEST_F(MakeIsoTest, JolietNames) {
  EXPECT_EQ(JolietNameProblem("Install Image \xC3\x9C"
                              "ber.wim"),
            "");
  EXPECT_EQ(JolietNameProblem(std::string(103, 'a')), "");
  // 52 characters outside UCS-2 take 104 units.
  std::string emoji;
  for (int i = 0; i < 52; ++i) emoji += "\xF0\x9F\x98\x80";
  EXPECT_NE(JolietNameProblem(emoji), "");
  EXPECT_EQ(JolietNameProblem(emoji.substr(4)), "");
  EXPECT_NE(JolietNameProblem("bad\xFFname"), "");
  EXPECT_NE(JolietNameProblem("\xC3"), "");
  EXPECT_NE(JolietNameProblem("tab\there"), "");
  for (const char* bad : {"a*b", "a;b", "a?b", "a\\b"})
    EXPECT_NE(JolietNameProblem(bad), "") << bad;
}

TEST_F(MakeIsoTest, Labels) {
  EXPECT_EQ(DefaultIsoLabel("C:\\out\\BootablePE.ISO"), "BOOTABLEPE");
  EXPECT_EQ(DefaultIsoLabel("/out/my image-1.iso"), "MY_IMAGE_1");
  EXPECT_EQ(DefaultIsoLabel("/out/.iso"), "_ISO");
  EXPECT_EQ(DefaultIsoLabel(std::string(40, 'x') + ".iso"), std::string(32, 'X'));
  EXPECT_EQ(LabelProblem("CCSA_X64FRE_EN-US_DV5"), "");
  EXPECT_NE(LabelProblem(std::string(33, 'A')), "");
  EXPECT_NE(LabelProblem("tab\t"), "");
  dir.Write("target/a", "");
  MakeIsoRequest request;
  request.target_dir = dir.Path("target");
  request.iso_file = dir.Path("x.iso");
  request.label = std::string(33, 'A');
  EXPECT_EQ(MakeIso(request, services, view), MakeIsoResult::kRefused);
  EXPECT_NE(view.lines.back().reason.find("at most 32"), std::string::npos);
}

TEST_F(MakeIsoTest, AMismatchReadBackIsAFailureAndLeavesNoFile) {
  dir.Write("target/a.txt", "12345");
  dir.Write("out/.keep", "");
  Holds({{"/a.txt", false, 4}});
  EXPECT_EQ(Make(), MakeIsoResult::kFailed);
  EXPECT_EQ(view.lines.back().kind, LogKind::kFailure);
  EXPECT_EQ(view.lines.back().reason,
            "the image read back differs from the target folder: \"/a.txt\" has 4 bytes in the "
            "image, 5 in the target folder");
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{".keep"});
}

TEST_F(MakeIsoTest, CompareFindsEveryKindOfDifference) {
  const std::vector<TreeEntry> tree = {{"/d", true, 0}, {"/d/f", false, 3}};
  const std::vector<platform::IsoBootEntry> boot = {{BootPlatform::kBios, "/d/f", 8}};
  IsoContents image;
  image.label = "L";
  image.entries = {{"/d", true, 0}, {"/d/f", false, 3}};
  image.boot = {{BootPlatform::kBios, "/d/f", true, 8}};
  EXPECT_EQ(CompareImage(tree, boot, "L", image), "");
  EXPECT_NE(CompareImage(tree, boot, "M", image), "");
  IsoContents extra = image;
  extra.entries.push_back({"/g", false, 0});
  EXPECT_EQ(CompareImage(tree, boot, "L", extra),
            "\"/g\" is in the image but not in the target folder");
  IsoContents missing = image;
  missing.entries.pop_back();
  EXPECT_EQ(CompareImage(tree, boot, "L", missing), "\"/d/f\" is missing from the image");
  IsoContents twice = image;
  twice.entries.push_back({"/d", true, 0});
  EXPECT_NE(CompareImage(tree, boot, "L", twice), "");
  IsoContents no_boot = image;
  no_boot.boot.clear();
  EXPECT_EQ(CompareImage(tree, boot, "L", no_boot), "the boot catalogue has 0 entries, not 1");
  IsoContents efi = image;
  efi.boot[0].platform = BootPlatform::kEfi;
  EXPECT_EQ(CompareImage(tree, boot, "L", efi), "boot entry 1 is for UEFI, not BIOS");
  IsoContents load = image;
  load.boot[0].load_sectors = 4;
  EXPECT_EQ(CompareImage(tree, boot, "L", load), "boot entry 1 loads 4 sectors, not 8");
  IsoContents emulated = image;
  emulated.boot[0].no_emulation = false;
  EXPECT_EQ(CompareImage(tree, boot, "L", emulated), "boot entry 1 emulates a disk");
}

TEST_F(MakeIsoTest, AWriteFailureKeepsTheOldImage) {
  dir.Write("target/a.txt", "1");
  dir.Write("out/image.iso", "old image");
  tool.write_failure = "Image write error";
  EXPECT_EQ(Make(), MakeIsoResult::kFailed);
  EXPECT_EQ(view.lines.back().reason, "Image write error");
  EXPECT_EQ(dir.Read("out/image.iso"), "old image");
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{"image.iso"});
}

TEST_F(MakeIsoTest, StopLeavesNoFile) {
  dir.Write("target/a.txt", "1");
  dir.Write("out/.keep", "");
  view.stop_after_files = 0;  // as soon as the writing shows progress
  EXPECT_EQ(Make(), MakeIsoResult::kStopped);
  EXPECT_EQ(view.lines.back().reason, "stopped by the user; no image was left");
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{".keep"});
}

TEST_F(MakeIsoTest, ARunWithoutAnImageServiceCannotMakeImages) {
  services.images = nullptr;
  dir.Write("target/a", "");
  EXPECT_EQ(Make(), MakeIsoResult::kRefused);
  EXPECT_EQ(view.lines.back().reason, "this run cannot make images");
}

}  // namespace
}  // namespace pelvar::app
