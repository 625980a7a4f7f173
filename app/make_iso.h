// "Make ISO": the bootable image of the target folder, written by the image
// service (platform/iso_image.h) into a temporary file beside the ISO file,
// read back and compared with the folder, then renamed into place. Boot
// entries come from the boot files the folder holds (names matched in any
// letter case, as the file commands match them): BIOS from
// boot\etfsboot.com, UEFI from efi\microsoft\boot\efisys.bin. Shared by
// `pelvar --make-iso`, the main window's "Make ISO" button and the batch's
// MakeIsoAfterBatch option.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_view.h"
#include "platform/iso_image.h"
#include "platform/services.h"

namespace pelvar::app {

struct MakeIsoRequest {
  std::string target_dir;  // script paths, as %targetdir% and %isofile%
  std::string iso_file;
  std::string label;  // empty: made from the ISO file's name
};

enum class MakeIsoResult {
  kMade,
  kRefused,  // a check failed before anything was written
  kFailed,   // writing or the comparison failed; nothing was left behind
  kStopped,  // the user stopped it; nothing was left behind
};

// The boot files, relative to the target folder.
inline constexpr const char* kBiosBootFile = "boot\\etfsboot.com";
inline constexpr const char* kEfiBootFile = "efi\\microsoft\\boot\\efisys.bin";
// The sectors of 512 bytes the BIOS loads of the BIOS boot file.
inline constexpr int kBiosLoadSectors = 8;
// The longest Joliet name kept whole, in UTF-16 units.
inline constexpr size_t kMaxJolietName = 103;
// The longest volume label.
inline constexpr size_t kMaxLabel = 32;

// The label of an image without /Label=: the ISO file's name without its
// extension, in upper case, other characters than A-Z, 0-9 and "_" as "_",
// at most 32 characters ("BootablePE.ISO" gives "BOOTABLEPE").
std::string DefaultIsoLabel(std::string_view iso_file);
// Why a label cannot be written as given; empty when it can.
std::string LabelProblem(std::string_view label);
// Why a file or folder name cannot be kept as it is in the image's Joliet
// tree; empty when it can.
std::string JolietNameProblem(std::string_view name);

// How the boot entries read in the log: "BIOS and UEFI boot entries", "a
// BIOS boot entry", "an UEFI boot entry" or "no boot entry (a data image)".
std::string BootEntriesText(const std::vector<platform::IsoBootEntry>& boot);

// One entry of the tree as the image is to hold it.
struct TreeEntry {
  std::string path;  // "/sources/install.wim"
  bool folder = false;
  uint64_t size = 0;
};

// Why an image read back differs from the tree and the boot entries it was
// made of (the first difference); empty when it holds them all.
std::string CompareImage(const std::vector<TreeEntry>& tree,
                         const std::vector<platform::IsoBootEntry>& boot, std::string_view label,
                         const platform::IsoContents& image);

// Makes the image. Log lines: "Creating ISO image: ..." (kind 8), then
// "Successfully created ISO image: ..." (kind 1) or "Failed to create ISO
// image: ..." (kind 0) with the reason; the bytes written show as the
// operation's progress. Stops when the view asks to. `reason`, when given,
// receives the failure line's reason.
MakeIsoResult MakeIso(const MakeIsoRequest& request, platform::Services& services, RunView& view,
                      std::string* reason = nullptr);

}  // namespace pelvar::app
