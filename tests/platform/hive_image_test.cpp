// Hives changed in place by long random runs of writes, compared after every
// commit with what an independent reader (hivex) finds in the file: the
// keys and values written, and the rest of the hive untouched.
#include "platform/hive_image.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <hivex.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "platform/hive_file.h"
#include "platform/registry_text.h"
#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

struct ModelKey {
  std::string name;
  std::map<std::string, RegistryValue> values;  // by folded name
  std::map<std::string, ModelKey> children;     // by folded name
};

// hivex's view of a key: its name, values and subkeys, as text.
void Dump(hive_h* h, hive_node_h node, const std::string& indent, std::string& out) {
  hive_value_h* values = hivex_node_values(h, node);
  std::map<std::string, std::string> sorted;
  for (size_t i = 0; values != nullptr && values[i] != 0; ++i) {
    char* name = hivex_value_key(h, values[i]);
    hive_type type;
    size_t length = 0;
    char* data = hivex_value_value(h, values[i], &type, &length);
    uint32_t type_number = 0;  // hivex's enum may carry any type: read its bytes
    std::memcpy(&type_number, &type, sizeof type_number);
    const std::string n(name, hivex_value_key_len(h, values[i]));
    sorted[NameFoldText(n)] = indent + "  " + n + " " + std::to_string(type_number) + " " +
                              std::to_string(length) + " " +
                              std::to_string(std::hash<std::string_view>()({data, length})) + "\n";
    std::free(name);
    std::free(data);
  }
  std::free(values);
  for (const auto& [fold, line] : sorted) out += line;
  hive_node_h* children = hivex_node_children(h, node);
  std::map<std::string, hive_node_h> subkeys;
  for (size_t i = 0; children != nullptr && children[i] != 0; ++i) {
    char* name = hivex_node_name(h, children[i]);
    subkeys[NameFoldText(std::string(name, hivex_node_name_len(h, children[i])))] = children[i];
    std::free(name);
  }
  std::free(children);
  for (const auto& [fold, child] : subkeys) {
    char* name = hivex_node_name(h, child);
    out += indent + "[" + std::string(name, hivex_node_name_len(h, child)) + "]\n";
    std::free(name);
    Dump(h, child, indent + "  ", out);
  }
}

void Dump(const ModelKey& key, const std::string& indent, std::string& out) {
  for (const auto& [fold, v] : key.values) {
    out += indent + "  " + v.name + " " + std::to_string(v.type) + " " +
           std::to_string(v.data.size()) + " " + std::to_string(std::hash<std::string>()(v.data)) +
           "\n";
  }
  for (const auto& [fold, child] : key.children) {
    out += indent + "[" + child.name + "]\n";
    Dump(child, indent + "  ", out);
  }
}

// The whole hive as hivex reads it, and the part below the key "T".
void ReadBack(const std::string& file, std::string& whole, std::string& test_key) {
  whole.clear();
  test_key.clear();
  hive_h* h = hivex_open(file.c_str(), 0);
  ASSERT_NE(h, nullptr) << "hivex cannot open the hive";
  Dump(h, hivex_root(h), "", whole);
  if (const hive_node_h t = hivex_node_get_child(h, hivex_root(h), "T")) Dump(h, t, "", test_key);
  hivex_close(h);
  // What lies outside "T" is compared whole: "T" is cut out of the dump.
  const size_t at = whole.find("[T]\n");
  if (at != std::string::npos) {
    size_t end = at + 4;
    while (end < whole.size() && whole.compare(end, 2, "  ") == 0) end = whole.find('\n', end) + 1;
    whole.erase(at, end - at);
  }
}

