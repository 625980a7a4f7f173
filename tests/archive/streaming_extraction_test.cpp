#include "archive/streaming_extraction.h"

#include <gtest/gtest.h>

#include <random>

#include "archive/pack_archive.h"
#include "platform/memory_file_system.h"

namespace pelvar::archive {
namespace {

using Outcome = StreamingExtraction::Outcome;

std::string LogText(size_t n) {
  std::string s;
  std::mt19937 gen(11);
  while (s.size() < n) s += "entry " + std::to_string(gen() % 100000) + " of the log: well\r\n";
  s.resize(n);
  return s;
}

std::string RandomBytes(size_t n) {
  std::mt19937 gen(5);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// The archive embedding makes of the file at `path`.
std::string ArchiveOf(platform::MemoryFileSystem& files, const std::string& path) {
  std::string bytes;
  PackArchive a;
  a.set_files(&files);
  a.set_memory_output(&bytes);
  EXPECT_TRUE(a.CreateArchive(path).ok());
  EXPECT_TRUE(a.AddFile(path).ok());
  return bytes;
}

// Feeds `bytes` in uneven pieces (the zlib header split) and finishes
// (unless not asked to: kDone then).
Outcome Feed(StreamingExtraction& x, std::string_view bytes, ArchiveStatus& status,
             bool finish = true) {
  size_t at = 0;
  for (size_t piece : {size_t{1}, size_t{2}, size_t{70000}, size_t{1} << 20}) {
    if (at >= bytes.size()) break;
    x.Add(bytes.substr(at, piece));
    at += piece;
  }
  while (at < bytes.size()) {
    x.Add(bytes.substr(at, 333333));
    at += 333333;
  }
  return finish ? x.Finish(status) : Outcome::kDone;
}

class StreamingExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.AddFile("/src/log.txt", content);
    archive = ArchiveOf(files, "/src/log.txt");
  }

  Outcome Extract(std::string_view bytes, const std::string& destination,
                  const std::string& name = "log.txt", std::function<bool()> stop = {},
                  uint64_t held = 0) {
    StreamingExtraction x(files, destination, name, std::move(stop), held);
    return Feed(x, bytes, status);
  }

