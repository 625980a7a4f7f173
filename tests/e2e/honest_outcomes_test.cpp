// The built programs on real files and hives, where a run could claim an
// effect that did not happen: every success line must be true, and every
// failure must be seen (log line, reason, exit status).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::RunShell;
using testing::ShellQuoted;
using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a program of the build with the program folder `home` ($PELVAR_HOME,
// its own registry store unless `env` says otherwise).
Outcome RunIn(const TempDir& home, const std::string& program, const std::string& args,
              const std::string& env = "") {
  const std::string err_file = home.Path(".stderr");
  const testing::ShellOutput o =
      RunShell("env -u PELVAR_REGISTRY PELVAR_HOME=" + ShellQuoted(home.path()) + " " + env + " '" +
               PELVAR_PROGRAM_DIR "/" + program + "' " + args + " 2>" + ShellQuoted(err_file));
  return {o.status, o.out, testing::ReadFileText(err_file)};
}

Outcome RunScript(const TempDir& home, const std::string& script, const std::string& args = "") {
  return RunIn(home, "pelvar", ShellQuoted(script) + " /silent " + args);
}

std::string HiveCopy(const TempDir& home, const std::string& relative) {
  return home.Write(relative, testing::ReadFixture("hives/minimal.hiv"));
}

TEST(EmptyPathTest, ALineUsingAnEmptyPathEndsTheRunBeforeItActs) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\ntargetdir=\r\nsourcedir=" + home.Path("src") + "\r\n");
  home.Write("src/a.txt", "a");
  const std::string probe = "/tmp/pelvar-empty-target-probe";
  std::remove(probe.c_str());
  const std::string script = home.Write(
      "a.script",
      "[variables]\r\n%boot%=%TargetDir%\\tmp\r\n%probe%=%boot%\\pelvar-empty-target-probe\r\n"
      "[process]\r\necho,1,\"[%targetdir%]\"\r\nfilecopy,1,%sourcedir%\\a.txt,%scriptdir%\\b."
      "txt\r\n"
      "filecopy,0,%sourcedir%\\a.txt,%probe%\r\n"
      "filecopy,1,%sourcedir%\\a.txt,%probe%\r\necho,1,never\r\n");
  const Outcome o = RunScript(home, script);
  const std::string reason =
      "%probe% is built on %targetdir%, which is empty: set the target folder (targetdir= in "
      "[main] of pelvar.ini, or /TargetDir=DIR)";
  EXPECT_EQ(o.status, 1);
  ASSERT_NE(o.out.find("8\t[]\n1\tSucessfully copied file: "), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("\n0\t" + reason + "\n"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("never"), std::string::npos);
  EXPECT_NE(o.err.find(reason), std::string::npos) << o.err;
  EXPECT_TRUE(home.Exists("b.txt"));
  EXPECT_NE(::access(probe.c_str(), F_OK), 0);

  // The same with the folder given: the line runs.
  const Outcome given = RunScript(home, script, "/TargetDir=" + ShellQuoted(home.Path("t")));
  EXPECT_EQ(given.status, 4) << given.out;  // t\tmp does not exist
  EXPECT_EQ(given.out.find("is empty"), std::string::npos);
}

TEST(RegistryRootTest, AnUnknownRootWritesNothingAnywhere) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string hive = HiveCopy(home, "target/user");
  ASSERT_EQ(RunIn(home, "pelvar-reg", "load 'HKLM\\PE_U' " + ShellQuoted(hive)).status, 0);
  const std::string script =
      home.Write("r.script", "[process]\r\nregwritestring,1,HKLM,PE_U\\Software\\Lab,Name,x\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.out,
            "0\tFailed to write registry string key in: \"HKLM\\PE_U\\Software\\Lab\" Key:Name\" "
            "Value:\"x\"\n");
  EXPECT_EQ(o.status, 4);
  ASSERT_EQ(RunIn(home, "pelvar-reg", "unload 'HKLM\\PE_U'").status, 0);
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(hive) + " '\\Software\\Lab' 2>/dev/null").status, 1);
  EXPECT_EQ(RunIn(home, "pelvar-reg", "query 'HKCU\\PE_U'").status, 1);
}

