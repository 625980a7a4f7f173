// The general family run from script lines, with real programs and a real
// loopback web server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/script_error.h"
#include "platform/curl_downloader.h"
#include "platform/posix_process_launcher.h"
#include "platform/sound.h"
#include "support/loopback_http_server.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::HttpReply;
using testing::LoopbackHttpServer;
using testing::ScriptHarness;
using Texts = std::vector<std::string>;

class RecordingSound : public platform::Sound {
 public:
  void Play(platform::SoundKind kind) override { played.push_back(kind); }
  std::vector<platform::SoundKind> played;
};

class GeneralCommandsTest : public ::testing::Test {
 protected:
  GeneralCommandsTest() {
    h_.services.processes = &launcher_;
    h_.services.downloads = &downloader_;
    h_.services.sound = &sound_;
  }

  // Runs one line and returns the log as "kind|text".
  Texts Run(const std::string& line) {
    h_.view.lines.clear();
    h_.RunLine(line);
    return h_.view.Texts();
  }

  // An executable shell script in the test folder.
  std::string Program(const std::string& name, const std::string& body) {
    const std::string path = h_.dir.Write(name, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }

  platform::PosixProcessLauncher launcher_;
  platform::CurlDownloader downloader_;
  RecordingSound sound_;
  ScriptHarness h_;
};

TEST_F(GeneralCommandsTest, ShellExecuteWaitsForTheProgram) {
  const std::string marker = h_.dir.Path("marker");
  EXPECT_EQ(Run("shellexecute,1,open,sh,\"-c #$qsleep 0.3; echo done > " + marker + "#$q\""),
            Texts{"1|Successfully executed and waited for command: \"open\" using: \"sh\" with "
                  "parameters: \"-c \"sleep 0.3; echo done > " +
                  marker + "\"\""});
  EXPECT_EQ(h_.dir.Read("marker"), "done\n");
  // A program that fails still ran.
  EXPECT_EQ(Run("shellexecute,1,Minimize,false,"),
            Texts{"1|Successfully executed and waited for command: \"Minimize\" using: \"false\""});
}

TEST_F(GeneralCommandsTest, QuotedParametersArriveAsOneArgument) {
  Program("Args.sh", "printf '[%s]' \"$@\" > \"$0.out\"");
  const std::string dir = h_.dir.path();
  EXPECT_EQ(Run("shellexecute,1,hide," + dir + "\\args.SH,\"#$qa b#$q \\#$qq\\#$q c#$cd\""),
            Texts{"1|Successfully executed and waited for command: \"hide\" using: \"" + dir +
                  "\\args.SH\" with parameters: \"\"a b\" \\\"q\\\" c,d\""});
  EXPECT_EQ(h_.dir.Read("Args.sh.out"), "[a b][\"q\"][c,d]");
}

TEST_F(GeneralCommandsTest, StartFailuresAreLogged) {
  const std::string missing = h_.dir.Path("missing.exe");
  EXPECT_EQ(Run("shellexecute,1,open," + missing + ",/q"),
            Texts{"0|Failed to execute command: \"open\" using: \"" + missing +
                  "\" with parameters: \"/q\""});
  EXPECT_EQ(Run("shellexecuteex,1,runas,true,"),
            Texts{"0|Failed to execute command: \"runas\" using: \"true\""});
  h_.services.processes = nullptr;
  EXPECT_EQ(Run("shellexecute,1,open,true,"),
            Texts{"0|Failed to execute command: \"open\" using: \"true\""});
}

TEST_F(GeneralCommandsTest, MissingFieldsEndTheRun) {
  for (const auto& [line, text] : std::vector<std::pair<std::string, std::string>>{
           {"shellexecute,1,open,true", "List index out of bounds (4)"},
           {"shellexecuteex,1,open", "List index out of bounds (3)"},
           {"webget,1,http://127.0.0.1/", "List index out of bounds (3)"},
           {"wait,1", "List index out of bounds (2)"},
           {"beep,1", "List index out of bounds (2)"},
           {"message,1", "List index out of bounds (2)"}}) {
    SCOPED_TRACE(line);
    try {
      Run(line);
      ADD_FAILURE() << "no error";
    } catch (const ScriptError& e) {
      EXPECT_EQ(e.what(), text);
    }
    EXPECT_TRUE(h_.view.lines.empty());
  }
}

TEST_F(GeneralCommandsTest, ShellExecuteExDoesNotWait) {
  const std::string go = h_.dir.Path("go");
  const std::string done = h_.dir.Path("done");
  // The program gives up after five seconds unless the test lets it finish.
  const std::string prog =
      Program("bg.sh", "i=0; while [ ! -e " + go + " ] && [ $i -lt 500 ]; do sleep 0.01; " +
                           "i=$((i+1)); done; [ -e " + go + " ] && : > " + done);
  EXPECT_EQ(Run("shellexecuteex,1,open," + prog + ","),
            Texts{"1|Successfully executed command: \"open\" using: \"" + prog + "\""});
  testing::WriteFileText(go, "");
  for (int i = 0; i < 1000 && !h_.dir.Exists("done"); ++i) ::usleep(10000);
  EXPECT_TRUE(h_.dir.Exists("done"));
}

TEST_F(GeneralCommandsTest, BeepKinds) {
  EXPECT_EQ(Run("beep,1,Warning"), Texts{"1|\"Warning\" beep!"});
  Run("beep,1,error");
  Run("beep,1,ASTERISK");
  Run("beep,1,confirmation");
  Run("beep,1,ok");
  EXPECT_EQ(Run("beep,1,bell"), Texts{"0|Failed to beep - type not recognized: \"bell\""});
  using platform::SoundKind;
  EXPECT_EQ(sound_.played,
            (std::vector<SoundKind>{SoundKind::kWarning, SoundKind::kError, SoundKind::kAsterisk,
                                    SoundKind::kConfirmation, SoundKind::kOk, SoundKind::kSimple}));
}

TEST_F(GeneralCommandsTest, MessageKindsAndTexts) {
  EXPECT_EQ(Run("message,1,\"Done#$c all #$qcopied#$q\",warning"),
            Texts{"1|Message: \"Done#$c all #$qcopied#$q"});
  Run("message,1,text");
  Run("message,1,x,ERROR");
  Run("message,1,x,confirmation");
  Run("message,1,x,other");
  const auto& m = h_.view.messages;
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0].kind, MessageKind::kWarning);
  EXPECT_EQ(m[0].caption, "Warning");
  EXPECT_EQ(m[0].text, "Done, all \"copied\"");
  EXPECT_EQ(m[1].caption, "Information");
  EXPECT_EQ(m[1].kind, MessageKind::kInformation);
  EXPECT_EQ(m[2].caption, "Error");
  EXPECT_EQ(m[2].kind, MessageKind::kError);
  EXPECT_EQ(m[3].caption, "Confirm");
  EXPECT_EQ(m[3].kind, MessageKind::kConfirmation);
  EXPECT_EQ(m[4].caption, "Information");
}

