#include "archive/embedded_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "archive/base64_text.h"
#include "archive/pack_archive.h"
#include "engine/ini_model.h"
#include "platform/memory_file_system.h"
#include "platform/posix_file_system.h"
#include "platform/process_launcher.h"
#include "support/archive_result.h"
#include "support/test_support.h"

namespace pelvar::archive {
namespace {

using testing::FailureText;
using testing::Ok;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string kData = PELVAR_TEST_DATA "/embedded/";

std::string RandomBytes(size_t n, unsigned seed = 5) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

const IniModel::Section& SectionOf(const IniModel& m, const std::string& name) {
  const int i = m.FindSection(name);
  EXPECT_GE(i, 0) << name;
  return m.sections()[static_cast<size_t>(i < 0 ? 0 : i)];
}

// The keys of a section, in order.
std::vector<std::string> KeysOf(const IniModel::Section& s) {
  std::vector<std::string> keys;
  for (const auto& l : s.lines) keys.push_back(l.substr(0, l.find('=')));
  return keys;
}

// Line lengths of a file data section ("lines" excluded).
std::vector<size_t> LineLengths(const IniModel::Section& s) {
  std::vector<size_t> lengths;
  for (size_t i = 1; i < s.lines.size(); ++i)
    lengths.push_back(s.lines[i].size() - s.lines[i].find('=') - 1);
  return lengths;
}

// Points the system temporary folder at a folder of the test while alive.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& path) {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) old_ = old;
    had_ = old != nullptr;
    ::setenv("TMPDIR", path.c_str(), 1);
  }
  ~ScopedTempDir() {
    if (had_) {
      ::setenv("TMPDIR", old_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(EmbeddedFilesTest, ExtractsTheSharedScriptsByteForByte) {
  TempDir dir;
  struct Case {
    std::string script, folder, file;
  };
  const std::vector<Case> cases = {
      {"sample.script", "Docs", "readme.txt"},       {"sample.script", "Data", "empty.txt"},
      {"sample.script", "Data", "random.bin"},       {"sample.script", "Data", "big.log"},
      {"v1-archive.script", "Old", "readme.txt"},    {"prefixed-archive.script", "Pre", "big.log"},
      {"padded-base64.script", "Pad", "random.bin"},
  };
  for (const auto& c : cases) {
    const std::string dest = dir.Path(c.script + "-" + c.folder);
    EXPECT_TRUE(Ok(ExtractEmbeddedFile(kData + c.script, c.folder, c.file, dest))) << c.script;
    EXPECT_TRUE(testing::ReadFileText(dest + "/" + c.file) ==
                testing::ReadFileText(kData + "files/" + c.file))
        << c.script << " " << c.file;
  }
  const std::string all = dir.Path("all");
  fs::create_directory(all);
  EXPECT_TRUE(Ok(ExtractEmbeddedFolder(kData + "sample.script", "data", all, false)));
  for (const std::string name : {"empty.txt", "random.bin", "big.log"}) {
    EXPECT_TRUE(testing::ReadFileText(all + "/" + name) ==
                testing::ReadFileText(kData + "files/" + name));
  }
}

TEST(EmbeddedFilesTest, WritesTheSectionsOfTheSharedSample) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[main]\ntitle=x\n");
  for (const std::string name : {"readme.txt"})
    EXPECT_TRUE(Ok(EmbedFile(kData + "files/" + name, script, "Docs")));
  for (const std::string name : {"empty.txt", "random.bin", "big.log"}) {
    EXPECT_TRUE(Ok(EmbedFile(kData + "files/" + name, script, "Data")));
  }
  const IniModel ours = IniModel::Load(script);
  const IniModel model = IniModel::Load(kData + "sample.script");
  std::vector<std::string> our_names, model_names;
  for (const auto& s : ours.sections()) our_names.push_back(s.name);
  for (const auto& s : model.sections()) {
    if (s.name != "process" && s.name != "EncodedFolders") model_names.push_back(s.name);
  }
  EXPECT_EQ(our_names, model_names);
  for (const std::string file : {"Docs-readme.txt", "Data-empty.txt", "Data-random.bin"}) {
    const auto& a = SectionOf(ours, "EncodedFile-" + file);
    const auto& b = SectionOf(model, "EncodedFile-" + file);
    EXPECT_EQ(KeysOf(a), KeysOf(b));
    EXPECT_EQ(a.lines[0], b.lines[0]);
    EXPECT_EQ(LineLengths(a), LineLengths(b));
  }
  EXPECT_EQ(ours.ReadString("Docs", "readme.txt"), "113,151");
  EXPECT_EQ(ours.ReadString("Data", "empty.txt"), "62,83");
  EXPECT_EQ(ours.ReadString("Data", "random.bin"), "100071,133492");
  EXPECT_EQ(KeysOf(SectionOf(ours, "Data")), KeysOf(SectionOf(model, "Data")));
  // big.log is compressed; its sizes depend on the compressor, its form does not.
  const auto& big = SectionOf(ours, "EncodedFile-Data-big.log");
  const std::string sizes = ours.ReadString("Data", "big.log");
  const uint64_t archive_size = std::stoull(sizes);
  const uint64_t text_size = std::stoull(sizes.substr(sizes.find(',') + 1));
  const uint64_t chars = (archive_size * 8 + 5) / 6;
  EXPECT_EQ(text_size, chars + 2 * ((archive_size * 8 / 6) / 4090));
  EXPECT_EQ(big.lines[0], "lines=" + std::to_string(big.lines.size() - 2));
  const auto lengths = LineLengths(big);
  for (size_t i = 0; i + 1 < lengths.size(); ++i) EXPECT_EQ(lengths[i], 4090u);
  // And it reads back.
  EXPECT_TRUE(Ok(ExtractEmbeddedFile(script, "Data", "big.log", dir.Path("out"))));
  EXPECT_TRUE(dir.Read("out/big.log") == testing::ReadFileText(kData + "files/big.log"));
}

TEST(EmbeddedFilesTest, EmptyFileAndExactlyOneFullLine) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "");
  EXPECT_TRUE(Ok(EmbedFile(dir.Write("src/empty.txt", ""), script, "F")));
  IniModel m = IniModel::Load(script);
  EXPECT_EQ(SectionOf(m, "EncodedFile-F-empty.txt").lines.size(), 2u);
  EXPECT_EQ(m.ReadString("EncodedFile-F-empty.txt", "lines"), "0");

  // A stored file whose archive is 3,067 bytes: 4,090 characters, one line.
  bool found = false;
  for (size_t n = 2980; n < 3040 && !found; ++n) {
    const std::string content = RandomBytes(n);
    EXPECT_TRUE(Ok(EmbedFile(dir.Write("src/r.bin", content), script, "F")));
    m = IniModel::Load(script);
    if (m.ReadString("F", "r.bin") != "3067,4090") continue;
    found = true;
    const auto& s = SectionOf(m, "EncodedFile-F-r.bin");
    EXPECT_EQ(s.lines.size(), 2u);
    EXPECT_EQ(s.lines[0], "lines=0");
    EXPECT_EQ(s.lines[1].size(), 4092u);
    EXPECT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "r.bin", dir.Path("out"))));
    EXPECT_TRUE(dir.Read("out/r.bin") == content);
  }
  EXPECT_TRUE(found);
}