TEST(RunHivesTest, HivesLeftLoadedAreUnloadedWhenTheRunEnds) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string first = HiveCopy(home, "t1/system");
  const std::string second = HiveCopy(home, "t2/system");
  const auto script_for = [&](const std::string& hive) {
    return home.Write("s.script", "[process]\r\nreghiveload,1,PE_SYS," + hive +
                                      "\r\n"
                                      "regwritestring,1,HKEY_LOCAL_MACHINE,PE_SYS\\Setup,By,"
                                      "\"" +
                                      hive + "\"\r\nfilecopy,1\r\n");
  };
  const Outcome o = RunScript(home, script_for(first));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("0\tList index out of bounds (2)\n"
                       "0\t" +
                       home.Path("s.script") +
                       ":4: filecopy,1\n"
                       "1\tUnloaded registry hive left loaded by the run: \"PE_SYS\"\n"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(RunIn(home, "pelvar-reg", "mounts").out, "");

  // The next run's load of the same name works, and its write lands in its own hive.
  const Outcome next = RunScript(home, script_for(second));
  EXPECT_EQ(next.out.find("Failed to load"), std::string::npos) << next.out;
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(first) + " '\\Setup' By").out, first + "\n");
  EXPECT_EQ(RunShell("hivexget " + ShellQuoted(second) + " '\\Setup' By").out, second + "\n");

  // A mount whose file is gone is dropped at the next load.
  ASSERT_EQ(RunIn(home, "pelvar-reg", "load 'HKLM\\PE_GONE' " + ShellQuoted(first)).status, 0);
  EXPECT_EQ(RunIn(home, "pelvar-reg", "mounts").out,
            "HKEY_LOCAL_MACHINE\\PE_GONE\t" + first + "\n");
  ASSERT_EQ(std::remove(first.c_str()), 0);
  EXPECT_EQ(RunIn(home, "pelvar-reg", "load 'HKLM\\PE_GONE' " + ShellQuoted(second)).status, 0);
  EXPECT_EQ(RunIn(home, "pelvar-reg", "mounts").out,
            "HKEY_LOCAL_MACHINE\\PE_GONE\t" + second + "\n");
}

TEST(IniTextLineTest, ACommentLineIsAFailureAndTheFileStaysAsItIs) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string original = "; keep me\n[Options]\nA = 1\n\n[Other]\n";
  const std::string ini = home.Write("s.ini", original);
  const std::string script = home.Write("i.script", "[process]\r\niniwritetextline,1," + ini +
                                                        ",Options,\"; by Pelvar\"\r\n"
                                                        "iniwritetextline,1," +
                                                        ini + ",Options,\"\"\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 2);
  EXPECT_EQ(o.out.rfind("0\tINIwriteTextLine - An error occured", 0), 0u) << o.out;
  EXPECT_EQ(home.Read("s.ini"), original);
  const std::string why = ": an empty line or a ; comment would be dropped from the INI file\n";
  EXPECT_EQ(o.err, script + ":2" + why + script + ":3" + why + "Failures logged: 2\n");
}

TEST(RegistryStoreTest, ARunWithoutRegistryCommandsNeedsNoStore) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\nprogramfilesdir=/srv/pf\r\n");
  const std::string script = home.Write("e.script", "[process]\r\necho,1,%programfilesdir%\r\n");
  const Outcome plain = RunScript(home, script);
  EXPECT_EQ(plain.out, "8\t/srv/pf\n");
  EXPECT_FALSE(home.Exists("registry.db"));
  const Outcome missing = RunIn(home, "pelvar", ShellQuoted(script) + " /silent",
                                "PELVAR_REGISTRY=" + ShellQuoted(home.Path("no/registry.db")));
  EXPECT_EQ(missing.status, 0) << missing.err;
  EXPECT_EQ(missing.out, "8\t/srv/pf\n");
  EXPECT_FALSE(home.Exists("registry.db"));
  EXPECT_FALSE(home.Exists("registry.db-wal"));
  EXPECT_FALSE(home.Exists("no"));
}

TEST(ExitStatusTest, FailedCommandsGiveStatusFourAndACount) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\ntargetdir=" + home.Path("t") + "\r\n");
  const std::string script = home.Write(
      "x.script", "[process]\r\nfiledelete,1,%targetdir%\\missing\r\nwait,1,bad\r\necho,1,ok\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, script + ":2: no such file\n" + script +
                       ":3: not a whole number of seconds from 0 to 86400\nFailures logged: 2\n");
  const std::string clean = home.Write("c.script", "[process]\r\necho,1,%isofile%\r\n");
  const Outcome ok = RunScript(home, clean, "/IsoFile=/data/x.iso");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "8\t/data/x.iso\n");
  EXPECT_EQ(ok.err, "");

  // --batch takes /IsoFile= too: the configuration's empty ISO file no
  // longer stops it.
  home.Write("Scripts/c.script",
             "[main]\r\ntitle=C\r\nlevel=1\r\nselected=true\r\n[process]\r\n"
             "echo,1,%isofile%\r\n");
  const Outcome batch = RunIn(home, "pelvar", "--batch Scripts /IsoFile=" + home.Path("x.iso"));
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find("8\t" + home.Path("x.iso") + "\n"), std::string::npos);
}

