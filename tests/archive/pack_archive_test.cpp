#include "archive/pack_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

#include "platform/memory_file_system.h"
#include "support/test_support.h"

namespace pelvar::archive {
namespace {

using testing::TempDir;

std::string RandomBytes(size_t n, unsigned seed = 7) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// Text that compresses well but not trivially.
std::string LogText(size_t n) {
  std::string s;
  std::mt19937 gen(3);
  while (s.size() < n)
    s += "line " + std::to_string(gen() % 100000) + " of the log: all is well\r\n";
  s.resize(n);
  return s;
}

uint32_t Crc(std::string_view s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Builds archive bytes from records by hand: data, registry (raw or one
// zlib stream), trailer with the right CRC.
std::string BuildArchive(const std::string& data, const std::vector<ArchiveEntry>& entries,
                         bool compress_registry = true) {
  std::string records;
  for (const auto& e : entries) records += EncodeRecord(e);
  std::string registry = records;
  if (compress_registry) {
    uLongf len = compressBound(static_cast<uLong>(records.size()));
    registry.assign(len, '\0');
    compress(reinterpret_cast<Bytef*>(registry.data()), &len,
             reinterpret_cast<const Bytef*>(records.data()), static_cast<uLong>(records.size()));
    registry.resize(len);
  }
  ArchiveTrailer t;
  t.entry_count = static_cast<int32_t>(entries.size());
  t.registry_size = static_cast<int32_t>(registry.size());
  t.data_size = static_cast<int64_t>(data.size());
  t.registry_compressed = compress_registry;
  t.archive_crc = Crc(data + registry);
  return data + registry + EncodeTrailer(t);
}

ArchiveEntry StoredEntry(const std::string& name, const std::string& content, int64_t offset = 0) {
  ArchiveEntry e;
  e.file_name = name;
  e.size = static_cast<int64_t>(content.size());
  e.offset = offset;
  e.crc = Crc(content);
  e.method = static_cast<uint8_t>(StorageMethod::kStored);
  return e;
}

std::string Pack(const TempDir& dir, const std::string& name, const std::string& content,
                 const std::string& archive = "a.arc") {
  const std::string source = dir.Write("src/" + name, content);
  PackArchive a;
  EXPECT_TRUE(a.CreateArchive(dir.Path(archive)).ok());
  EXPECT_TRUE(a.AddFile(source).ok());
  a.CloseArchive();
  return dir.Read(archive);
}

#define ASSERT_OK(status) ASSERT_EQ(ErrorOf(status), "(no error)")
#define EXPECT_OK(status) EXPECT_EQ(ErrorOf(status), "(no error)")

// The failure's message, as the run would show it.
std::string ErrorOf(const ArchiveStatus& status) {
  return status.ok() ? "(no error)" : status.message();
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    names.push_back(std::filesystem::relative(e.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PackArchiveTest, WritesTheVersionTwoLayout) {
  TempDir dir;
  const std::string content = LogText(5000);
  const std::string bytes = Pack(dir, "notes.txt", content);
  const ArchiveTrailer t = DecodeTrailer(std::string_view(bytes).substr(bytes.size() - 36));
  EXPECT_EQ(t.version, 2u);
  EXPECT_EQ(t.entry_count, 1);
  EXPECT_TRUE(t.registry_compressed);
  EXPECT_EQ(static_cast<size_t>(t.data_size + t.registry_size) + 36, bytes.size());
  EXPECT_EQ(t.archive_crc, Crc(std::string_view(bytes).substr(0, bytes.size() - 36)));
  EXPECT_EQ(bytes.substr(bytes.size() - 11), std::string(11, '\0'));

  // The registry is one zlib stream of one 550-byte record.
  std::string record(550, '\0');
  uLongf len = 550;
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(record.data()), &len,
                       reinterpret_cast<const Bytef*>(bytes.data() + t.data_size),
                       static_cast<uLong>(t.registry_size)),
            Z_OK);
  EXPECT_EQ(len, 550u);
  EXPECT_EQ(record.substr(0, 10), std::string("\x09notes.txt"));
  EXPECT_EQ(record.substr(10, 502), std::string(502, '\0'));
  const ArchiveEntry e = DecodeRecord(record, 2);
  EXPECT_EQ(e.size, 5000);
  EXPECT_EQ(e.compressed_size, t.data_size);
  EXPECT_EQ(e.offset, 0);
  EXPECT_EQ(e.crc, Crc(content));
  EXPECT_EQ(e.method, 0);
  EXPECT_EQ(e.level, 2);

  // The data area is a zlib stream of the file.
  std::string inflated(5000, '\0');
  len = 5000;
  ASSERT_EQ(
      uncompress(reinterpret_cast<Bytef*>(inflated.data()), &len,
                 reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(t.data_size)),
      Z_OK);
  EXPECT_EQ(inflated, content);
}

TEST(PackArchiveTest, StoresWhatDoesNotShrink) {
  TempDir dir;
  const std::string noise = RandomBytes(4000);
  for (const std::string& content : {std::string(), noise}) {
    std::filesystem::remove(dir.Path("a.arc"));
    const std::string bytes = Pack(dir, "f.bin", content);
    PackArchive a;
    ASSERT_OK(a.OpenArchive(dir.Path("a.arc")));
    const ArchiveEntry& e = *a.GetEntry(0);
    EXPECT_EQ(e.method, 1);
    EXPECT_EQ(e.level, 0);
    EXPECT_EQ(e.compressed_size, 0);
    EXPECT_EQ(e.size, static_cast<int64_t>(content.size()));
    EXPECT_EQ(e.crc, content.empty() ? 0u : Crc(content));
    EXPECT_EQ(bytes.substr(0, content.size()), content);
    EXPECT_OK(a.ExtractAll(dir.Path("out")));
    EXPECT_TRUE(dir.Exists("out/f.bin"));
    EXPECT_EQ(dir.Read("out/f.bin"), content);
  }
}

TEST(PackArchiveTest, LargeFilesRoundTripThroughTheStreamedPath) {
  TempDir dir;
  // Above the in-memory limit: one compressible, one that falls back to stored.
  for (const std::string& content : {LogText(17u << 20), RandomBytes(17u << 20)}) {
    std::filesystem::remove(dir.Path("a.arc"));
    Pack(dir, "big.dat", content);
    PackArchive a;
    ASSERT_OK(a.OpenArchive(dir.Path("a.arc")));
    EXPECT_EQ(a.GetEntry(0)->method, content[0] == 'l' ? 0 : 1);
    EXPECT_OK(a.ExtractAll(dir.Path("out")));
    EXPECT_TRUE(dir.Read("out/big.dat") == content);
  }
}

TEST(PackArchiveTest, ANewArchiveWrittenToMemoryHasTheFilesBytes) {
  TempDir dir;
  for (const std::string& content : {std::string(), LogText(3000), RandomBytes(5000)}) {
    std::filesystem::remove(dir.Path("a.arc"));
    const std::string on_disk = Pack(dir, "f.bin", content);
    std::string in_memory = "left over";
    PackArchive a;
    a.set_memory_output(&in_memory);
    ASSERT_OK(a.CreateArchive(dir.Path("a.arc")));  // exists: the name only labels it
    ASSERT_OK(a.AddFile(dir.Path("src/f.bin")));
    a.CloseArchive();
    EXPECT_TRUE(in_memory == on_disk);
    PackArchive back;
    ASSERT_OK(back.OpenArchiveBytes(in_memory, "mem"));
    ASSERT_OK(back.ExtractAll(dir.Path("out")));
    EXPECT_TRUE(dir.Read("out/f.bin") == content);
  }
  // Only a new archive goes to memory.
  std::string out;
  PackArchive a;
  ASSERT_OK(a.OpenArchive(dir.Path("a.arc")));
  a.set_memory_output(&out);
  EXPECT_EQ(ErrorOf(a.AddFile(dir.Write("src/g.bin", "g"))),
            "Unable to open archive " + dir.Path("a.arc"));
}

TEST(PackArchiveTest, AddingSecondFileKeepsPrefixAndFirstEntry) {
  TempDir dir;
  const std::string first = LogText(3000);
  const std::string bytes = "PREFIX" + Pack(dir, "one.txt", first);
  testing::WriteFileText(dir.Path("p.arc"), bytes);
  PackArchive a;
  ASSERT_OK(a.OpenArchive(dir.Path("p.arc")));
  EXPECT_EQ(a.archive_start(), 6);
  EXPECT_OK(a.AddFile(dir.Write("src/two.bin", RandomBytes(100))));
  EXPECT_EQ(ErrorOf(a.AddFile(dir.Path("src/TWO.BIN"))), "TWO.BIN already exists in the archive");
  a.CloseArchive();
  EXPECT_EQ(dir.Read("p.arc").substr(0, 6), "PREFIX");
  ASSERT_OK(a.OpenArchive(dir.Path("p.arc")));
  EXPECT_EQ(a.FileCount(), 2);
  EXPECT_EQ(a.IndexOfFile("Two.Bin"), 1);
  EXPECT_EQ(a.IndexOfFile("three"), -1);
  EXPECT_EQ(a.GetEntry(2), nullptr);
  EXPECT_EQ(a.GetEntry(-1), nullptr);
  // Doubled and trailing backslashes name the same folder.
  EXPECT_OK(a.ExtractAll(dir.Path("out") + "\\\\sub\\"));
  EXPECT_EQ(FilesIn(dir.Path("out")),
            (std::vector<std::string>{"sub", "sub/one.txt", "sub/two.bin"}));
  EXPECT_EQ(dir.Read("out/sub/one.txt"), first);
}

TEST(PackArchiveTest, ReadsVersionOneArchives) {
  TempDir dir;
  const std::string content = "version one content";
  // Record: name, folder, then 32-bit sizes, offset, CRC, method, level.
  std::string record(532, '\0');
  record[0] = 5;
  record.replace(1, 5, "a.txt");
  const auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) record[at + i] = static_cast<char>(v >> (8 * i));
  };
  put32(512, static_cast<uint32_t>(content.size()));
  put32(524, Crc(content));
  record[528] = 1;
  for (bool compressed_registry : {false, true}) {
    std::string registry = record;
    if (compressed_registry) {
      uLongf len = compressBound(532);
      registry.assign(len, '\0');
      compress(reinterpret_cast<Bytef*>(registry.data()), &len,
               reinterpret_cast<const Bytef*>(record.data()), 532);
      registry.resize(len);
    }
    std::string trailer(36, '\0');
    const auto put = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) trailer[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(0, Crc(content + registry));
    put(4, 1);
    put(8, 1);
    put(12, static_cast<uint32_t>(registry.size()));
    put(16, static_cast<uint32_t>(content.size()));
    put(20, compressed_registry ? 1 : 0);
    testing::WriteFileText(dir.Path("v1.arc"), content + registry + trailer);
    PackArchive a;
    ASSERT_OK(a.OpenArchive(dir.Path("v1.arc")));
    EXPECT_TRUE(a.legacy());
    EXPECT_EQ(a.GetEntry(0)->size, static_cast<int64_t>(content.size()));
    EXPECT_OK(a.ExtractAll(dir.Path("out")));
    EXPECT_EQ(dir.Read("out/a.txt"), content);
    EXPECT_EQ(ErrorOf(a.AddFile(dir.Write("x.txt", "x"))),
              "The specified archive file was created by an older version of the archive "
              "format.\r\nPlease convert this archive before trying to modify/update it");
  }
}

TEST(PackArchiveTest, OpeningErrors) {
  TempDir dir;
  PackArchive a;
  EXPECT_TRUE(a.OpenArchive("").ok());
  EXPECT_FALSE(a.is_open());
  EXPECT_EQ(ErrorOf(a.OpenArchive(dir.Path("none.arc"))), "Archive file not found");
  EXPECT_EQ(ErrorOf(a.AddFile(dir.Path("x"))), "No archive is currently open");
  EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("x"))), "No archive is currently open");

  std::string bytes = Pack(dir, "f.txt", LogText(2000));
  EXPECT_EQ(ErrorOf(a.CreateArchive(dir.Path("a.arc"))),
            dir.Path("a.arc") + " already exists in the archive");

  std::string v3 = bytes;
  v3[v3.size() - 28] = 3;
  testing::WriteFileText(dir.Path("v3.arc"), v3);
  EXPECT_EQ(ErrorOf(a.OpenArchive(dir.Path("v3.arc"))),
            "The archive was created with a different version of the archive format (v3)");

  // One changed byte in the data area, then in the registry.
  for (size_t at : {size_t{10}, bytes.size() - 40}) {
    std::string bad = bytes;
    bad[at] ^= 1;
    testing::WriteFileText(dir.Path("bad.arc"), bad);
    EXPECT_EQ(ErrorOf(a.OpenArchive(dir.Path("bad.arc"))), "The archive appears to be corrupted");
    EXPECT_FALSE(a.is_open());
  }
  testing::WriteFileText(dir.Path("short.arc"), "tiny");
  EXPECT_EQ(ErrorOf(a.OpenArchive(dir.Path("short.arc"))), "The archive appears to be corrupted");
}