// Embedding one file through the whole-file model: the reference for the
// streaming writer.
void ReferenceEmbed(const std::string& source, const std::string& script, const std::string& folder,
                    TempDir& scratch) {
  const std::string name = source.substr(source.rfind('/') + 1);
  const std::string archive_path = scratch.Path("ref.arc");
  fs::remove(archive_path);
  PackArchive archive;
  ASSERT_TRUE(archive.CreateArchive(archive_path).ok());
  ASSERT_TRUE(archive.AddFile(source).ok());
  archive.CloseArchive();
  const std::string bytes = testing::ReadFileText(archive_path);
  const std::string text = EncodeBase64Text(bytes);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  IniModel model = IniModel::Load(script);
  const std::string section = EmbeddedFileSection(folder, name);
  while (model.SectionExists(section)) model.EraseSection(section);
  int index = model.FindSection(section);
  if (index < 0) index = model.AppendSection(section);
  std::vector<std::string> body{"lines=" + std::to_string(static_cast<int>(lines.size()) - 1)};
  for (size_t i = 0; i < lines.size(); ++i) body.push_back(std::to_string(i) + "=" + lines[i]);
  model.SetSectionLines(index, body);
  model.WriteKey(folder, name, std::to_string(bytes.size()) + "," + std::to_string(text.size()));
  model.Save(script);
}

