// The INI commands on real-looking files (tests/data/ini_corpus): each command
// runs on a fresh copy, and the result must equal the file with only the
// named lines changed, byte for byte: comments, blank lines, blanks around
// "=", line ends, the UTF-16LE encoding and a missing final line end stay.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::ScriptHarness;

// A file as lines with their own line ends.
using Lines = std::vector<std::pair<std::string, std::string>>;

Lines SplitLines(const std::string& text) {
  Lines out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      out.emplace_back(text.substr(pos), "");
      break;
    }
    const size_t next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
    out.emplace_back(text.substr(pos, end - pos), text.substr(end, next - end));
    pos = next;
  }
  return out;
}

std::string JoinLines(const Lines& lines) {
  std::string out;
  for (const auto& [text, eol] : lines) out += text + eol;
  return out;
}

// One change that the expected file has against the file as it was.
struct Change {
  enum Kind { kReplace, kInsert, kDelete } kind;
  size_t line;       // index in the lines as changed so far
  std::string text;  // kReplace, kInsert: the line's text
  size_t count = 1;  // kDelete: how many lines
};

Change Replace(size_t line, std::string text) {
  return {Change::kReplace, line, std::move(text)};
}
Change Insert(size_t line, std::string text) {
  return {Change::kInsert, line, std::move(text)};
}
Change Delete(size_t line, size_t count = 1) {
  return {Change::kDelete, line, {}, count};
}

// The file as it was, with the changes made: a replaced line keeps its line end; an
// inserted line takes `eol`; a file that ended without a line end still does.
std::string Expected(const std::string& before, const std::vector<Change>& changes,
                     const std::string& eol) {
  Lines lines = SplitLines(before);
  for (const Change& c : changes) {
    switch (c.kind) {
      case Change::kReplace:
        lines.at(c.line).first = c.text;
        break;
      case Change::kInsert:
        if (c.line == lines.size() && !lines.empty() && lines.back().second.empty()) {
          lines.back().second = eol;
          lines.emplace_back(c.text, "");
        } else {
          lines.insert(lines.begin() + static_cast<long>(c.line), {c.text, eol});
        }
        break;
      case Change::kDelete: {
        const bool was_last_open = c.line + c.count == lines.size() && lines.back().second.empty();
        lines.erase(lines.begin() + static_cast<long>(c.line),
                    lines.begin() + static_cast<long>(c.line + c.count));
        if (was_last_open && !lines.empty()) lines.back().second.clear();
        break;
      }
    }
  }
  return JoinLines(lines);
}

struct Case {
  std::string file;
  std::string line;  // the script line; {f} stands for the file's path
  bool ok;
  std::vector<Change> changes;
};

std::string CorpusFile(const std::string& name) {
  return testing::ReadFileText(std::string(PELVAR_SOURCE_DIR) + "/tests/data/ini_corpus/" + name);
}

// The file's text (UTF-16LE files as UTF-8, without their mark).
std::string TextOf(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) return platform::Utf16LeTextToUtf8(bytes.substr(2));
  return bytes;
}

void RunCases(const std::vector<Case>& cases, const std::string& eol) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + ": " + c.line);
    ScriptHarness h;
    const std::string before = CorpusFile(c.file);
    ASSERT_FALSE(before.empty());
    const std::string path = h.dir.Write(c.file, before);
    std::string line = c.line;
    line.replace(line.find("{f}"), 3, path);
    h.RunLine(line);
    ASSERT_EQ(h.view.lines.size(), 1u);
    EXPECT_EQ(h.view.lines[0].kind, c.ok ? LogKind::kSuccess : LogKind::kFailure);
    const std::string after = h.dir.Read(c.file);
    const bool wide = before.compare(0, 2, "\xFF\xFE") == 0;
    std::string expected = Expected(TextOf(before), c.changes, eol);
    if (wide) expected = "\xFF\xFE" + platform::TextToUtf16Le(expected);
    EXPECT_EQ(after, expected);
    if (c.changes.empty()) {
      EXPECT_EQ(after, before);
    }
  }
}

TEST(IniCorpusTest, WinpeshlKeepsItsCommentsAndLayout) {
  const std::string f = "winpeshl.ini";
  RunCases(
      {
          {f,
           "iniwritekey,1,{f},LaunchApp,AppPath,X:\\shell.exe",
           true,
           {Replace(2, "AppPath=X:\\shell.exe")}},
          {f, "iniwritekey,1,{f},launchapps,Timeout,5", true, {Insert(8, "Timeout=5")}},
          {f,
           "iniwritekey,1,{f},Logging,Level,2",
           true,
           {Insert(8, ""), Insert(9, "[Logging]"), Insert(10, "Level=2")}},
          {f, "inideletekey,1,{f},LaunchApp,apppath", true, {Delete(2)}},
          {f, "inideletekey,1,{f},LaunchApp,Missing", true, {}},
          {f, "inideletesection,1,{f},LaunchApp", true, {Delete(1, 3)}},
          {f, "inideletesection,1,{f},Nothing", true, {}},
          {f,
           "iniwritetextline,1,{f},LaunchApps,X:\\first.exe",
           true,
           {Insert(7, "X:\\first.exe")}},
          {f, "iniwritetextline,1,{f},launchapps,X:\\first.exe", false, {}},
          {f, "iniaddsection,1,{f},Extra", true, {Insert(8, "[Extra]")}},
          {f, "iniaddsection,1,{f},launchapp", true, {}},
      },
      "\r\n");
}