TEST(WildcardTest, EveryFailedFileHasItsOwnLine) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  home.Write("src/a.txt", "a");
  home.Write("src/b.txt", "b");
  home.Write("src/c.txt", "c");
  home.Write("dst/a.txt/x", "a folder where a.txt would go");
  const std::string src = home.Path("src");
  const std::string dst = home.Path("dst");
  const std::string script =
      home.Write("w.script", "[process]\r\nfilecopy,1," + src + "\\*.txt," + dst + "\r\n");
  const Outcome o = RunScript(home, script);
  // The closing line is the last file's outcome, as before; a.txt's failure
  // is no longer hidden behind it.
  EXPECT_EQ(o.out, "0\tFailed to copy \"" + src + "\\a.txt\" to: \"" + dst + "\\a.txt\"\n" +
                       "1\tSucessfully copied \"" + src + "\\c.txt\" to: \"" + dst + "\\c.txt\"\n");
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(home.Read("dst/b.txt"), "b");
  EXPECT_EQ(home.Read("dst/c.txt"), "c");
}

// Writes UTF-8 text as a UTF-16LE file with its byte order mark.
std::string WriteUtf16(const TempDir& home, const std::string& relative, const std::string& utf8) {
  const std::string plain = home.Write(relative + ".utf8", utf8);
  const std::string path = home.Path(relative);
  EXPECT_EQ(RunShell("{ printf '\\377\\376'; iconv -f UTF-8 -t UTF-16LE " + ShellQuoted(plain) +
                     "; } > " + ShellQuoted(path))
                .status,
            0);
  return path;
}

std::string ReadUtf16(const std::string& path) {
  const std::string bytes = testing::ReadFileText(path);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  return RunShell("iconv -f UTF-16 -t UTF-8 " + ShellQuoted(path)).out;
}

TEST(Utf16Test, DriverInfFilesStayUtf16AndKeepTheirText) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string inf =
      WriteUtf16(home, "drv/net.inf",
                 "; Réseau\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Strings]\r\n"
                 "Vendor=\"Société Générale ✓\"\r\nDesc=Карта\r\n");
  const std::string notes = WriteUtf16(home, "drv/notes.txt", "  Grüße  \r\nzwei\r\n");
  const std::string script =
      home.Write("u.script", "[process]\r\ninideletekey,1," + inf +
                                 ",Strings,Missing\r\n"
                                 "iniwritekey,1," +
                                 inf +
                                 ",Strings,Model,\"Café 3\"\r\n"
                                 "iniwritekey,1," +
                                 inf +
                                 ",Strings,Latin,\"na\xEFve\"\r\n"
                                 "txtreplace,1," +
                                 notes + ",zwei,drei\r\ntxtdelspaces,1," + notes + "\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.status, 0) << o.out;
  // Only the two new lines are added; the comment and the blank line stay.
  EXPECT_EQ(ReadUtf16(inf),
            "; Réseau\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Strings]\r\n"
            "Vendor=\"Société Générale ✓\"\r\nDesc=Карта\r\nModel=Café 3\r\nLatin=naïve\r\n");
  EXPECT_EQ(ReadUtf16(notes), "Grüße\r\ndrei\r\n");
}

TEST(Utf16Test, AnEightBitIniFileWithANulByteIsNotRewritten) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string original = std::string("[a]\r\nx=1\r\n\0[b]\r\ny=2\r\n", 18);
  const std::string ini = home.Write("n.ini", original);
  const std::string script = home.Write("n.script", "[process]\r\niniwritekey,1," + ini +
                                                        ",a,z,3\r\n"
                                                        "inideletekey,1," +
                                                        ini + ",a,x\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.out.find("1\t"), std::string::npos) << o.out;
  EXPECT_EQ(home.Read("n.ini"), original);
}

TEST(HeadlessOutputTest, ProgramsWriteToStderrAndStepsAreCounted) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string script =
      home.Write("p.script", "[process]\r\nshellexecute,1,open,echo,\"from the program\"\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out,
            "1\tSuccessfully executed and waited for command: \"open\" using: \"echo\" with "
            "parameters: \"from the program\"\n");
  EXPECT_EQ(o.err, "from the program\n");
}

TEST(FailureReasonTest, HeadlessRunsPrintTheReasonOfEachFailureWithItsLine) {
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string hive = HiveCopy(home, "t/system");
  const std::string script = home.Write(
      "r.script", "[process]\r\nreghiveload,1,PE_R," + hive + "\r\n; again\r\nreghiveload,1,PE_R," +
                      hive + "\r\nfiledelete,1," + home.Path("nothing.txt") + "\r\n");
  const Outcome o = RunScript(home, script);
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.out.substr(0, 2), "1\t");
  EXPECT_NE(o.out.find("\n0\tFailed to load registry hive: \"PE_R from file: \"" + hive + "\"\n"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(o.err, script + ":4: a hive is already mounted as HKEY_LOCAL_MACHINE\\PE_R\n" + script +
                       ":5: no such file\n" + "Failures logged: 2\n");
}

}  // namespace
}  // namespace pelvar