TEST(EmbeddedFilesTest, OneRewriteForManyFilesGivesWhatOneAtATimeGives) {
  TempDir dir;
  TempDir scratch;
  // Sizes around the line and group boundaries of the text.
  std::vector<std::string> sources;
  // Up to 1 MiB a file is packed in memory; the last one goes through a
  // scratch file.
  for (const size_t n : {0, 1, 2, 3, 100, 3066, 3067, 3068, 3069, 6135, 20000, 1100000}) {
    sources.push_back(dir.Write("src/f" + std::to_string(n) + ".bin", RandomBytes(n, n + 1)));
  }
  const std::vector<std::string> scripts = {
      "",
      "\xEF\xBB\xBF[main]\r\ntitle = t\r\n; comment\r\n\r\n",
      "junk before\r\n[F]\r\nf3.bin=old\r\nother=1\r\n[EncodedFile-F-f3.bin]\r\nlines=0\r\n0=x\r\n",
      "[EncodedFile-F-f1.bin]\r\n0=a\r\n[encodedfile-f-F1.BIN]\r\n[f]\r\n[EncodedFile-F-f1.bin]"
      "\r\n0=b\r\n"
      "[EncodedFile-F-f2.bin]\r\n[z]\r\nk=v\r\n",
      "[process]\r\necho,1,a]\r\n[EncodedFile-F-f20000.bin]\r\nlines=5\r\n0=A\r\n1=B\r\n",
  };
  for (size_t i = 0; i < scripts.size(); ++i) {
    const std::string streamed = dir.Write("s" + std::to_string(i) + ".script", scripts[i]);
    const std::string reference = dir.Write("r" + std::to_string(i) + ".script", scripts[i]);
    const std::vector<bool> done = Ok(EmbedFiles(sources, streamed, "F", false));
    EXPECT_EQ(done, std::vector<bool>(sources.size(), true));
    for (const auto& source : sources) ReferenceEmbed(source, reference, "F", scratch);
    // The streamed script keeps the script's own layout; it reads back as
    // the reference, embedded one file at a time through the model.
    EXPECT_TRUE(IniModel::Parse(testing::ReadFileText(streamed)).Render() ==
                IniModel::Parse(testing::ReadFileText(reference)).Render())
        << i;
  }
  // Each file reads back, whole and one by one.
  const std::string script = dir.Path("s1.script");
  fs::create_directory(dir.Path("out"));
  ASSERT_TRUE(Ok(ExtractEmbeddedFolder(script, "F", dir.Path("out"), false)));
  for (const auto& source : sources) {
    const std::string name = source.substr(source.rfind('/') + 1);
    EXPECT_TRUE(dir.Read("out/" + name) == testing::ReadFileText(source)) << name;
    ASSERT_TRUE(Ok(ExtractEmbeddedFile(script, "F", name, dir.Path("one"))));
    EXPECT_TRUE(dir.Read("one/" + name) == testing::ReadFileText(source)) << name;
  }
  // A later file of a name wins; a missing one is reported and skipped.
  // Progress counts each source, missing or not, then the script written.
  std::vector<uint64_t> steps;
  const std::vector<bool> done = Ok(
      EmbedFiles({dir.Write("a/x.txt", "first"), dir.Path("none"), dir.Write("b/x.txt", "second")},
                 script, "F", false, [&](uint64_t step) { steps.push_back(step); }));
  EXPECT_EQ(done, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(steps, (std::vector<uint64_t>{1, 2, 3, 4}));
  ASSERT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "x.txt", dir.Path("x"))));
  EXPECT_EQ(dir.Read("x/x.txt"), "second");
  EXPECT_EQ(Ok(EmbedFiles({dir.Path("none")}, script, "F", false)), std::vector<bool>{false});
}

// Embedding changes only the sections it names: the script's comments,
// blank lines, layout and line ends stay, and the added sections follow one
// empty line in the script's line end.
TEST(EmbeddedFilesTest, EmbeddingKeepsEveryOtherByteOfTheScript) {
  TempDir dir;
  const std::string head =
      "; Tools\n[main]\ntitle = Tools\n\n[process]\n; first\necho,1,a\n\n"
      "[EncodedFolders]\nOld\n; the new ones\n";
  const std::string script = dir.Write("s.script", head + "[Old]\n; kept\nx.txt=1,2\n");
  ASSERT_EQ(Ok(EmbedFiles({dir.Write("in/a.txt", "alpha")}, script, "F", true)),
            std::vector<bool>{true});
  const std::string text = dir.Read("s.script");
  // The new folder goes in after the list's first line; the rest stays.
  ASSERT_TRUE(
      text.starts_with("; Tools\n[main]\ntitle = Tools\n\n[process]\n; first\necho,1,a\n\n"
                       "[EncodedFolders]\nOld\nF\n; the new ones\n[Old]\n; kept\nx.txt=1,2\n"
                       "\n[EncodedFile-F-a.txt]\nlines=0\n0="))
      << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_TRUE(
      text.ends_with("\n\n[F]\na.txt=" + IniModel::Parse(text).ReadString("F", "a.txt") + "\n"))
      << text;
  // Embedding again replaces the text and the key where they stand.
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("in/a.txt", "alpha, longer now"), script, "F")));
  const std::string again = dir.Read("s.script");
  EXPECT_TRUE(again.starts_with(text.substr(0, text.find("[EncodedFile-F-a.txt]")))) << again;
  EXPECT_EQ(IniModel::Parse(again).sections().size(), IniModel::Parse(text).sections().size());
  ASSERT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "a.txt", dir.Path("out"))));
  EXPECT_EQ(dir.Read("out/a.txt"), "alpha, longer now");
}

