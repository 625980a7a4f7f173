// reg and regedit, started by scripts, run as the registry tool.
#include "platform/registry_tool_stand_ins.h"

#include <gtest/gtest.h>

namespace pelvar::platform {
namespace {

using Args = std::vector<std::string>;

TEST(RegistryStandInsTest, ProgramsAreKnownByTheirFileNameInAnyLetterCase) {
  EXPECT_EQ(RegistryStandInFor("reg", "open"), RegistryStandIn::kReg);
  EXPECT_EQ(RegistryStandInFor("C:\\Windows\\System32\\REG.EXE", "runas"), RegistryStandIn::kReg);
  EXPECT_EQ(RegistryStandInFor("/tmp/x/Reg.Exe", ""), RegistryStandIn::kReg);
  EXPECT_EQ(RegistryStandInFor("regedit", "open"), RegistryStandIn::kRegedit);
  EXPECT_EQ(RegistryStandInFor("%windowsdir%\\RegEdit.exe", "open"), RegistryStandIn::kRegedit);
  EXPECT_EQ(RegistryStandInFor("/srv/settings.REG", "open"), RegistryStandIn::kRegDocument);
  EXPECT_EQ(RegistryStandInFor("settings.reg", "Merge"), RegistryStandIn::kRegDocument);
  // Editing a .reg file is its editor's business; other names are not ours.
  EXPECT_EQ(RegistryStandInFor("settings.reg", "edit"), RegistryStandIn::kNone);
  EXPECT_EQ(RegistryStandInFor(".reg", "open"), RegistryStandIn::kNone);
  EXPECT_EQ(RegistryStandInFor("regedt32.exe", "open"), RegistryStandIn::kNone);
  EXPECT_EQ(RegistryStandInFor("reg.exe.bak", "open"), RegistryStandIn::kNone);
  EXPECT_EQ(RegistryStandInFor("myreg", "open"), RegistryStandIn::kNone);
}

TEST(RegistryStandInsTest, ArgumentsOfRegAndRegedit) {
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kReg, "reg",
                                     "add \"HKLM\\PE SOFT\\A\" /v N /d \"a b\" /f"),
            (Args{"add", "HKLM\\PE SOFT\\A", "/v", "N", "/d", "a b", "/f"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", "/s \"C:\\a b.reg\""),
            (Args{"import", "C:\\a b.reg"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", "x.reg"),
            (Args{"import", "x.reg"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", "-S x.reg"),
            (Args{"import", "x.reg"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", "/e out.reg HKCU\\A"),
            (Args{"export", "HKCU\\A", "out.reg", "/y"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", "/A out.reg HKCU\\A"),
            (Args{"export", "HKCU\\A", "out.reg", "/y", "/a"}));
  // The whole registry, and no file at all: the tool refuses both.
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", "/e out.reg"),
            (Args{"export", "out.reg"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegedit, "regedit", ""), (Args{"import"}));
  EXPECT_EQ(RegistryStandInArguments(RegistryStandIn::kRegDocument, "/t/s.reg", "ignored"),
            (Args{"import", "/t/s.reg"}));
}

class Recorder : public ProcessLauncher {
 public:
  ProcessOutcome Run(const ProcessRequest& request, bool wait) override {
    requests.push_back(request);
    waited.push_back(wait);
    ProcessOutcome outcome;
    outcome.started = true;
    outcome.exit_code = 3;
    return outcome;
  }
  std::vector<ProcessRequest> requests;
  std::vector<bool> waited;
};

TEST(RegistryStandInsTest, TheLauncherStartsTheToolVisiblyAndPassesOtherProgramsOn) {
  Recorder inner;
  RegistryStandInLauncher launcher(inner, "/opt/pelvar/pelvar-reg");
  ProcessRequest reg;
  reg.file = "REG.exe";
  reg.parameters = "delete \"HKCU\\A B\" /f";
  reg.show = ShowMode::kHidden;
  reg.keep_error_output = true;
  EXPECT_EQ(launcher.Run(reg, true).exit_code, 3);
  ProcessRequest regedit;
  regedit.file = "regedit";
  regedit.parameters = "/s \"my settings.reg\"";
  launcher.Run(regedit, false);
  ProcessRequest other;
  other.file = "setup.exe";
  other.parameters = "/q";
  other.show = ShowMode::kHidden;
  launcher.Run(other, true);

  ASSERT_EQ(inner.requests.size(), 3u);
  EXPECT_EQ(inner.requests[0].file, "/opt/pelvar/pelvar-reg");
  EXPECT_EQ(inner.requests[0].parameters, "delete \"HKCU\\A B\" /f");
  // Its messages reach standard error, whatever the line asked for.
  EXPECT_EQ(inner.requests[0].show, ShowMode::kNormal);
  EXPECT_FALSE(inner.requests[0].keep_error_output);
  EXPECT_EQ(inner.requests[1].file, "/opt/pelvar/pelvar-reg");
  EXPECT_EQ(inner.requests[1].parameters, "import \"my settings.reg\"");
  EXPECT_EQ(inner.waited, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(inner.requests[2].file, "setup.exe");
  EXPECT_EQ(inner.requests[2].show, ShowMode::kHidden);
}

}  // namespace
}  // namespace pelvar::platform