void RandomRun(const std::string& fixture, bool ascii_names_only, unsigned seed) {
  testing::TempDir dir;
  const std::string file = dir.Path(fixture);
  testing::WriteFileText(file, testing::ReadFixture("hives/" + fixture));
  std::string rest_before;
  std::string unused;
  ReadBack(file, rest_before, unused);

  std::mt19937 random(seed);
  const auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  std::vector<std::string> key_names = {"k1", "K1", "k2", "Key Three", "zz", "A_B", "ab"};
  std::vector<std::string> value_names = {"", "v1", "V1", "v2", "Long value name here"};
  if (!ascii_names_only) {
    key_names.insert(key_names.end(), {"Größe", "GRÖSSE", "Ärger", "日本"});
    value_names.insert(value_names.end(), {"Wert-ß", "日本"});
  }
  const size_t sizes[] = {0, 3, 4, 5, 100, 5000, 16344, 16345, 40000};

  ModelKey model{"T", {}, {}};
  std::unique_ptr<HiveFile> hive;
  ASSERT_TRUE(HiveFile::Open(file, true, hive).ok());
  for (int op = 0; op < 300; ++op) {
    // A key of the model, by its path below "T".
    std::vector<std::string> path{"T"};
    ModelKey* key = &model;
    while (!key->children.empty() && pick(3) != 0) {
      auto it = key->children.begin();
      std::advance(it, pick(key->children.size()));
      path.push_back(it->second.name);
      key = &it->second;
    }
    HiveFile::Node node = 0;
    ASSERT_TRUE(hive->FindKey(path, KeyOpen::kCreate, node).ok());
    const size_t what = pick(10);
    if (what < 3) {
      const std::string name = key_names[pick(key_names.size())];
      path.push_back(name);
      HiveFile::Node child = 0;
      ASSERT_TRUE(hive->FindKey(path, KeyOpen::kCreate, child).ok()) << name;
      key->children.try_emplace(NameFoldText(name), ModelKey{name, {}, {}});
    } else if (what < 7) {
      const std::string name = value_names[pick(value_names.size())];
      RegistryValue v{name, static_cast<uint32_t>(pick(4) + 1),
                      std::string(sizes[pick(std::size(sizes))], static_cast<char>(op))};
      ASSERT_TRUE(hive->SetValue(node, v).ok());
      const auto [it, added] = key->values.try_emplace(NameFoldText(name), v);
      if (!added) {
        it->second.type = v.type;
        it->second.data = v.data;
      }
    } else if (what < 9 && !key->values.empty()) {
      auto it = key->values.begin();
      std::advance(it, pick(key->values.size()));
      ASSERT_TRUE(hive->DeleteValue(node, it->second.name).ok());
      key->values.erase(it);
    } else if (!key->children.empty()) {
      auto it = key->children.begin();
      std::advance(it, pick(key->children.size()));
      ASSERT_TRUE(hive->DeleteSubkey(node, it->second.name).ok());
      key->children.erase(it);
    }
    if (op % 41 == 40 || op == 299) {
      // Committed, sometimes closed and opened again.
      const bool reopen = pick(2) == 0;
      const RegistryResult r = hive->Commit(!reopen);
      ASSERT_TRUE(r.ok()) << r.message;
      if (reopen) {
        hive.reset();
        ASSERT_TRUE(HiveFile::Open(file, true, hive).ok());
      }
      std::string rest;
      std::string written;
      ReadBack(file, rest, written);
      std::string expected;
      Dump(model, "", expected);
      ASSERT_EQ(written, expected) << "after operation " << op;
      ASSERT_TRUE(rest == rest_before) << "the rest of the hive changed by operation " << op;
      const std::string image = testing::ReadFileText(file);
      uint64_t free_bytes = 0;
      uint64_t bins = 0;
      ASSERT_TRUE(HiveFreeSpace(image, free_bytes, bins));
    }
  }
}

TEST(HiveImageTest, RandomWritesReadBackExactlyAndLeaveTheRestAlone) {
  // "lh" lists, version 1.5 (big data in records).
  RandomRun("minimal.hiv", false, 1);
  // A real hive of version 1.5.
  RandomRun("SYSTEM", false, 2);
  // "lf" lists, which take ASCII names only.
  RandomRun("NTUSER.DAT", true, 3);
  // Version 1.3: big data in plain cells, new lists of the "lf" kind, which
  // take ASCII names only.
  RandomRun("timezone-regsave.hiv", true, 4);
}

uint32_t Le32(const std::string& image, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(image.at(at + i));
  return v;
}

// A hive copied from a fixture and mapped for changes; Write() writes it
// out as a commit would and gives the bytes.
struct MappedCopy {
  testing::TempDir dir;
  std::string file;
  int fd = -1;
  HiveHeader header;
  std::unique_ptr<HiveImage> image;

