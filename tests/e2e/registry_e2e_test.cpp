// The built programs together: pelvar writes the registry store beside it
// and into a hive that pelvar-reg mounted; independent readers check it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::RunShell;
using testing::ShellQuoted;
using testing::TempDir;

// Programs started by the tests of this program never reach the user's
// registry store: without $PELVAR_REGISTRY it is the one in $PELVAR_HOME.
const bool kNoUserStore = (::unsetenv("PELVAR_REGISTRY"), true);

// Runs a program of the build in the program folder `home`; stderr is kept
// with stdout.
testing::ShellOutput RunIn(const TempDir& home, const std::string& program,
                           const std::string& args) {
  return RunShell("env -u PELVAR_REGISTRY PELVAR_HOME=" + ShellQuoted(home.path()) + " '" +
                  PELVAR_PROGRAM_DIR "/" + program + "' " + args + " 2>&1");
}

TEST(RegistryE2eTest, TheStoreLivesBesideTheProgramAndSeedsProgramFilesDir) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\nprogramfilesdir=/srv/Program Files\r\n");
  const std::string script = home.Write(
      "a.script",
      "[process]\r\necho,1,\"%programfilesdir%\"\r\n"
      "regwritestring,1,HKEY_CURRENT_USER,Software\\E2E,Where,\"%programfilesdir%\"\r\n");
  EXPECT_EQ(RunIn(home, "pelvar", ShellQuoted(script) + " /silent").out,
            "8\t/srv/Program Files\n"
            "1\tSuccessfully wrote registry string key in: \"HKEY_CURRENT_USER\\Software\\E2E\" "
            "Key:Where\" Value:\"/srv/Program Files\"\n");
  EXPECT_TRUE(home.Exists("registry.db"));
  EXPECT_EQ(RunIn(home, "pelvar-reg", "query 'HKCU\\Software\\E2E'").out,
            "\nHKEY_CURRENT_USER\\Software\\E2E\n    Where    REG_SZ    /srv/Program Files\n\n");
}

TEST(RegistryE2eTest, AScriptEditsAMountedHiveThatIndependentReadersReadBack) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string hive = home.Write("target/system", testing::ReadFixture("hives/NTUSER.DAT"));
  const std::string script =
      home.Write("h.script",
                 "[process]\r\n"
                 "regwritestring,1,HKEY_LOCAL_MACHINE,pe_soft\\Pelvar\\Setup,Name,\"x#$cy\"\r\n"
                 "regwritedword,1,HKEY_LOCAL_MACHINE,PE_SOFT\\Pelvar\\Setup,Count,$10\r\n"
                 "regwritebinary,1,HKEY_LOCAL_MACHINE,PE_SOFT\\Pelvar,Blob,\"de ad\"\r\n"
                 "regdeletekey,1,HKEY_LOCAL_MACHINE,\"PE_SOFT\\Control Panel\",Desktop\r\n");
  ASSERT_EQ(RunIn(home, "pelvar-reg", "load 'HKLM\\PE_SOFT' " + ShellQuoted(hive)).status, 0);
  const auto run = RunIn(home, "pelvar", ShellQuoted(script) + " /silent");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4);
  EXPECT_EQ(run.out.find("0\t"), std::string::npos) << run.out;
  ASSERT_EQ(RunIn(home, "pelvar-reg", "unload 'HKLM\\PE_SOFT'").status, 0);

  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive) + " '\\Pelvar\\Setup'").out,
            "\"Name\"=\"x,y\"\n\"Count\"=dword:00000010\n");
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive) + " '\\Control Panel\\Desktop' 2>&1").status,
            1);
  const std::string reg = home.Path("out.reg");
  RunShell("reged -x " + ShellQuoted(hive) + " 'HKLM\\PE_SOFT' '\\Pelvar' " + ShellQuoted(reg) +
           " >/dev/null 2>&1");
  EXPECT_EQ(
      testing::ReadFileText(reg),
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKLM\\PE_SOFT\\Pelvar]\r\n\"Blob\"=hex:de,ad\r\n\r\n"
      "[HKLM\\PE_SOFT\\Pelvar\\Setup]\r\n\"Name\"=\"x,y\"\r\n\"Count\"=dword:00000010\r\n\r\n");
}

TEST(RegistryE2eTest, HiveCommandsRunTheRegistryToolAndWaitForIt) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\ntargetdir=" + home.Path("target") + "\r\n");
  const std::string hive = home.Write("target/system", testing::ReadFixture("hives/minimal.hiv"));
  const std::string script = home.Write(
      "h.script",
      "[process]\r\n"
      "reghiveload,1,PE_SYSTEM,%targetdir%\\system\r\n"
      "regwritestring,1,HKEY_LOCAL_MACHINE,PE_SYSTEM\\Setup,CmdLine,\"setup.exe -newsetup\"\r\n"
      "reghiveunload,1,PE_SYSTEM\r\n"
      "reghiveunload,1,PE_SYSTEM\r\n");
  const std::string file = home.Path("target") + "\\system";
  EXPECT_EQ(
      RunIn(home, "pelvar", ShellQuoted(script) + " /silent").out,
      "1\tSuccessfully loaded registry hive: \"PE_SYSTEM from file: \"" + file +
          "\"\n"
          "1\tSuccessfully wrote registry string key in: \"HKEY_LOCAL_MACHINE\\PE_SYSTEM\\Setup\" "
          "Key:CmdLine\" Value:\"setup.exe -newsetup\"\n"
          "1\tSuccessfully unloaded registry hive: \"PE_SYSTEM\"\n"
          "0\tFailed to unload registry hive: \"PE_SYSTEM\"\n" +
          script + ":5: no hive is mounted as HKEY_LOCAL_MACHINE\\PE_SYSTEM\nFailures logged: 1\n");
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive) + " '\\Setup' CmdLine").out,
            "setup.exe -newsetup\n");
}

}  // namespace
}  // namespace pelvar
