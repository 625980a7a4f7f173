// Hives changed in place by long random runs of writes, compared after every
// commit with what an independent reader (hivex) finds in the file: the
// keys and values written, and the rest of the hive untouched.
#include "platform/hive_image.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <random>

#include "platform/hive_file.h"
#include "platform/registry_text.h"
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
    const std::string n(name, hivex_value_key_len(h, values[i]));
    sorted[NameFoldText(n)] = indent + "  " + n + " " + std::to_string(type) + " " +
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
  // Version 1.3: big data in plain cells.
  RandomRun("timezone-regsave.hiv", false, 4);
}

}  // namespace
}  // namespace pelvar::platform