  explicit MappedCopy(const std::string& fixture) : file(dir.Path(fixture)) {
    testing::WriteFileText(file, testing::ReadFixture("hives/" + fixture));
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    std::string why;
    image = HiveImage::Map(fd, testing::ReadFileText(file).size(), true, header, why);
    EXPECT_NE(image, nullptr) << why;
  }
  ~MappedCopy() { ::close(fd); }
  std::string Write() {
    const std::string out = dir.Path("written");
    const int w = ::open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_EQ(image->WriteTo(fd, w), "");
    ::close(w);
    return testing::ReadFileText(out);
  }
  // The kind ("lf", "lh", "li", "ri") of the subkey list of the key whose
  // record is at `node` in the written `bytes`.
  static std::string ListKind(const std::string& bytes, uint64_t node) {
    const uint32_t list = Le32(bytes, node + 4 + 0x1C);
    return bytes.substr(0x1000 + list + 4, 2);
  }
};

TEST(HiveImageTest, OlderHivesGetTheSubkeyListsOfTheirFormat) {
  // Format 1.3 knows no "lh" lists: a first list is "lf", or "li" when the
  // name's first characters do not fit its one-byte hints.
  MappedCopy hive("timezone-regsave.hiv");
  ASSERT_EQ(hive.header.minor, 3u);
  std::string why;
  HiveImage::Offset ascii = 0;
  HiveImage::Offset wide = 0;
  HiveImage::Offset below = 0;
  ASSERT_TRUE(hive.image->AddSubkey(hive.image->root(), "Pelvar", 0, ascii, why)) << why;
  ASSERT_TRUE(hive.image->AddSubkey(ascii, "Ärger", 0, wide, why)) << why;
  ASSERT_TRUE(hive.image->AddSubkey(wide, "x", 0, below, why)) << why;
  // An "li" list takes any name afterwards.
  HiveImage::Offset more = 0;
  ASSERT_TRUE(hive.image->AddSubkey(ascii, "日本", 1, more, why)) << why;
  const std::string bytes = hive.Write();
  EXPECT_EQ(MappedCopy::ListKind(bytes, hive.image->root()), "lf");
  EXPECT_EQ(MappedCopy::ListKind(bytes, ascii), "li");
  EXPECT_EQ(MappedCopy::ListKind(bytes, wide), "lf");
  testing::WriteFileText(hive.file, bytes);
  EXPECT_EQ(
      testing::RunShell("printf 'cd Pelvar\nls\n' | hivexsh " + testing::ShellQuoted(hive.file))
          .out,
      "Ärger\n日本\n");

  // Format 1.5 gets "lh" lists, whatever the name.
  MappedCopy newer("minimal.hiv");
  ASSERT_TRUE(newer.image->AddSubkey(newer.image->root(), "Pelvar", 0, ascii, why)) << why;
  EXPECT_EQ(MappedCopy::ListKind(newer.Write(), newer.image->root()), "lh");
}

TEST(HiveImageTest, ARefusedEditLeavesNoCellBehindAndTheTimeIsCopiedIntoTheFirstBin) {
  MappedCopy hive("minimal.hiv");
  uint64_t free_before = 0;
  uint64_t bins_before = 0;
  ASSERT_TRUE(HiveFreeSpace(testing::ReadFileText(hive.file), free_before, bins_before));
  // Room for the first of three big-data segments, not for the second.
  hive.image->LimitSize(bins_before + 0x1000 + 16 * 1024 + 8 * 1024);
  std::string why;
  EXPECT_FALSE(hive.image->SetValue(hive.image->root(), HiveImage::kNew, "Big", reg_type::kBinary,
                                    std::string(40000, 'x'), why));
  EXPECT_EQ(why, "the hive would grow past the size a hive can have");
  const std::string bytes = hive.Write();
  uint64_t free_after = 0;
  uint64_t bins_after = 0;
  ASSERT_TRUE(HiveFreeSpace(bytes, free_after, bins_after));
  // One bin was added for the first segment; all of it is free again but
  // its header.
  EXPECT_GT(bins_after, bins_before);
  EXPECT_EQ(bins_after - free_after, bins_before - free_before + 0x20);
  std::vector<HiveImage::Value> values;
  ASSERT_TRUE(hive.image->Values(hive.image->root(), values, why));
  EXPECT_TRUE(values.empty());
  // The header's time of the last write and its copy in the first bin.
  EXPECT_EQ(bytes.substr(0x0C, 8), bytes.substr(0x1000 + 0x14, 8));
  EXPECT_NE(bytes.substr(0x0C, 8), std::string(8, '\0'));
}

}  // namespace
}  // namespace pelvar::platform
