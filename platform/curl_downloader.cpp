#include "platform/curl_downloader.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/curl_library.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kProgressDelay = std::chrono::seconds(1);
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
constexpr long kBufferSize = 512 * 1024;

struct CurlHandleDeleter {
  void operator()(CURL* handle) const { Curl().easy_cleanup(handle); }
};

// The state one transfer's callbacks share.
struct Transfer {
  FileWriter& writer;
  const DownloadRequest& request;
  int progress_fd;
  uint64_t max_bytes = 0;
  uint64_t received = 0;
  bool too_large = false;
  std::error_code write_error{};  // of the destination, which ends the transfer
  Clock::time_point start = Clock::now();
  Clock::time_point last_draw{};
  bool drawn = false;

  void Draw(curl_off_t now, curl_off_t total) {
    char line[128];
    const double mb = 1024.0 * 1024.0;
    int n = 0;
    if (total > 0) {
      n = std::snprintf(line, sizeof line, "\rDownloading: %.1f of %.1f MB (%d%%)\x1b[K",
                        static_cast<double>(now) / mb, static_cast<double>(total) / mb,
                        static_cast<int>(now * 100 / total));
    } else {
      n = std::snprintf(line, sizeof line, "\rDownloading: %.1f MB\x1b[K",
                        static_cast<double>(now) / mb);
    }
    if (n > 0 && ::write(progress_fd, line, static_cast<size_t>(n)) > 0) drawn = true;
  }

  void Clear() {
    if (drawn && ::write(progress_fd, "\r\x1b[K", 4) < 0) drawn = false;
  }
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  transfer->received += bytes;
  if (transfer->max_bytes != 0 && transfer->received > transfer->max_bytes) {
    transfer->too_large = true;
    return 0;
  }
  transfer->write_error = transfer->writer.Write(std::string_view(data, bytes));
  return transfer->write_error ? 0 : bytes;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t /*up_total*/,
               curl_off_t /*up_now*/) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->request.cancelled && transfer->request.cancelled()) return 1;
  if (transfer->request.progress) {
    transfer->request.progress(static_cast<uint64_t>(now), static_cast<uint64_t>(total));
  }
  if (transfer->progress_fd >= 0) {
    const auto t = Clock::now();
    if (t - transfer->start >= kProgressDelay && t - transfer->last_draw >= kProgressInterval) {
      transfer->last_draw = t;
      transfer->Draw(now, total);
    }
  }
  return 0;
}

DownloadOutcome Failed(std::string error) {
  DownloadOutcome outcome;
  outcome.error = std::move(error);
  return outcome;
}

}  // namespace

CurlDownloader::CurlDownloader(FileSystem* files, int progress_fd, DownloadLimits limits)
    : files_(files), progress_fd_(progress_fd), limits_(limits) {}

DownloadOutcome CurlDownloader::Download(const DownloadRequest& request) {
  const CurlLibrary& lib = Curl();
  if (!lib.error.empty()) return Failed(lib.error);
  const std::unique_ptr<CURL, CurlHandleDeleter> curl(lib.easy_init());
  if (!curl) return Failed("the download could not be prepared");

  // Dropped without Commit, the writer leaves the destination as it was.
  std::unique_ptr<FileWriter> writer;
  FileSystem& files = files_ != nullptr ? *files_ : ThreadFileSystem();
  if (const std::error_code ec =
          files.OpenReplace(request.destination, Durability::kBulk, writer)) {
    return Failed(SystemMessage(ec));
  }
  Transfer transfer{*writer, request, progress_fd_, limits_.max_bytes};
  char error_text[CURL_ERROR_SIZE] = {};
  CURL* h = curl.get();
  lib.easy_setopt(h, CURLOPT_URL, request.url.c_str());
  lib.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  lib.easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  lib.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  lib.easy_setopt(h, CURLOPT_MAXREDIRS, limits_.max_redirects);
  lib.easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  lib.easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  lib.easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits_.connect_timeout_seconds);
  lib.easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  lib.easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits_.stall_seconds);
  lib.easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  lib.easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  lib.easy_setopt(h, CURLOPT_USERAGENT, "pelvar");
  lib.easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
  lib.easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
  lib.easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
  lib.easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  lib.easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  lib.easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  lib.easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  if (limits_.max_bytes != 0) {
    lib.easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.max_bytes));
  }

  const CURLcode code = lib.easy_perform(h);
  transfer.Clear();
  // A stop asked for while the transfer was under way is a failure whatever
  // the transfer returned (a signal may end a wait early), and so is a body
  // shorter or longer than the length that the server announced.
  if (code == CURLE_OK && request.cancelled && request.cancelled()) {
    return Failed("the download was stopped");
  }
  curl_off_t announced = -1;
  if (code == CURLE_OK &&
      lib.easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
      announced >= 0 && static_cast<uint64_t>(announced) != transfer.received) {
    return Failed("the download ended after " + std::to_string(transfer.received) + " of " +
                  std::to_string(announced) + " bytes");
  }
  if (code != CURLE_OK) {
    if (transfer.write_error) return Failed(SystemMessage(transfer.write_error));
    if (transfer.too_large || code == CURLE_FILESIZE_EXCEEDED) {
      return Failed("the download is larger than the limit of " +
                    std::to_string(limits_.max_bytes) + " bytes");
    }
    return Failed(error_text[0] != '\0' ? error_text : lib.easy_strerror(code));
  }
  if (const std::error_code ec = writer->Commit()) return Failed(SystemMessage(ec));
  DownloadOutcome outcome;
  outcome.ok = true;
  return outcome;
}

}  // namespace pelvar::platform