TEST(PackArchiveTest, DamagedEntryLeavesNoFileAndKeepsTheOldOne) {
  TempDir dir;
  std::string bytes = Pack(dir, "f.txt", LogText(200000));
  bytes[100] ^= 0x55;  // inside the zlib stream
  testing::WriteFileText(dir.Path("bad.arc"), bytes);
  dir.Write("out/f.txt", "old content");
  PackArchive a;
  a.set_verify_archive_crc(false);
  ASSERT_OK(a.OpenArchive(dir.Path("bad.arc")));
  EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("out"))), "The archive appears to be corrupted");
  EXPECT_EQ(FilesIn(dir.Path("out")), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(dir.Read("out/f.txt"), "old content");
}

TEST(PackArchiveTest, RefusesEntryNamesThatLeaveTheFolder) {
  TempDir dir;
  for (const std::string& name : std::vector<std::string>{
           "../evil.txt", "sub/x.txt", "sub\\x.txt", "C:x.txt", "..", "", std::string("a\0b", 3)}) {
    testing::WriteFileText(dir.Path("h.arc"), BuildArchive("data", {StoredEntry(name, "data")}));
    PackArchive a;
    ASSERT_OK(a.OpenArchive(dir.Path("h.arc")));
    EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("dest/in"))),
              "Error extracting file to " + dir.Path("dest/in"));
  }
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"h.arc"});
}