TEST_F(GeneralCommandsTest, EchoShowsAndLogsTheText) {
  EXPECT_EQ(Run("echo,1,\"Copying drivers#$c #$qnow#$q\""), Texts{"8|Copying drivers, \"now\""});
  EXPECT_EQ(h_.view.statuses.back(), "Copying drivers, \"now\"");
}

TEST_F(GeneralCommandsTest, AStoppedRunStopsWaitingForAProgramThatGoesOn) {
  const std::string marker = h_.dir.Path("marker");
  h_.view.stop_after = 1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run("shellexecute,1,open,sh,\"-c #$qsleep 1; echo on > " + marker + "#$q\""),
            Texts{"0|Stopped waiting for command: \"open\" using: \"sh\" with parameters: \"-c "
                  "\"sleep 1; echo on > " +
                  marker + "\"\": it goes on running"});
  EXPECT_EQ(h_.view.lines.back().reason, "the run was stopped while it waited for the program");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  for (int i = 0; i < 100 && h_.dir.Read("marker").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(h_.dir.Read("marker"), "on\n");
}

TEST_F(GeneralCommandsTest, WaitValues) {
  for (const char* value : {"abc", "-1", "86401", "$FFFFFFFF", "", "1.5"}) {
    EXPECT_EQ(Run(std::string("wait,1,") + value),
              Texts{std::string("0|Failed - Wait value is not valid: \"") + value + "\" seconds?"});
  }
  EXPECT_EQ(Run("wait,1,0"), Texts{"1|Waiting 0 seconds"});
  EXPECT_EQ(Run("wait,1,x0"), Texts{"1|Waiting x0 seconds"});
}

TEST_F(GeneralCommandsTest, LongWaitEndsWhenTheRunIsStopped) {
  h_.view.stop_after = 1;  // set once the first line has started
  EXPECT_EQ(Run("wait,1,86400"), Texts{"0|Waited 0 of 86400 seconds: stopped"});
  EXPECT_EQ(h_.view.lines.back().reason, "the run was stopped");
}

TEST_F(GeneralCommandsTest, WebGet) {
  LoopbackHttpServer server([](const std::string& path) {
    HttpReply r;
    if (path == "/a.zip") {
      r.body = "zip bytes";
    } else {
      r.status = 404;
    }
    return r;
  });
  const std::string dest = h_.dir.Path("file.zip");
  EXPECT_EQ(
      Run("webget,1," + server.Url("/a.zip") + "," + dest),
      Texts{"1|Downloaded file: \"" + server.Url("/a.zip") + "\" to directory: \"" + dest + "\""});
  EXPECT_EQ(h_.dir.Read("file.zip"), "zip bytes");
  const std::string other = h_.dir.Path("other.zip");
  EXPECT_EQ(Run("webget,1," + server.Url("/b.zip") + "," + other),
            Texts{"0|Failed to download file: \"" + server.Url("/b.zip") + "\" to directory: \"" +
                  other + "\""});
  EXPECT_FALSE(h_.dir.Exists("other.zip"));
}

}  // namespace
}  // namespace pelvar