TEST(EmbeddedFilesTest, EmbeddingAgainReplacesTheSectionCompletely) {
  TempDir dir;
  const std::string script = dir.Write(
      "s.script",
      "[EncodedFile-F-a.bin]\r\nlines=0\r\n0=old\r\n[F]\r\nfirst=1,2\r\na.bin=1,1\r\nlast=3,4\r\n"
      "[EncodedFile-F-a.bin]\r\n0=older\r\n99=stale\r\n");
  EXPECT_TRUE(Ok(EmbedFile(dir.Write("src/a.bin", RandomBytes(20000)), script, "F")));
  EXPECT_TRUE(Ok(EmbedFile(dir.Write("src2/a.bin", "small now"), script, "F")));
  const IniModel m = IniModel::Load(script);
  ASSERT_EQ(m.sections().size(), 2u);
  EXPECT_EQ(m.sections()[0].name, "F");
  EXPECT_EQ(KeysOf(m.sections()[0]), (std::vector<std::string>{"first", "a.bin", "last"}));
  EXPECT_EQ(KeysOf(m.sections()[1]), (std::vector<std::string>{"lines", "0"}));
  EXPECT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "a.bin", dir.Path("out"))));
  EXPECT_EQ(dir.Read("out/a.bin"), "small now");
}

TEST(EmbeddedFilesTest, ReadingRules) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/a.txt", "some content"), script, "F")));
  IniModel m = IniModel::Load(script);
  const std::string line = m.ReadString("EncodedFile-F-a.txt", "0");
  ASSERT_LT(line.size(), 4090u);

  // Without "lines" the section is one line, key "0"; a missing key is an
  // empty line; "=" padding from other encoders decodes the same.
  std::string padded = line + std::string((4 - line.size() % 4) % 4, '=');
  ASSERT_NE(padded, line);
  const std::string variants[] = {
      "[EncodedFile-F-a.txt]\r\n0=" + line + "\r\n",
      "[EncodedFile-F-a.txt]\r\nlines=2\r\n0=" + line.substr(0, 8) + "\r\n2=" + line.substr(8) +
          "\r\n",
      "[EncodedFile-F-a.txt]\r\nlines=0\r\n0=" + padded + "\r\n",
      // The first of two equal keys counts; a huge "lines" reads what is there.
      "[EncodedFile-F-a.txt]\r\nlines=2147483647\r\n1=" + line.substr(8) +
          "\r\n0=" + line.substr(0, 8) + "\r\n1=QUJD\r\n01=QUJD\r\n",
  };
  for (const auto& v : variants) {
    const std::string s = dir.Write("v.script", v);
    fs::remove_all(dir.Path("out"));
    EXPECT_TRUE(Ok(ExtractEmbeddedFile(s, "F", "a.txt", dir.Path("out")))) << v;
    EXPECT_EQ(dir.Read("out/a.txt"), "some content") << v;
  }

  // A changed character fails the archive CRC.
  std::string changed = line;
  changed[10] = changed[10] == 'A' ? 'B' : 'A';
  const std::string bad = dir.Write("bad.script", "[EncodedFile-F-a.txt]\r\n0=" + changed + "\r\n");
  EXPECT_EQ(FailureText(ExtractEmbeddedFile(bad, "F", "a.txt", dir.Path("bad"))),
            "The archive appears to be corrupted");
  EXPECT_FALSE(dir.Exists("bad"));

  EXPECT_FALSE(Ok(ExtractEmbeddedFile("", "F", "a.txt", dir.Path("x"))));
  EXPECT_FALSE(Ok(ExtractEmbeddedFile(script, "F", "b.txt", dir.Path("x"))));
  EXPECT_FALSE(Ok(ExtractEmbeddedFile(dir.Path("none.script"), "F", "a.txt", dir.Path("x"))));
  EXPECT_FALSE(dir.Exists("x"));
}

