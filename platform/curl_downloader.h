// Downloads over http and https with libcurl: redirects are followed, TLS
// certificates and host names are verified, and a connection that cannot be
// made or a transfer that stalls fails after a time-out. The body is written
// through the file system service as a replacement of the destination (one
// of a command's bulk writes), which takes the destination's place only when
// the whole download arrived; any HTTP error status is a failure.
#pragma once

#include <cstdint>

#include "platform/downloader.h"

namespace pelvar::platform {

class FileSystem;

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
  // `files` receives the downloads (null: the real file system of the thread
  // that downloads); `progress_fd`: a terminal on which a download that takes
  // longer than a second shows its progress (-1: none).
  explicit CurlDownloader(FileSystem* files = nullptr, int progress_fd = -1,
                          DownloadLimits limits = {});

  DownloadOutcome Download(const DownloadRequest& request) override;

 private:
  FileSystem* files_;
  int progress_fd_;
  DownloadLimits limits_;
};

}  // namespace pelvar::platform
