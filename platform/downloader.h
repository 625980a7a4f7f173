// Downloading a file from a web address to a file path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelvar::platform {

struct DownloadRequest {
  std::string url;
  std::string destination;          // script path of the file to write
  std::function<bool()> cancelled;  // polled during the transfer; true stops it
  // Called during the transfer with the bytes received so far and the
  // announced total (0 when unknown).
  std::function<void(uint64_t done, uint64_t total)> progress = nullptr;
};

struct DownloadOutcome {
  bool ok = false;
  std::string error;  // why the download failed
};

class Downloader {
 public:
  virtual ~Downloader() = default;
  // Fetches the address into the destination. On success the file holds the
  // whole download; on failure the destination is left as it was.
  virtual DownloadOutcome Download(const DownloadRequest& request) = 0;
};

}  // namespace pelvar::platform