// A folder extraction that extracts nothing says why, for its log line.
TEST(EmbeddedFilesTest, FolderExtractionThatDoesNothingSaysWhy) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[Listed]\r\nghost.txt=1\r\n\r\n[Empty]\r\n");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/a.txt", "A"), script, "F")));
  fs::create_directory(dir.Path("out"));
  dir.Write("file", "");
  platform::PosixFileSystem files;
  const auto why = [&](const std::string& from, const std::string& folder, const std::string& to) {
    std::string reason = "(none)";
    const archive::ArchiveResult<bool> r =
        ExtractEmbeddedFolder(files, from, folder, to, false, {}, {}, &reason);
    EXPECT_TRUE(r.status.ok());
    return r.value ? "extracted" : reason;
  };
  EXPECT_EQ(why("", "F", dir.Path("out")), "no script file is named");
  EXPECT_EQ(why(script, "F", dir.Path("missing")),
            "the destination folder \"" + dir.Path("missing") + "\" does not exist");
  EXPECT_EQ(why(script, "F", dir.Path("file")),
            "the destination folder \"" + dir.Path("file") + "\" is not a folder");
  EXPECT_EQ(why(dir.Path("none.script"), "F", dir.Path("out")),
            "the script file \"" + dir.Path("none.script") + "\" does not exist");
  EXPECT_EQ(why(script, "G", dir.Path("out")), "the script has no folder index [G]");
  EXPECT_EQ(why(script, "Empty", dir.Path("out")), "the folder index [Empty] lists no files");
  EXPECT_EQ(why(script, "Listed", dir.Path("out")),
            "the listed file \"ghost.txt\" has no embedded text (section "
            "[EncodedFile-Listed-ghost.txt])");
  // A success leaves no reason.
  EXPECT_EQ(why(script, "F", dir.Path("out")), "extracted");
  std::string reason = "stale";
  ASSERT_TRUE(
      Ok(ExtractEmbeddedFolder(files, script, "F", dir.Path("out"), false, {}, {}, &reason)));
  EXPECT_EQ(reason, "");
}

TEST(EmbeddedFilesTest, FolderExtraction) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/a.txt", "A"), script, "F")));
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/b.txt", "B"), script, "F")));
  EXPECT_FALSE(Ok(ExtractEmbeddedFolder(script, "F", dir.Path("missing"), false)));
  EXPECT_FALSE(dir.Exists("missing"));
  EXPECT_FALSE(Ok(ExtractEmbeddedFolder(script, "G", dir.path(), false)));

  fs::create_directory(dir.Path("out"));
  dir.Write("out/a.txt", "kept");
  EXPECT_TRUE(Ok(ExtractEmbeddedFolder(script, "F", dir.Path("out"), true)));
  EXPECT_EQ(dir.Read("out/a.txt"), "kept");
  EXPECT_EQ(dir.Read("out/b.txt"), "B");
  EXPECT_TRUE(Ok(ExtractEmbeddedFolder(script, "F", dir.Path("out"), false)));
  EXPECT_EQ(dir.Read("out/a.txt"), "A");
  // A name with blanks at its ends: the index's key loses them.
  const std::string blank = dir.Write("b.script", "");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/ é b .txt ", "blank"), blank, "F G")));
  fs::create_directory(dir.Path("blank"));
  EXPECT_TRUE(Ok(ExtractEmbeddedFolder(blank, "F G", dir.Path("blank"), false)));
  EXPECT_EQ(dir.Read("blank/ é b .txt "), "blank");

  // A listed file without its section stops there; files before it stay.
  EXPECT_TRUE(DeleteEmbeddedFile(script, "F", "a.txt"));
  IniModel m = IniModel::Load(script);
  m.WriteKey("F", "a.txt", "1,1");
  m.WriteKey("F", "c.txt", "1,1");
  m.Save(script);
  fs::create_directory(dir.Path("out2"));
  EXPECT_FALSE(Ok(ExtractEmbeddedFolder(script, "F", dir.Path("out2"), false)));
  EXPECT_EQ(dir.Read("out2/b.txt"), "B");
  EXPECT_FALSE(dir.Exists("out2/a.txt"));
}

TEST(EmbeddedFilesTest, DeleteRemovesKeyAndSectionOnly) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "[EncodedFolders]\r\nF\r\n");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/a,b.txt", "A"), script, "F")));
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/c.txt", "C"), script, "F")));
  EXPECT_TRUE(DeleteEmbeddedFile(script, "F", "a#$cb.txt"));
  const IniModel m = IniModel::Load(script);
  EXPECT_EQ(KeysOf(SectionOf(m, "F")), std::vector<std::string>{"c.txt"});
  EXPECT_EQ(m.FindSection("EncodedFile-F-a,b.txt"), -1);
  EXPECT_TRUE(m.SectionExists("EncodedFile-F-c.txt"));
  EXPECT_TRUE(m.SectionExists("EncodedFolders"));
  EXPECT_FALSE(DeleteEmbeddedFile(dir.Path("none.script"), "F", "c.txt"));
  EXPECT_FALSE(Ok(EmbedFile(dir.Path("src/none.txt"), script, "F")));
  EXPECT_FALSE(Ok(EmbedFile(dir.Path("src/c.txt"), dir.Path("none.script"), "F")));
}

