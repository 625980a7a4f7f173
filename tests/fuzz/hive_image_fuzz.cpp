// Hive images: any bytes mapped as a hive are read without fault (every key
// and value reachable within a budget), and writes into the root key of a
// hive whose cells fill its bins either fail with a reason or leave every bin
// they touched sound.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hive_format.h"
#include "platform/hive_image.h"

namespace {

using pelvar::platform::HiveImage;

void Walk(const HiveImage& image, HiveImage::Offset key, int depth, int& budget) {
  if (depth > 8 || --budget < 0) return;
  std::string why;
  std::vector<HiveImage::Value> values;
  image.Values(key, values, why);
  std::vector<HiveImage::Subkey> subkeys;
  if (!image.Subkeys(key, subkeys, why)) return;
  for (const HiveImage::Subkey& s : subkeys) Walk(image, s.node, depth + 1, budget);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = ::memfd_create("hive", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  pelvar::platform::HiveHeader header;
  std::string why;
  std::unique_ptr<HiveImage> image = HiveImage::Map(fd, size, true, header, why);
  if (image != nullptr) {
    int budget = 200;
    Walk(*image, image->root(), 0, budget);
    HiveImage::Offset child = 0;
    const bool added = image->AddSubkey(image->root(), "Fuzz", 0, child, why);
    const bool set =
        image->SetValue(image->root(), HiveImage::kNew, "v", 3, std::string(20000, 'x'), why);
    // Changes to a hive whose cells filled its bins keep them so.
    uint64_t free_bytes = 0;
    uint64_t bins = 0;
    const bool sound = pelvar::platform::HiveFreeSpace(
        std::string_view(reinterpret_cast<const char*>(data), size), free_bytes, bins);
    if (sound && (added || set) && !image->ChangedBinsProblem().empty()) std::abort();
  }
  ::close(fd);
  return 0;
}
