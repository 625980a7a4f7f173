#include "platform/curl_downloader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/memory_file_system.h"
#include "support/loopback_http_server.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using pelvar::testing::HttpReply;
using pelvar::testing::LoopbackHttpServer;
using pelvar::testing::TempDir;

// Names in a folder, sorted.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

HttpReply Route(const std::string& path) {
  HttpReply r;
  if (path == "/file.bin") {
    r.body = std::string(300000, 'x') + "end";
  } else if (path == "/old") {
    r.status = 302;
    r.location = "/moved";
  } else if (path == "/moved") {
    r.status = 301;
    r.location = "/file.bin";
  } else if (path == "/loop") {
    r.status = 302;
    r.location = "/loop";
  } else if (path == "/to-file") {
    r.status = 302;
    r.location = "file:///etc/passwd";
  } else if (path == "/cut") {
    r.body = std::string(200000, 'c');
    r.cut_after = 70000;
  } else if (path == "/stall") {
    r.body = "never sent";
    r.stall = true;
  } else {
    r.status = 404;
    r.body = "not here";
  }
  return r;
}

class CurlDownloaderTest : public ::testing::Test {
 protected:
  DownloadOutcome Get(const std::string& url, const std::string& destination) {
    return downloader_.Download({url, destination, nullptr});
  }

  LoopbackHttpServer server_{Route};
  CurlDownloader downloader_;
  TempDir dir_;
};

TEST_F(CurlDownloaderTest, DownloadsAndReplacesTheDestination) {
  dir_.Write("Out/old.bin", "previous");
  const DownloadOutcome o = Get(server_.Url("/file.bin"), dir_.path() + "\\OUT\\Old.bin");
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(dir_.Read("Out/old.bin"), std::string(300000, 'x') + "end");
  EXPECT_EQ(Entries(dir_.Path("Out")), std::vector<std::string>{"old.bin"});
}

TEST_F(CurlDownloaderTest, FollowsRedirects) {
  const DownloadOutcome o = Get(server_.Url("/old"), dir_.Path("r.bin"));
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(dir_.Read("r.bin").size(), 300003u);
  EXPECT_EQ(server_.requests(), 3);
}

TEST_F(CurlDownloaderTest, FailuresLeaveTheDestinationAsItWas) {
  dir_.Write("keep.bin", "previous");
  const std::string keep = dir_.Path("keep.bin");
  const std::string fresh = dir_.Path("fresh.bin");
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(pelvar::testing::ClosedLoopbackPort()) + "/file.bin";
  for (const std::string& url :
       {server_.Url("/missing"), server_.Url("/cut"), refused, server_.Url("/loop"),
        server_.Url("/to-file"), "file://" + keep,
        "https://127.0.0.1:" + std::to_string(server_.port()) + "/file.bin"}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(Get(url, keep).ok);
    EXPECT_FALSE(Get(url, fresh).ok);
    EXPECT_EQ(dir_.Read("keep.bin"), "previous");
    EXPECT_EQ(Entries(dir_.path()), std::vector<std::string>{"keep.bin"});
  }
  EXPECT_EQ(Get(server_.Url("/missing"), fresh).error, "The requested URL returned error: 404");
  EXPECT_FALSE(Get(server_.Url("/file.bin"), dir_.Path("no/such/folder.bin")).ok);
}

TEST_F(CurlDownloaderTest, AFullDiskOrAFailedRenameKeepsTheOldFileAndSaysWhy) {
  MemoryFileSystem files;
  files.AddFile("/d/keep.bin", "previous");
  CurlDownloader downloader(&files);
  files.faults.space = 100000;  // the disk fills in the middle of the body
  DownloadOutcome o = downloader.Download({server_.Url("/file.bin"), "/d/KEEP.bin", nullptr});
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.error, "No space left on device");
  files.faults.space = -1;
  files.faults.commit_error = EIO;
  o = downloader.Download({server_.Url("/file.bin"), "/d/keep.bin", nullptr});
  EXPECT_EQ(o.error, "Input/output error");
  EXPECT_EQ(files.Content("/d/keep.bin"), "previous");
  EXPECT_EQ(files.Names("/d"), std::vector<std::string>{"keep.bin"});
  files.faults.commit_error = 0;
  ASSERT_TRUE(downloader.Download({server_.Url("/file.bin"), "/d/Keep.BIN", nullptr}).ok);
  EXPECT_EQ(files.Content("/d/keep.bin").size(), 300003u);
  EXPECT_EQ(files.bulk_syncs + files.file_syncs, 1);
}

TEST_F(CurlDownloaderTest, CancelledOrStalledTransfersFail) {
  bool asked = false;
  const DownloadOutcome o = downloader_.Download(
      {server_.Url("/file.bin"), dir_.Path("c.bin"), [&asked] { return asked = true; }});
  EXPECT_FALSE(o.ok);
  EXPECT_TRUE(asked);
  DownloadLimits limits;
  limits.stall_seconds = 1;
  EXPECT_FALSE(CurlDownloader(nullptr, -1, limits)
                   .Download({server_.Url("/stall"), dir_.Path("s.bin"), nullptr})
                   .ok);
  EXPECT_TRUE(Entries(dir_.path()).empty());
}

TEST_F(CurlDownloaderTest, ASizeLimitRefusesLargerDownloads) {
  DownloadLimits limits;
  limits.max_bytes = 300003;  // the size of /file.bin
  EXPECT_TRUE(CurlDownloader(nullptr, -1, limits)
                  .Download({server_.Url("/file.bin"), dir_.Path("exact.bin"), nullptr})
                  .ok);
  dir_.Write("keep.bin", "previous");
  limits.max_bytes = 300002;
  const DownloadOutcome o =
      CurlDownloader(nullptr, -1, limits)
          .Download({server_.Url("/file.bin"), dir_.Path("keep.bin"), nullptr});
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.error, "the download is larger than the limit of 300002 bytes");
  EXPECT_EQ(dir_.Read("keep.bin"), "previous");
  EXPECT_EQ(Entries(dir_.path()), (std::vector<std::string>{"exact.bin", "keep.bin"}));
}

}  // namespace
}  // namespace pelvar::platform