TEST(EmbeddedFilesTest, ScratchFilesAreGoneAfterEveryOperation) {
  TempDir dir;
  TempDir temp;
  ScopedTempDir scoped(temp.path());
  const std::string script = dir.Write("s.script", "");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/a.txt", "A"), script, "F")));
  ASSERT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "a.txt", dir.Path("out"))));
  const std::string bad = dir.Write("bad.script", "[EncodedFile-F-a.txt]\r\n0=QUJD\r\n");
  EXPECT_NE(FailureText(ExtractEmbeddedFile(bad, "F", "a.txt", dir.Path("out"))), "");
  EXPECT_TRUE(fs::is_empty(temp.path()));
  // Archives above 16 MiB are decoded into a scratch file.
  const std::string big = RandomBytes(17u << 20);
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/big.bin", big), script, "F")));
  ASSERT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "big.bin", dir.Path("out"))));
  EXPECT_TRUE(dir.Read("out/big.bin") == big);
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

class FakeLauncher : public platform::ProcessLauncher {
 public:
  platform::ProcessOutcome Run(const platform::ProcessRequest& request, bool wait) override {
    requests.push_back(request);
    waited = wait;
    seen_content = testing::ReadFileText(request.file);
    seen_executable =
        (fs::status(request.file).permissions() & fs::perms::owner_exec) != fs::perms::none;
    platform::ProcessOutcome o;
    o.started = start;
    return o;
  }
  std::vector<platform::ProcessRequest> requests;
  bool waited = false;
  bool start = true;
  std::string seen_content;
  bool seen_executable = false;
};

TEST(EmbeddedFilesTest, RunExtractsStartsWaitsAndDeletes) {
  TempDir dir;
  const std::string script = dir.Write("s.script", "");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/tool.sh", "#!/bin/sh\necho hi\n"), script, "F")));
  FakeLauncher launcher;
  EXPECT_EQ(Ok(RunEmbeddedFile(script, "F", "tool.sh", &launcher)), RunOutcome::kRan);
  ASSERT_EQ(launcher.requests.size(), 1u);
  const auto& r = launcher.requests[0];
  EXPECT_EQ(r.verb, "open");
  EXPECT_EQ(r.parameters, "");
  EXPECT_TRUE(launcher.waited);
  EXPECT_EQ(launcher.seen_content, "#!/bin/sh\necho hi\n");
  EXPECT_TRUE(launcher.seen_executable);
  EXPECT_EQ(fs::path(r.file).filename(), "tool.sh");
  EXPECT_FALSE(fs::exists(fs::path(r.file).parent_path()));

  launcher.start = false;
  EXPECT_EQ(Ok(RunEmbeddedFile(script, "F", "tool.sh", &launcher)), RunOutcome::kNotStarted);
  EXPECT_EQ(Ok(RunEmbeddedFile(script, "F", "tool.sh", nullptr)), RunOutcome::kNotStarted);
  EXPECT_EQ(Ok(RunEmbeddedFile(script, "F", "other", &launcher)), RunOutcome::kNotExtracted);
  EXPECT_EQ(Ok(RunEmbeddedFile(script, "F", "../tool.sh", &launcher)), RunOutcome::kNotExtracted);
  EXPECT_EQ(launcher.requests.size(), 2u);
}

// A script cut short (a copy that stopped, a truncated download) says so
// instead of blaming the archive format.
TEST(EmbeddedFilesTest, TruncatedTextSaysSo) {
  TempDir dir;
  const std::string source = dir.Write("big.bin", RandomBytes(20000));
  const std::string script = dir.Write("a.script", "");
  ASSERT_TRUE(Ok(EmbedFile(source, script, "F")));
  const std::string whole = dir.Read("a.script");
  const std::string section = "[EncodedFile-F-big.bin]";
  const size_t start = whole.find(section);
  ASSERT_NE(start, std::string::npos);
  const size_t count_at = whole.find("lines=", start) + 6;
  const std::string last = whole.substr(count_at, whole.find('\r', count_at) - count_at);
  ASSERT_GE(std::stoi(last), 2) << whole.substr(start, 200);
  const size_t last_line = whole.find("\r\n" + last + "=", start);
  ASSERT_NE(last_line, std::string::npos) << whole.substr(start, 200);
  auto error_of = [&](const std::string& text) {
    dir.Write("cut.script", text);
    const std::string failure =
        FailureText(ExtractEmbeddedFile(dir.Path("cut.script"), "F", "big.bin", dir.Path("out")));
    return failure.empty() ? std::string("no error") : failure;
  };
  fs::create_directories(dir.Path("out"));
  // Whole lines missing at the end.
  EXPECT_EQ(error_of(whole.substr(0, last_line + 2)),
            "The embedded text of \"EncodedFile-F-big.bin\" is truncated: it has " + last +
                " of its " + std::to_string(std::stoi(last) + 1) + " lines");
  // The last line cut in the middle, the folder index kept: its sizes tell
  // how much is missing.
  const std::string cut = whole.substr(0, last_line + 2 + 600);
  const size_t index = whole.find("\r\n[F]\r\n");
  ASSERT_NE(index, std::string::npos);
  const std::string with_index = cut + "\r\n" + whole.substr(index + 2);
  EXPECT_NE(error_of(with_index).find("\" is truncated: "), std::string::npos)
      << error_of(with_index);
  EXPECT_NE(error_of(with_index).find(" bytes"), std::string::npos) << error_of(with_index);
  EXPECT_FALSE(dir.Exists("out/big.bin"));
}