TEST(PackArchiveTest, RefusesSizesTheDataCannotHold) {
  TempDir dir;
  const std::string data = "0123456789";
  std::vector<ArchiveEntry> bad(5, StoredEntry("f.txt", data));
  bad[0].size = 11;  // beyond the data area
  bad[1].offset = 5;
  bad[2].size = -1;
  bad[3].method = 0;  // compressed, with a size no stream can give
  bad[3].compressed_size = 10;
  bad[3].size = int64_t{1} << 40;
  bad[4].method = 7;
  for (const auto& e : bad) {
    testing::WriteFileText(dir.Path("h.arc"), BuildArchive(data, {e}));
    PackArchive a;
    ASSERT_OK(a.OpenArchive(dir.Path("h.arc")));
    EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("out"))), "The archive appears to be corrupted");
  }
  EXPECT_EQ(FilesIn(dir.Path("out")), std::vector<std::string>{});

  // A registry that claims more entries than its bytes can hold.
  std::string bytes = BuildArchive(data, {StoredEntry("f.txt", data)});
  std::string lying = bytes;
  lying[lying.size() - 32] = 0x40;  // 64 entries
  ArchiveTrailer t = DecodeTrailer(std::string_view(lying).substr(lying.size() - 36));
  t.archive_crc = Crc(std::string_view(lying).substr(0, lying.size() - 36));
  lying.replace(lying.size() - 36, 36, EncodeTrailer(t));
  testing::WriteFileText(dir.Path("h.arc"), lying);
  PackArchive a;
  EXPECT_EQ(ErrorOf(a.OpenArchive(dir.Path("h.arc"))), "Error reading registry");
  t.entry_count = 1;
  t.data_size = int64_t{1} << 40;
  lying.replace(lying.size() - 36, 36, EncodeTrailer(t));
  testing::WriteFileText(dir.Path("h.arc"), lying);
  EXPECT_EQ(ErrorOf(a.OpenArchive(dir.Path("h.arc"))), "The archive appears to be corrupted");
}

