// Scripts that start reg and regedit: pelvar runs pelvar-reg in their
// place, on the hives the script loaded; hivexget reads the result back.
#include <gtest/gtest.h>

#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::RunShell;
using testing::ShellQuoted;
using testing::TempDir;

// A program of the build run in the program folder `home` (so with the store
// there, never the user's): its status and standard output, with standard
// error in `err` when asked for.
testing::ShellOutput Program(const TempDir& home, const std::string& program,
                             const std::string& args, std::string* err = nullptr) {
  const std::string err_file = home.Path("stderr.txt");
  const testing::ShellOutput out =
      RunShell("env -u PELVAR_REGISTRY PELVAR_HOME=" + ShellQuoted(home.path()) + " '" +
               PELVAR_PROGRAM_DIR "/" + program + "' " + args + " 2>" + ShellQuoted(err_file));
  if (err != nullptr) *err = testing::ReadFileText(err_file);
  return out;
}

std::string HivexGet(const std::string& hive, const std::string& key) {
  return RunShell("hivexget " + ShellQuoted(hive) + " " + ShellQuoted(key) + " 2>&1").out;
}

const char kSettings[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\PE_USER\\Software\\Pelvar]\r\n"
    "\"FromRegedit\"=\"yes\"\r\n\"Gone\"=\"soon\"\r\n"
    "[-HKEY_LOCAL_MACHINE\\PE_USER\\Control Panel\\Desktop]\r\n";

// The script of the issue: load a hive, regedit /s, reg add, reg delete,
// unload.
std::string WriteScript(const TempDir& home, const std::string& hive) {
  home.Write("settings.reg", kSettings);
  return home.Write(
      "s.script",
      "[process]\r\n"
      "reghiveload,1,PE_USER,\"" +
          hive +
          "\"\r\n"
          "shellexecute,1,open,regedit.exe,\"/s %scriptdir%\\settings.reg\"\r\n"
          "shellexecute,1,hide,REG,\"add HKLM\\PE_USER\\Software\\Pelvar /v Count /t REG_DWORD "
          "/d 16 /f\"\r\n"
          "shellexecute,1,open,C:\\Windows\\System32\\reg.exe,\"delete "
          "HKLM\\PE_USER\\Software\\Pelvar /v Gone /f\"\r\n"
          "shellexecute,1,open,reg,\"delete HKLM\\PE_USER\\Software\\Missing /f\"\r\n"
          "reghiveunload,1,PE_USER\r\n");
}

TEST(RegistryStandInsE2eTest, AScriptChangesALoadedHiveThroughRegAndRegedit) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string hive = home.Write(
      "target/ntuser.dat", testing::ReadFileText(PELVAR_SOURCE_DIR "/tests/data/hives/NTUSER.DAT"));
  const std::string script = WriteScript(home, hive);
  std::string err;
  const auto run = Program(home, "pelvar", ShellQuoted(script) + " /silent", &err);
  EXPECT_EQ(run.status, 0);
  // The lines' texts are those of shellexecute, whatever the tool did.
  EXPECT_EQ(
      run.out,
      "1\tSuccessfully loaded registry hive: \"PE_USER from file: \"" + hive +
          "\"\n"
          "1\tSuccessfully executed and waited for command: \"open\" using: \"regedit.exe\" "
          "with parameters: \"/s " +
          home.path() +
          "\\settings.reg\"\n"
          "1\tSuccessfully executed and waited for command: \"hide\" using: \"REG\" with "
          "parameters: \"add HKLM\\PE_USER\\Software\\Pelvar /v Count /t REG_DWORD /d 16 /f\"\n"
          "1\tSuccessfully executed and waited for command: \"open\" using: "
          "\"C:\\Windows\\System32\\reg.exe\" with parameters: \"delete "
          "HKLM\\PE_USER\\Software\\Pelvar /v Gone /f\"\n"
          "1\tSuccessfully executed and waited for command: \"open\" using: \"reg\" with "
          "parameters: \"delete HKLM\\PE_USER\\Software\\Missing /f\"\n"
          "1\tSuccessfully unloaded registry hive: \"PE_USER\"\n");
  // The tool's own messages go to standard error, the failure's included.
  EXPECT_NE(err.find("ERROR: "), std::string::npos) << err;
  EXPECT_NE(err.find("no key \"Missing\""), std::string::npos) << err;
  EXPECT_EQ(HivexGet(hive, "\\Software\\Pelvar"),
            "\"FromRegedit\"=\"yes\"\n\"Count\"=dword:00000010\n");
  EXPECT_NE(HivexGet(hive, "\\Control Panel\\Desktop").find("not found"), std::string::npos);
  EXPECT_EQ(Program(home, "pelvar-reg", "mounts").out, "");
}

TEST(RegistryStandInsE2eTest, ADryRunListsTheChangesAndLeavesTheHiveAlone) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string untouched =
      testing::ReadFileText(PELVAR_SOURCE_DIR "/tests/data/hives/NTUSER.DAT");
  const std::string hive = home.Write("target/ntuser.dat", untouched);
  const std::string script = WriteScript(home, hive);
  const auto run = Program(home, "pelvar", "--dry-run " + ShellQuoted(script));
  EXPECT_EQ(run.status, 0);
  for (const char* line : {
           "  reg + key HKEY_LOCAL_MACHINE\\PE_USER\\Software\\Pelvar\n",
           "  reg HKEY_LOCAL_MACHINE\\PE_USER\\Software\\Pelvar\\FromRegedit: (none) -> \"yes\"\n",
           "  reg - key HKEY_LOCAL_MACHINE\\PE_USER\\Control Panel\\Desktop\n",
           "  reg HKEY_LOCAL_MACHINE\\PE_USER\\Software\\Pelvar\\Count: (none) -> 0x00000010 "
           "(16)\n",
           "  reg HKEY_LOCAL_MACHINE\\PE_USER\\Software\\Pelvar\\Gone: \"soon\" -> (none)\n",
           "  ! the registry tool would fail: no key \"Missing\"\n",
       }) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find("would start"), std::string::npos) << run.out;
  EXPECT_TRUE(testing::ReadFileText(hive) == untouched);
  EXPECT_EQ(Program(home, "pelvar-reg", "mounts").out, "");
}

TEST(RegistryStandInsE2eTest, AnEmbeddedRegFileIsImportedByExtractAndRun) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string script =
      home.Write("s.script",
                 "[process]\r\nextractandrun,1,Settings,user.reg\r\n"
                 "shellexecuteex,1,open,reg,\"add HKCU\\Software\\Later /v N /d 1 /f\"\r\n");
  const std::string reg = home.Write("src/user.reg",
                                     "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Embedded]\r\n"
                                     "\"From\"=\"the script\"\r\n");
  ASSERT_EQ(
      Program(home, "pelvar", "--embed " + ShellQuoted(script) + " Settings " + ShellQuoted(reg))
          .status,
      0);
  const auto run = Program(home, "pelvar", ShellQuoted(script) + " /silent");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "1\tSucessfully executed: \"Settings user.reg");
  EXPECT_EQ(Program(home, "pelvar-reg", "query 'HKCU\\Software\\Embedded'").out,
            "\nHKEY_CURRENT_USER\\Software\\Embedded\n    From    REG_SZ    the script\n\n");
}

}  // namespace
}  // namespace pelvar