// A text too large to be held streams; cut short or damaged, it leaves
// nothing behind and fails with the same texts as a small one.
TEST(EmbeddedFilesTest, StreamedTextsCutShortOrDamagedLeaveNothing) {
  TempDir dir;
  std::mt19937 gen(8);
  std::string data(20u << 20, '\0');
  for (auto& c : data) c = static_cast<char>('a' + gen() % 16);  // half of it compresses away
  const std::string script = dir.Write("s.script", "");
  ASSERT_TRUE(Ok(EmbedFile(dir.Write("src/d.bin", data), script, "F")));
  const std::string whole = dir.Read("s.script");
  ASSERT_TRUE(Ok(ExtractEmbeddedFile(script, "F", "d.bin", dir.Path("out/whole"))));
  EXPECT_TRUE(dir.Read("out/whole/d.bin") == data);

  const size_t count_at = whole.find("lines=") + 6;
  const std::string last = whole.substr(count_at, whole.find('\r', count_at) - count_at);
  const size_t cut = whole.find("\r\n" + std::to_string(std::stoi(last) - 5) + "=");
  ASSERT_NE(cut, std::string::npos);
  dir.Write("cut.script", whole.substr(0, cut + 2));
  EXPECT_EQ(
      FailureText(ExtractEmbeddedFile(dir.Path("cut.script"), "F", "d.bin", dir.Path("out/cut"))),
      "The embedded text of \"EncodedFile-F-d.bin\" is truncated: it has " +
          std::to_string(std::stoi(last) - 5) + " of its " + std::to_string(std::stoi(last) + 1) +
          " lines");
  EXPECT_FALSE(dir.Exists("out/cut"));

  std::string damaged = whole;
  const size_t at = whole.size() / 2;
  damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
  dir.Write("bad.script", damaged);
  EXPECT_EQ(
      FailureText(ExtractEmbeddedFile(dir.Path("bad.script"), "F", "d.bin", dir.Path("out/bad"))),
      "The archive appears to be corrupted");
  EXPECT_FALSE(dir.Exists("out/bad"));
}

// The names in a folder, sorted.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The sections of a script's text, each from its header to the next one.
std::vector<std::string> SectionsOf(const std::string& text) {
  std::vector<std::string> sections;
  for (size_t at = 0; at < text.size();) {
    const size_t next = text.find("\r\n[", at);
    const size_t end = next == std::string::npos ? text.size() : next + 2;
    sections.push_back(text.substr(at, end - at));
    at = end;
  }
  return sections;
}