TEST(PackArchiveTest, EncryptedEntriesAreRefused) {
  TempDir dir;
  ArchiveEntry e = StoredEntry("f.txt", "data");
  e.method = 3;
  testing::WriteFileText(dir.Path("h.arc"), BuildArchive("data", {e}));
  PackArchive a;
  ASSERT_OK(a.OpenArchive(dir.Path("h.arc")));
  EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("out"))), "No password given for encrypted file");
  a.set_password("secret");
  EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("out"))), "No decryption algorithm found");
}

TEST(PackArchiveTest, FileCrcIsCheckedWhenAsked) {
  TempDir dir;
  ArchiveEntry e = StoredEntry("f.txt", "data");
  e.crc ^= 1;
  testing::WriteFileText(dir.Path("h.arc"), BuildArchive("data", {e}));
  PackArchive a;
  ASSERT_OK(a.OpenArchive(dir.Path("h.arc")));
  EXPECT_OK(a.ExtractAll(dir.Path("out")));
  EXPECT_EQ(dir.Read("out/f.txt"), "data");
  a.set_verify_file_crc(true);
  EXPECT_EQ(ErrorOf(a.ExtractAll(dir.Path("out2"))), "f.txt failed CRC check");
  EXPECT_FALSE(dir.Exists("out2/f.txt"));
}

