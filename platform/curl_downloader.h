// Downloads over http and https with libcurl: redirects are followed, TLS
// certificates and host names are verified, and a connection that cannot be
// made or a transfer that stalls fails after a time-out. The body goes to a
// temporary file beside the destination, which replaces the destination only
// when the whole download arrived; any HTTP error status is a failure.
#pragma once

#include <cstdint>

#include "platform/downloader.h"

namespace pelvar::platform {

struct DownloadLimits {
  long connect_timeout_seconds = 30;
  long stall_seconds = 60;  // a transfer that receives nothing this long fails
  long max_redirects = 20;
  // A download larger than this many bytes fails and leaves nothing behind;
  // 0: no limit.
  uint64_t max_bytes = 0;
};

class CurlDownloader : public Downloader {
 public:
  // `progress_fd`: a terminal on which a download that takes longer than a
  // second shows its progress (-1: none).
  explicit CurlDownloader(int progress_fd = -1, DownloadLimits limits = {});

  DownloadOutcome Download(const DownloadRequest& request) override;

 private:
  int progress_fd_;
  DownloadLimits limits_;
};

}  // namespace pelvar::platform