TEST(IniCorpusTest, SetupIniKeepsItsTextAboveTheFirstHeaderAndItsLfLineEnds) {
  const std::string f = "setup.ini";
  RunCases(
      {
          // The commented-out "; Language" line is not the key.
          {f, "iniwritekey,1,{f},Setup,Language,fr-FR", true, {Replace(6, "Language=fr-FR")}},
          {f, "iniwritekey,1,{f},Setup,Reboot,No", true, {Insert(7, "Reboot=No")}},
          {f,
           "iniwritekey,1,{f},Final,Done,1",
           true,
           {Insert(10, ""), Insert(11, "[Final]"), Insert(12, "Done=1")}},
          {f, "inideletekey,1,{f},Setup,MODE", true, {Delete(4)}},
          {f, "inideletekey,1,{f},Drivers,Language", true, {}},
          {f, "inideletesection,1,{f},Setup", true, {Delete(3, 5)}},
          {f, "inideletesection,1,{f},\"Setup options for the unattended build\"", true, {}},
          {f, "iniwritetextline,1,{f},Drivers,D:\\More", true, {Insert(10, "D:\\More")}},
          {f, "iniwritetextline,1,{f},SETUP,x", false, {}},
          {f, "iniaddsection,1,{f},Drivers", true, {}},
          {f, "iniaddsection,1,{f},Final", true, {Insert(10, "[Final]")}},
      },
      "\n");
}

TEST(IniCorpusTest, DuplicateNamesEditTheLineARunReads) {
  const std::string f = "duplicates.ini";
  RunCases(
      {
          {f, "iniwritekey,1,{f},Options,COLOR,green", true, {Replace(1, "COLOR=green")}},
          // The first [Options] is the section read; the later one's Size stays.
          {f, "iniwritekey,1,{f},options,Size,20", true, {Insert(3, "Size=20")}},
          {f, "inideletekey,1,{f},OPTIONS,color", true, {Delete(1)}},
          {f, "inideletesection,1,{f},options", true, {Delete(7, 2), Delete(0, 4)}},
          // Exact letter case: the second header, spelt "options".
          {f, "iniwritetextline,1,{f},options,Note", true, {Insert(9, "Note")}},
          {f, "iniaddsection,1,{f},Paths", true, {}},
          {f, "inideletekey,1,{f},Paths,Temp", true, {Delete(5)}},
      },
      "\r\n");
}

TEST(IniCorpusTest, AFileWithoutAFinalLineEndStaysWithoutOne) {
  const std::string f = "no-final-eol.ini";
  RunCases(
      {
          {f, "iniwritekey,1,{f},General,Count,4", true, {Replace(3, "Count=4")}},
          {f, "iniwritekey,1,{f},General,Size,9", true, {Insert(4, "Size=9")}},
          {f,
           "iniwritekey,1,{f},Other,k,v",
           true,
           {Insert(4, ""), Insert(5, "[Other]"), Insert(6, "k=v")}},
          {f, "inideletekey,1,{f},General,count", true, {Delete(3)}},
          {f, "iniwritetextline,1,{f},General,x", true, {Insert(2, "x")}},
          {f, "inideletesection,1,{f},General", true, {Delete(0, 4)}},
      },
      "\r\n");
}

TEST(IniCorpusTest, AddedSectionEndsTheLastLineAndItsOwn) {
  ScriptHarness h;
  const std::string path = h.dir.Write("a.ini", CorpusFile("no-final-eol.ini"));
  h.RunLine("iniaddsection,1," + path + ",Tail");
  EXPECT_EQ(h.dir.Read("a.ini"), "[General]\r\nName=alpha\r\n; note\r\nCount=3\r\n[Tail]\r\n");
}

TEST(IniCorpusTest, Utf16DriverFileStaysUtf16WithItsComments) {
  const std::string f = "driver.inf";
  RunCases(
      {
          {f,
           "iniwritekey,1,{f},Strings,Vendor,Kettle-Labs",
           true,
           {Replace(15, "Vendor=Kettle-Labs")}},
          {f,
           "iniwritekey,1,{f},Version,DriverVer,07/01/2024#$c1.5.0.0",
           true,
           {Replace(8, "DriverVer=07/01/2024,1.5.0.0")}},
          {f,
           "iniwritekey,1,{f},Strings,ServiceDesc,Kettle",
           true,
           {Insert(17, "ServiceDesc=Kettle")}},
          {f, "inideletekey,1,{f},Version,class", true, {Delete(6)}},
          // The comment above [Strings] is within the erased section's lines.
          {f, "inideletesection,1,{f},Manufacturer", true, {Delete(10, 4)}},
          {f,
           "iniwritetextline,1,{f},Manufacturer,\"Other Models\"",
           true,
           {Insert(12, "Other Models")}},
          {f, "iniaddsection,1,{f},Strings", true, {}},
          {f, "iniaddsection,1,{f},DestinationDirs", true, {Insert(17, "[DestinationDirs]")}},
      },
      "\r\n");
}

}  // namespace
}  // namespace pelvar