TEST(PackArchiveTest, FailedAddLeavesTheArchiveAsItWas) {
  TempDir dir;
  const std::string before = Pack(dir, "f.txt", "first");
  PackArchive a;
  ASSERT_OK(a.OpenArchive(dir.Path("a.arc")));
  EXPECT_EQ(ErrorOf(a.AddFile(dir.Path("src/missing.txt"))),
            "Unable to open archive " + dir.Path("src/missing.txt"));
  EXPECT_EQ(dir.Read("a.arc"), before);
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"a.arc", "src", "src/f.txt"}));
}

// Write failures come back as values with the text the run shows, and leave
// the archive and the destination as they were.
TEST(PackArchiveTest, AFullDiskIsReportedAndKeepsTheArchive) {
  platform::MemoryFileSystem files;
  files.AddFile("/src/one.txt", LogText(3000));
  files.AddFile("/src/two.bin", RandomBytes(5000));
  PackArchive a;
  a.set_files(&files);
  ASSERT_OK(a.CreateArchive("/a.arc"));
  ASSERT_OK(a.AddFile("/src/one.txt"));
  const std::string before = files.Content("/a.arc");
  files.faults.space = 100;
  EXPECT_EQ(ErrorOf(a.AddFile("/src/two.bin")),
            "Cannot create file \"/a.arc\". No space left on device");
  EXPECT_EQ(files.Content("/a.arc"), before);
  EXPECT_EQ(a.FileCount(), 1);
  EXPECT_EQ(ErrorOf(a.ExtractAll("/out")),
            "Cannot create file \"/out\\one.txt\". No space left on device");
  EXPECT_EQ(files.Names("/out"), std::vector<std::string>{});
  files.faults.space = -1;
  ASSERT_OK(a.AddFile("/src/two.bin"));
  ASSERT_OK(a.ExtractAll("/out"));
  EXPECT_EQ(files.Content("/out/two.bin"), files.Content("/src/two.bin"));
}

}  // namespace
}  // namespace pelvar::archive
