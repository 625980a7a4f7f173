// Making and reading ISO 9660 images: the service behind "Make ISO". An
// image holds a folder tree with Joliet names (the names as written, long
// and non-ASCII ones included), ISO 9660 level 3 (files over 4 GiB in
// several extents, folders deeper than 8 levels), no Rock Ridge, and El
// Torito boot entries for the boot files asked for. Paths here are host
// paths; paths inside an image begin with "/".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelvar::platform {

enum class BootPlatform { kBios, kEfi };

// One El Torito boot entry: a file of the tree started without emulation.
struct IsoBootEntry {
  BootPlatform platform = BootPlatform::kBios;
  std::string image_path;  // "/boot/etfsboot.com", as spelt in the tree
  // The 512-byte sectors the firmware loads (BIOS); 0: the whole file (EFI).
  int load_sectors = 0;
};

struct IsoWriteRequest {
  std::string tree;    // the folder whose contents become the image's root
  std::string output;  // an existing empty file the image is written into
  std::string label;   // the volume label, at most 32 characters
  std::vector<IsoBootEntry> boot;
  // Bytes of the image written so far, a few times a second.
  std::function<void(uint64_t bytes)> progress;
  // Asked a few times a second; once it returns true the writing is
  // abandoned (the output is left partly written for the caller to remove).
  std::function<bool()> stop;
};

// What an image holds, as an independent reading of it finds it.
struct IsoEntry {
  std::string path;  // "/sources/install.wim"; the root is not listed
  bool folder = false;
  uint64_t size = 0;  // files only
};

struct IsoBootRecord {
  BootPlatform platform = BootPlatform::kBios;
  std::string image_path;
  bool no_emulation = false;
  int load_sectors = 0;  // as the catalogue gives it (512-byte sectors)
};

struct IsoContents {
  std::string label;
  std::vector<IsoEntry> entries;  // in the reader's order
  std::vector<IsoBootRecord> boot;
};

// The outcome of a write or read: done, stopped, or failed with its reason.
struct IsoOutcome {
  bool done = false;
  bool stopped = false;
  std::string reason;  // why it failed, in the tool's words
};

class IsoImageTool {
 public:
  virtual ~IsoImageTool() = default;
  // Writes the image of `request.tree` into `request.output`.
  virtual IsoOutcome Write(const IsoWriteRequest& request) = 0;
  // Reads back the Joliet tree, the label and the boot catalogue of an image.
  virtual IsoOutcome Read(const std::string& image, IsoContents& out) = 0;
  // True when `path` (which need not exist; its folder does) lies inside the
  // folder `tree` or is it, links and ".." followed.
  virtual bool Inside(const std::string& path, const std::string& tree) = 0;
};

}  // namespace pelvar::platform
