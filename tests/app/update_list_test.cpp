#include "app/update_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/ini_model.h"
#include "platform/curl_downloader.h"
#include "support/loopback_http_server.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using pelvar::testing::HttpReply;
using pelvar::testing::LoopbackHttpServer;
using pelvar::testing::TempDir;

HttpReply Body(int status, std::string body) {
  HttpReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

TEST(UpdateListTest, ServersAndEntriesAreReadFromTheConfiguration) {
  const IniModel config = IniModel::Parse(
      "[updates]\nhome=http://a/list.ini\nempty=http://b/\nbare\n"
      "[update-home]\nTools=1.2, http://a/tools.script, Tools, with a comma\nOdd\n"
      "[update-empty]\n");
  const std::vector<UpdateServer> servers = ReadUpdateServers(config);
  ASSERT_EQ(servers.size(), 3u);
  EXPECT_EQ(servers[0].address, "http://a/list.ini");
  EXPECT_EQ(servers[2].name, "bare");
  EXPECT_TRUE(HasUpdateEntries(config, "HOME"));
  EXPECT_FALSE(HasUpdateEntries(config, "empty"));
  EXPECT_FALSE(HasUpdateEntries(config, "bare"));
  const std::vector<UpdateEntry> entries = ReadUpdateEntries(config, "home");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Tools");
  EXPECT_EQ(entries[0].version, "1.2");
  EXPECT_EQ(entries[0].url, "http://a/tools.script");
  EXPECT_EQ(entries[0].description, "Tools, with a comma");
  EXPECT_EQ(entries[1].name, "Odd");
  EXPECT_EQ(entries[1].url, "");
}

TEST(UpdateListTest, SavingChangesTheServerSectionOnly) {
  TempDir dir;
  const std::string path =
      dir.Write("pelvar.ini", "[updates]\nold=http://old/\n[main]\nlog=1\n[update-old]\nx=1\n");
  SaveUpdateServers(path, {{"one", "http://one/"}, {"two", "https://two/"}, {"ONE", "http://x/"}});
  EXPECT_EQ(dir.Read("pelvar.ini"),
            "[updates]\none=http://one/\ntwo=https://two/\n[main]\nlog=1\n[update-old]\nx=1\n");
  SaveUpdateServers(dir.Path("missing.ini"), {{"one", "http://one/"}});
  EXPECT_FALSE(dir.Exists("missing.ini"));
}

TEST(UpdateListTest, OnlyWebAddressesAndPlainScriptNames) {
  EXPECT_TRUE(IsWebAddress("http://example.org/x"));
  EXPECT_TRUE(IsWebAddress("HTTPS://example.org"));
  EXPECT_FALSE(IsWebAddress("file:///etc/passwd"));
  EXPECT_FALSE(IsWebAddress("ftp://example.org/"));
  EXPECT_FALSE(IsWebAddress("http://"));
  EXPECT_FALSE(IsWebAddress("http:///x"));
  EXPECT_EQ(OfferedScriptName({"T", "1", "http://a/b/tools.script?x=1", ""}), "tools.script");
  EXPECT_EQ(OfferedScriptName({"My/Tool", "1", "http://a/get?id=3", ""}), "My_Tool.script");
  EXPECT_EQ(OfferedScriptName({"..", "1", "http://a/.hidden.script", ""}), "update.script");
  EXPECT_EQ(OfferedScriptName({"x", "1", "http://a/%2e%2e%2fx.script", ""}), "x.script");
}

class UpdateFlowTest : public ::testing::Test {
 protected:
  UpdateFlowTest()
      : server_([this](const std::string& path) -> HttpReply {
          if (path == "/list.ini") {
            return Body(200, "[updates]\nTools=2.0," + server_.Url("/tools.script") + ",New\n");
          }
          if (path == "/empty.ini") return Body(200, "[other]\nx=1\n");
          if (path == "/tools.script")
            return Body(200, "[main]\ntitle=Tools\n[process]\necho,1,x\n");
          if (path == "/page.script") return Body(200, "<html>not a script</html>");
          return Body(404, "missing");
        }) {}

  LoopbackHttpServer server_;
  TempDir dir_;
  platform::CurlDownloader downloader_;
};

TEST_F(UpdateFlowTest, ServerListReplacesTheServersEntries) {
  const std::string path =
      dir_.Write("pelvar.ini", "[update-home]\nOld=1,http://x/,gone\n[main]\nlog=1\n");
  uint64_t seen = 0;
  const UpdateOutcome outcome =
      FetchServerList(downloader_, path, {"home", server_.Url("/list.ini")},
                      [&](uint64_t done, uint64_t) { seen = std::max(seen, done); }, {});
  ASSERT_TRUE(outcome.ok) << outcome.message;
  const std::vector<UpdateEntry> entries = ReadUpdateEntries(IniModel::Load(path), "home");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Tools");
  EXPECT_EQ(entries[0].url, server_.Url("/tools.script"));
  EXPECT_GT(seen, 0u);
  // A list without entries, or no list at all, changes nothing.
  const std::string before = dir_.Read("pelvar.ini");
  EXPECT_FALSE(FetchServerList(downloader_, path, {"home", server_.Url("/empty.ini")}, {}, {}).ok);
  EXPECT_FALSE(FetchServerList(downloader_, path, {"home", server_.Url("/nothing")}, {}, {}).ok);
  EXPECT_FALSE(FetchServerList(downloader_, path, {"home", "file:///etc/hostname"}, {}, {}).ok);
  EXPECT_EQ(dir_.Read("pelvar.ini"), before);
}

TEST_F(UpdateFlowTest, OfferedScriptArrivesOnlyWhenItIsAScript) {
  const std::string folder = dir_.Path("Scripts");
  dir_.Write("Scripts/tools.script", "[main]\ntitle=Old\n[process]\n");
  const UpdateOutcome ok = InstallOfferedScript(
      downloader_, folder, {"Tools", "2.0", server_.Url("/tools.script"), ""}, {}, {});
  ASSERT_TRUE(ok.ok) << ok.message;
  EXPECT_EQ(ok.file, folder + "/tools.script");
  EXPECT_EQ(dir_.Read("Scripts/tools.script"), "[main]\ntitle=Tools\n[process]\necho,1,x\n");

  const UpdateOutcome refused = InstallOfferedScript(
      downloader_, folder, {"Page", "1", server_.Url("/page.script"), ""}, {}, {});
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.message,
            "\"" + server_.Url("/page.script") + "\" is not a script: it has no process section.");
  EXPECT_FALSE(dir_.Exists("Scripts/page.script"));
  EXPECT_FALSE(InstallOfferedScript(downloader_, folder,
                                    {"Gone", "1", server_.Url("/gone.script"), ""}, {}, {})
                   .ok);
  EXPECT_FALSE(dir_.Exists("Scripts/gone.script"));
}

TEST_F(UpdateFlowTest, ReadOnlyScriptIsNotReplaced) {
  const std::string folder = dir_.Path("Scripts");
  const std::string path = dir_.Write("Scripts/tools.script", "[process]\nold\n");
  ::chmod(path.c_str(), 0444);
  const UpdateOutcome outcome = InstallOfferedScript(
      downloader_, folder, {"Tools", "2.0", server_.Url("/tools.script"), ""}, {}, {});
  EXPECT_FALSE(outcome.ok);
  EXPECT_TRUE(outcome.message.starts_with("Cannot write \"" + path + "\": ")) << outcome.message;
  EXPECT_EQ(dir_.Read("Scripts/tools.script"), "[process]\nold\n");
}

}  // namespace
}  // namespace pelvar::app
