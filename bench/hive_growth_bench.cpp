// How a mounted hive file grows with edits: the file's size after N edits
// beside its size before plus twice the data written, and the time taken.
//
//  rewrite:  one value of the small minimal.hiv rewritten 200 times with
//            100 bytes of new data, every write committed;
//  subkeys:  3,000 new subkeys under one key of minimal.hiv, committed
//            every 100 keys (the run commits every few seconds);
//  system:   1,000 new subkeys under one key of the 16 MB SYSTEM hive,
//            committed every 100 keys.
//
// "Data written" counts what each edit hands the registry (names and data)
// plus the records the file format needs for it: a key's record (76 bytes
// and its name, with its 4-byte size) and its entry in the parent's list
// (8 bytes); a value's record (20 bytes and its name, with its size) and
// its data cell when the data is longer than 4 bytes (size and data).
//
// Usage: hive_growth_bench [rewrite|subkeys|system|all]
//        hive_growth_bench make-big OUT MB   (a big hive for bench/growth.sh)
// Work files go to a folder below $TMPDIR (or /tmp), removed at the end.
#include <hivex.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/host_registry.h"
#include "platform/system_folders.h"

namespace fs = std::filesystem;
using pelvar::platform::HostRegistry;
using pelvar::platform::KeyOpen;
using pelvar::platform::RegistryKey;
using pelvar::platform::RegistryRoot;

namespace {

// Cell sizes are rounded up to 8 bytes.
uint64_t Cell(uint64_t bytes) {
  return (bytes + 7) / 8 * 8;
}

uint64_t KeyRecord(const std::string& name) {
  return Cell(4 + 76 + name.size()) + 8;
}

uint64_t ValueRecord(const std::string& name, uint64_t data) {
  return Cell(4 + 20 + name.size()) + (data > 4 ? Cell(4 + data) : 0) + 4;
}

void Check(const pelvar::platform::RegistryResult& r) {
  if (!r.ok()) {
    std::fprintf(stderr, "failed: %s\n", r.message.c_str());
    std::exit(1);
  }
}

class Curve {
 public:
  Curve(const char* title, const fs::path& work, const char* fixture) : work_(work) {
    file_ = work / fixture;
    fs::copy_file(fs::path(PELVAR_TEST_DATA) / "hives" / fixture, file_,
                  fs::copy_options::overwrite_existing);
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
    fs::remove(work / "store.db");
    registry_ = std::make_unique<HostRegistry>((work / "store.db").string(), "/opt");
    Check(registry_->LoadHive("H", file_.string()));
    before_ = fs::file_size(file_);
    start_ = std::chrono::steady_clock::now();
    std::printf("%s (%s, %llu bytes before)\n", title, fixture,
                static_cast<unsigned long long>(before_));
    std::printf("  %6s %12s %12s %12s %10s %8s\n", "edits", "size", "limit", "written", "seconds",
                "");
  }
  ~Curve() {
    registry_.reset();
    fs::remove(file_);
  }

  HostRegistry& registry() { return *registry_; }
  void Wrote(uint64_t bytes) { written_ += bytes; }
  void Commit() { Check(registry_->CommitPending()); }
  void Row(int edits) {
    Commit();
    const uint64_t size = fs::file_size(file_);
    const uint64_t limit = before_ + 2 * written_;
    std::printf("  %6d %12llu %12llu %12llu %10.3f %8s\n", edits,
                static_cast<unsigned long long>(size), static_cast<unsigned long long>(limit),
                static_cast<unsigned long long>(written_), pelvar::bench::SecondsSince(start_),
                size <= limit ? "ok" : "OVER");
  }

 private:
  fs::path work_;
  fs::path file_;
  std::unique_ptr<HostRegistry> registry_;
  uint64_t before_ = 0;
  uint64_t written_ = 0;
  std::chrono::steady_clock::time_point start_;
};

bool ShowRow(int n) {
  return n == 1 || n == 10 || n == 30 || n == 100 || n == 300 || n == 1000 || n == 3000 || n == 200;
}

void Rewrite(const fs::path& work) {
  Curve curve("rewrite one value 200 times, every write committed", work, "minimal.hiv");
  for (int i = 1; i <= 200; ++i) {
    const std::string data(100, static_cast<char>(i));
    Check(curve.registry().SetValue({RegistryRoot::kLocalMachine, "H"}, KeyOpen::kCreate,
                                    {"Same", pelvar::platform::reg_type::kBinary, data}));
    curve.Wrote(ValueRecord("Same", data.size()));
    curve.Commit();
    if (ShowRow(i)) curve.Row(i);
  }
}

void Subkeys(const char* title, const fs::path& work, const char* fixture, int count) {
  Curve curve(title, work, fixture);
  for (int i = 1; i <= count; ++i) {
    const std::string name = "Key" + std::to_string(100000 + i);
    Check(curve.registry().CreateKey({RegistryRoot::kLocalMachine, "H\\Pelvar\\Many\\" + name}));
    curve.Wrote(KeyRecord(name) + (i == 1 ? KeyRecord("Pelvar") + KeyRecord("Many") : 0));
    if (i % 100 == 0) curve.Commit();
    if (ShowRow(i)) curve.Row(i);
  }
}

// Makes a hive of about `mb` MB from SYSTEM for the growth table: keys
// below "Big", each with 64 values of 16,000 bytes, set through hivex one
// key at a time and committed once.
int MakeBig(const std::string& out, int mb) {
  const fs::path system = fs::path(PELVAR_TEST_DATA) / "hives" / "SYSTEM";
  hive_h* h = hivex_open(system.c_str(), HIVEX_OPEN_WRITE);
  if (h == nullptr) return 1;
  const hive_node_h big = hivex_node_add_child(h, hivex_root(h), "Big");
  constexpr size_t kValues = 64;
  constexpr size_t kData = 16000;
  const uint64_t want = static_cast<uint64_t>(mb) * 1000000;
  const uint64_t have = fs::file_size(system);
  const uint64_t keys = want > have ? (want - have) / (kValues * (kData + 48)) : 0;
  const std::string data(kData, 'd');
  std::vector<std::string> names(kValues);
  std::vector<hive_set_value> values(kValues);
  for (uint64_t k = 0; k < keys; ++k) {
    const std::string key = "K" + std::to_string(100000 + k);
    const hive_node_h node = hivex_node_add_child(h, big, key.c_str());
    for (size_t v = 0; v < kValues; ++v) {
      names[v] = "V" + std::to_string(v);
      values[v].key = names[v].data();
      values[v].t = hive_t_REG_BINARY;
      values[v].len = data.size();
      values[v].value = const_cast<char*>(data.data());
    }
    if (node == 0 || hivex_node_set_values(h, node, kValues, values.data(), 0) != 0) return 1;
  }
  const int r = hivex_commit(h, out.c_str(), 0);
  hivex_close(h);
  return r == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "all";
  if (which == "make-big" && argc == 4) return MakeBig(argv[2], std::atoi(argv[3]));
  const fs::path work = fs::path(pelvar::platform::HostTempDir()) / "pelvar-hive-growth-bench";
  fs::remove_all(work);
  fs::create_directories(work);
  if (which == "all" || which == "rewrite") Rewrite(work);
  if (which == "all" || which == "subkeys") {
    Subkeys("3,000 new subkeys under one key, committed every 100", work, "minimal.hiv", 3000);
  }
  if (which == "all" || which == "system") {
    Subkeys("1,000 new subkeys in SYSTEM, committed every 100", work, "SYSTEM", 1000);
  }
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  fs::remove_all(work);
  return 0;
}
