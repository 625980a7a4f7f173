// Opens and extracts arbitrary bytes as an archive: errors are fine, crashes,
// leaks, huge allocations and files outside the destination are not.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/pack_archive.h"
#include "platform/private_temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string& Folder() {
  static pelvar::platform::PrivateTempFolder folder;
  if (folder.path().empty() && folder.Create()) std::abort();
  return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = Folder();
  const std::string archive = folder + "/in.arc";
  const std::string out = folder + "/out";
  {
    std::ofstream file(archive, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  pelvar::archive::PackArchive reader;
  // Mostly without the archive CRC, so that the records are reached.
  reader.set_verify_archive_crc(size > 0 && data[0] == 0x5a);
  reader.set_verify_file_crc(size > 1 && (data[1] & 1) != 0);
  // Failures are values: nothing may throw.
  if (reader.OpenArchive(archive).ok()) (void)reader.ExtractAll(out);
  // Only plain files directly in the destination.
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name != "in.arc" && name != "out") std::abort();
  }
  if (fs::exists(out)) {
    for (const auto& e : fs::directory_iterator(out)) {
      if (!e.is_regular_file()) std::abort();
    }
    fs::remove_all(out);
  }
  return 0;
}