  platform::MemoryFileSystem files;
  const std::string content = LogText(3u << 20);
  std::string archive;
  ArchiveStatus status;
};

TEST_F(StreamingExtractionTest, WritesTheFileIntoFoldersItMakes) {
  EXPECT_EQ(Extract(archive, "/out\\\\deep\\"), Outcome::kDone);
  EXPECT_TRUE(status.ok());
  EXPECT_TRUE(files.Content("/out/deep/log.txt") == content);
  EXPECT_EQ(files.Names("/out/deep"), std::vector<std::string>{"log.txt"});
  // Over a file that is there.
  files.AddFile("/out/deep/log.txt", "old");
  EXPECT_EQ(Extract(archive, "/out/deep"), Outcome::kDone);
  EXPECT_TRUE(files.Content("/out/deep/log.txt") == content);
}

// Whatever it cannot finish leaves nothing: no file, no temporary, no
// folder it made; an existing file stays as it was.
TEST_F(StreamingExtractionTest, GivesUpLeavingNothingBehind) {
  files.AddFolder("/out");
  files.AddFile("/out/log.txt", "old");
  std::string damaged = archive;
  damaged[damaged.size() / 2] ^= 0x20;
  std::string bad_crc = archive;
  bad_crc[bad_crc.size() - 36] ^= 1;  // the archive CRC in the trailer
  const struct {
    const char* what;
    std::string bytes;
    std::string name;
  } cases[] = {
      {"damaged data", damaged, "log.txt"},
      {"wrong archive CRC", bad_crc, "log.txt"},
      {"cut short", archive.substr(0, archive.size() - 100), "log.txt"},
      {"only the header", archive.substr(0, 2), "log.txt"},
      {"another name", archive, "LOG.txt"},
      {"not a plain name", archive, "../log.txt"},
      {"nothing", "", "log.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Extract(c.bytes, "/out/new/deeper", c.name), Outcome::kGaveUp) << c.what;
    EXPECT_EQ(Extract(c.bytes, "/out", c.name), Outcome::kGaveUp) << c.what;
    EXPECT_EQ(files.Names("/out"), std::vector<std::string>{"log.txt"}) << c.what;
    EXPECT_EQ(files.Content("/out/log.txt"), "old") << c.what;
  }
  // A stored file streams as well (smaller than the tail kept back, and
  // larger); damaged or cut short, it leaves nothing either.
  for (const size_t size : {size_t{5000}, size_t{300000}}) {
    const std::string bytes = RandomBytes(size);
    files.AddFile("/src/random.bin", bytes);
    const std::string stored = ArchiveOf(files, "/src/random.bin");
    std::string damaged_stored = stored;
    damaged_stored[size / 2] ^= 1;
    EXPECT_EQ(Extract(damaged_stored, "/out/new", "random.bin"), Outcome::kGaveUp) << size;
    EXPECT_EQ(Extract(stored.substr(0, stored.size() - 1), "/out", "random.bin"), Outcome::kGaveUp)
        << size;
    EXPECT_EQ(files.Names("/out"), std::vector<std::string>{"log.txt"});
    EXPECT_EQ(Extract(stored, "/stored", "random.bin"), Outcome::kDone) << size;
    EXPECT_TRUE(files.Content("/stored/random.bin") == bytes) << size;
  }
}

// A small archive is held and extracted whole at its end, stored entries
// too; one that outgrows the memory allowed streams.
TEST_F(StreamingExtractionTest, HoldsSmallArchives) {
  files.AddFile("/src/random.bin", RandomBytes(5000));
  const std::string stored = ArchiveOf(files, "/src/random.bin");
  EXPECT_EQ(Extract(stored, "/held", "random.bin", {}, 1 << 20), Outcome::kDone);
  EXPECT_EQ(files.Content("/held/random.bin"), files.Content("/src/random.bin"));
  EXPECT_EQ(Extract(archive, "/held", "log.txt", {}, archive.size()), Outcome::kDone);
  EXPECT_TRUE(files.Content("/held/log.txt") == content);
  EXPECT_EQ(Extract(archive, "/streamed", "log.txt", {}, archive.size() - 1), Outcome::kDone);
  EXPECT_TRUE(files.Content("/streamed/log.txt") == content);
  std::string damaged = archive;
  damaged[damaged.size() / 2] ^= 0x20;
  EXPECT_EQ(Extract(damaged, "/bad", "log.txt", {}, 1 << 30), Outcome::kGaveUp);
  EXPECT_FALSE(files.Status("/bad").exists());
  files.faults.space = 1000;
  EXPECT_EQ(Extract(archive, "/full", "log.txt", {}, 1 << 30), Outcome::kFailed);
  EXPECT_EQ(status.message(), "Cannot create file \"/full\\log.txt\". No space left on device");
}

// Checked, the file is only put in place when committed; dropped unless.
// Built to check only, it writes nothing at all.
TEST_F(StreamingExtractionTest, ChecksBeforeCommittingOrOnlyChecks) {
  {
    StreamingExtraction x(files, "/out/new", "log.txt", {}, 0);
    EXPECT_EQ(Feed(x, archive, status, /*finish=*/false), Outcome::kDone);
    EXPECT_EQ(x.Check(status), Outcome::kDone);
    EXPECT_FALSE(files.Status("/out/new/log.txt").exists());
  }
  EXPECT_FALSE(files.Status("/out").exists());
  {
    StreamingExtraction x(files, "/out", "log.txt", {}, 0);
    Feed(x, archive, status, /*finish=*/false);
    EXPECT_EQ(x.Check(status), Outcome::kDone);
    EXPECT_EQ(x.Commit(status), Outcome::kDone);
    EXPECT_TRUE(files.Content("/out/log.txt") == content);
  }
  std::string damaged = archive;
  damaged[damaged.size() / 2] ^= 0x20;
  for (const uint64_t held : {uint64_t{0}, uint64_t{1} << 30}) {
    StreamingExtraction good(files, "archive", {}, held);
    EXPECT_EQ(Feed(good, archive, status), Outcome::kDone) << held;
    StreamingExtraction bad(files, "archive", {}, held);
    EXPECT_EQ(Feed(bad, damaged, status), Outcome::kGaveUp) << held;
  }
  EXPECT_EQ(files.Names("/out"), std::vector<std::string>{"log.txt"});
}

TEST_F(StreamingExtractionTest, StopsAtOnce) {
  int asked = 0;
  EXPECT_EQ(Extract(archive, "/out/new", "log.txt", [&asked] { return ++asked > 2; }),
            Outcome::kStopped);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(files.Names("/out"), std::vector<std::string>{});
  EXPECT_FALSE(files.Status("/out").exists());
}

TEST_F(StreamingExtractionTest, AFullDiskGivesUpAndAFailedRenameFails) {
  files.AddFolder("/out");
  files.faults.space = 100000;
  EXPECT_EQ(Extract(archive, "/out"), Outcome::kGaveUp);
  EXPECT_EQ(files.Names("/out"), std::vector<std::string>{});
  files.faults.space = -1;
  files.faults.commit_error = EACCES;
  EXPECT_EQ(Extract(archive, "/out"), Outcome::kFailed);
  EXPECT_EQ(status.message(), "Cannot create file \"/out\\log.txt\". Permission denied");
  EXPECT_EQ(files.Names("/out"), std::vector<std::string>{});
}

}  // namespace
}  // namespace pelvar::archive