// A folder of three files whose middle one is too large to be held: it
// streams into place. Damaged or stopped there, it leaves the first file
// written and neither the second (nor a temporary of it) nor the third.
TEST(EmbeddedFilesTest, FolderExtractionStreamsEachFileAndLeavesNoPart) {
  TempDir dir;
  std::mt19937 gen(3);
  std::string big(20u << 20, '\0');
  for (auto& c : big) c = static_cast<char>('a' + gen() % 16);
  const std::string script = dir.Write("s.script", "[main]\r\ntitle=t\r\n");
  ASSERT_EQ(Ok(EmbedFiles({dir.Write("src/a.txt", "alpha"), dir.Write("src/b.bin", big),
                           dir.Write("src/c.txt", "gamma")},
                          script, "F", false)),
            std::vector<bool>(3, true));
  const std::string whole = dir.Read("s.script");
  const std::string recorded = IniModel::Load(script).ReadString("F", "b.bin", "");
  ASSERT_GT(std::stoull(recorded.substr(0, recorded.find(','))), 8u << 20);

  const auto extract = [&](const std::string& text, const std::string& out,
                           const std::function<bool()>& stop = {}) {
    dir.Write("x.script", text);
    fs::create_directories(dir.Path(out));
    return ExtractEmbeddedFolder(dir.Path("x.script"), "F", dir.Path(out), false, {}, stop);
  };
  EXPECT_TRUE(Ok(extract(whole, "out")));
  EXPECT_EQ(dir.Read("out/a.txt"), "alpha");
  EXPECT_TRUE(dir.Read("out/b.bin") == big);
  EXPECT_EQ(dir.Read("out/c.txt"), "gamma");

  // The index last and the sections in reverse: the same files.
  std::map<std::string, std::string> sections;
  for (const std::string& section : SectionsOf(whole)) {
    sections[section.substr(0, section.find(']') + 1)] = section;
  }
  ASSERT_EQ(sections.size(), 5u);
  const std::string moved = sections["[main]"] + sections["[EncodedFile-F-c.txt]"] +
                            sections["[EncodedFile-F-b.bin]"] + sections["[EncodedFile-F-a.txt]"] +
                            sections["[F]"];
  EXPECT_TRUE(Ok(extract(moved, "moved")));
  EXPECT_EQ(NamesIn(dir.Path("moved")), (std::vector<std::string>{"a.txt", "b.bin", "c.txt"}));
  EXPECT_TRUE(dir.Read("moved/b.bin") == big);

  std::string damaged = whole;
  const size_t at = whole.find("[EncodedFile-F-b.bin]") + (14u << 20);
  damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
  EXPECT_EQ(FailureText(extract(damaged, "bad")), "The archive appears to be corrupted");
  EXPECT_EQ(NamesIn(dir.Path("bad")), std::vector<std::string>{"a.txt"});

  // Stopped in the middle of the second file (asked for each MiB of it).
  int asked = 0;
  const ArchiveResult<bool> stopped = extract(
      whole, "stopped", [&] { return fs::exists(dir.Path("stopped/a.txt")) && ++asked > 4; });
  EXPECT_FALSE(stopped.value);
  EXPECT_TRUE(stopped.status.ok());
  EXPECT_EQ(asked, 5);
  EXPECT_EQ(NamesIn(dir.Path("stopped")), std::vector<std::string>{"a.txt"});

  // The check reads the large text through as extraction does.
  const IniModel good = IniModel::Load(script);
  EXPECT_TRUE(VerifyEmbeddedSection(good, good.FindSection("EncodedFile-F-b.bin")).ok());
  dir.Write("bad.script", damaged);
  const IniModel bad = IniModel::Load(dir.Path("bad.script"));
  EXPECT_EQ(VerifyEmbeddedSection(bad, bad.FindSection("EncodedFile-F-b.bin")).message(),
            "The archive appears to be corrupted");
  // ... and reading the script itself, one pass for all its texts.
  std::vector<std::string> found;
  VerifyEmbeddedTexts(platform::ThreadFileSystem(), dir.Path("bad.script"),
                      [&found](const EmbeddedTextCheck& text) {
                        found.push_back(text.section + ":" + std::to_string(text.line) + ":" +
                                        text.status.message());
                      });
  const auto line_of = [&damaged](const std::string& header) {
    const size_t at = damaged.find(header);
    return std::to_string(std::count(damaged.begin(), damaged.begin() + at, '\n') + 2);
  };
  EXPECT_EQ(found, (std::vector<std::string>{
                       "EncodedFile-F-a.txt:" + line_of("[EncodedFile-F-a.txt]") + ":",
                       "EncodedFile-F-b.bin:" + line_of("[EncodedFile-F-b.bin]") +
                           ":The archive appears to be corrupted",
                       "EncodedFile-F-c.txt:" + line_of("[EncodedFile-F-c.txt]") + ":"}));
}

// The outcomes the archive layer reports on a file system that fails: the
// texts are the ones a run ends with.
TEST(EmbeddedFilesTest, FailuresOfTheDiskAreReportedWithTheirTexts) {
  platform::MemoryFileSystem files;
  std::string log;
  for (int i = 0; log.size() < (2u << 20); ++i) log += "entry " + std::to_string(i) + "\r\n";
  files.AddFile("/src/log.txt", log);
  files.AddFile("/s.script", "[main]\r\n");
  ASSERT_TRUE(Ok(EmbedFile(files, "/src/log.txt", "/s.script", "F")));
  const std::string script = files.Content("/s.script");

  files.faults.space = 1000;
  EXPECT_EQ(FailureText(ExtractEmbeddedFile(files, "/s.script", "F", "log.txt", "/out")),
            "Cannot create file \"/out\\log.txt\". No space left on device");
  EXPECT_EQ(files.Names("/out"), std::vector<std::string>{});
  // Embedding again fails the same way and leaves the script as it was.
  files.AddFile("/src/log.txt", log.substr(0, 500000));
  const ArchiveResult<bool> embedded = EmbedFile(files, "/src/log.txt", "/s.script", "F");
  EXPECT_FALSE(embedded.value);
  EXPECT_EQ(embedded.status.message(), "Cannot create file \"/s.script\". No space left on device");
  EXPECT_TRUE(files.Content("/s.script") == script);
  files.faults.space = -1;
  EXPECT_TRUE(Ok(ExtractEmbeddedFile(files, "/s.script", "F", "log.txt", "/out")));
  EXPECT_TRUE(files.Content("/out/log.txt") == log);
}

}  // namespace
}  // namespace pelvar::archive
