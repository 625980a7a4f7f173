// Registry writes against peers measured in the same run, in interleaved
// rounds after a warm-up round; each figure is the median over the rounds.
//
//  store: a pelvar run of 1,000 regwritestring lines into a new host store,
//         against the sqlite3 tool committing 1,000 single-row inserts (one
//         transaction each) into a new database file, with the store's own
//         durability: WAL journal, synchronous=FULL.
//  hive:  a pelvar run of 50 regwritestring lines into a mounted copy of the
//         16 MB SYSTEM hive of the test data in tests/data (the run keeps the hive
//         open and commits it once, synced, at its end), against one copy of
//         that hive synced to disk (cp, then sync of the copy and of its
//         folder, as the commit syncs the hive and its folder): the cost of
//         writing the hive once.
//
//  hive-each: the worst case, every write committed: 50 regwritestring
//         calls in this process into a mounted copy of the SYSTEM hive,
//         each followed by a commit (synced, read back, renamed over the
//         hive), against 50 copies of the hive each synced, in this process.
//
// Usage: registry_bench [rounds] [store|hive|hive-each|all]   (rounds: default 3)
// Work files go to a folder below $TMPDIR (or /tmp), removed at the end.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/host_registry.h"
#include "platform/system_folders.h"

namespace fs = std::filesystem;

namespace {

std::string ProgramDir() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  const fs::path exe(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0));
  return (exe.parent_path().parent_path() / "program").string();
}

// A hive of the test data in tests/data.
fs::path SharedHive(const char* name) {
  return fs::path(PELVAR_TEST_DATA) / "hives" / name;
}

// A writable copy of a fixture hive (the fixtures stay unchanged, and a
// read-only hive is not written).
void CopySharedHive(const char* name, const fs::path& to) {
  fs::copy_file(SharedHive(name), to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

double Seconds(const std::function<void()>& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Times `ours` and `peer` alternately; prints the medians and their ratio.
void Compare(const char* title, int rounds, const std::function<void()>& prepare_ours,
             const std::function<void()>& ours, const std::function<void()>& prepare_peer,
             const std::function<void()>& peer) {
  std::vector<double> a;
  std::vector<double> b;
  for (int round = 0; round <= rounds; ++round) {
    prepare_ours();
    const double ta = Seconds(ours);
    prepare_peer();
    const double tb = Seconds(peer);
    if (round == 0) continue;  // warm-up
    a.push_back(ta);
    b.push_back(tb);
  }
  std::printf("%s: ours %.3f s, peer %.3f s, ratio %.2f (median of %d rounds)\n", title, Median(a),
              Median(b), Median(a) / Median(b), rounds);
}

std::string PelvarRun(const fs::path& home, const fs::path& store, const fs::path& script) {
  return "PELVAR_HOME='" + home.string() + "' PELVAR_REGISTRY='" + store.string() + "' '" +
         ProgramDir() + "/pelvar' '" + script.string() + "' /silent >/dev/null";
}

void StoreBench(const fs::path& work, int rounds) {
  const fs::path store = work / "store.db";
  const fs::path script = work / "store.script";
  const fs::path sql = work / "inserts.sql";
  const fs::path db = work / "peer.db";
  std::string lines = "[process]\r\n";
  std::string inserts =
      "PRAGMA journal_mode = WAL;\nPRAGMA synchronous = FULL;\nCREATE TABLE t(k TEXT, v TEXT);\n";
  for (int i = 0; i < 1000; ++i) {
    const std::string n = std::to_string(i);
    lines += "regwritestring,1,HKEY_CURRENT_USER,Software\\Bench,v" + n + ",value" + n + "\r\n";
    inserts += "INSERT INTO t VALUES('v" + n + "', 'value" + n + "');\n";
  }
  WriteText(script, lines);
  WriteText(sql, inserts);
  const auto remove = [](const fs::path& p) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(p.string() + suffix);
  };
  Compare(
      "store: 1000 regwritestring vs sqlite3 1000 insert transactions", rounds,
      [&] { remove(store); }, [&] { Shell(PelvarRun(work, store, script)); }, [&] { remove(db); },
      [&] { Shell("sqlite3 '" + db.string() + "' < '" + sql.string() + "' >/dev/null"); });
}

void HiveBench(const fs::path& work, int rounds) {
  const fs::path hive = work / "SYSTEM";
  const fs::path copy = work / "copy.hiv";
  const fs::path store = work / "hive-store.db";
  const fs::path script = work / "hive.script";
  std::string lines = "[process]\r\n";
  for (int i = 0; i < 50; ++i) {
    lines +=
        "regwritestring,1,HKEY_LOCAL_MACHINE,BENCH\\Setup\\Bench,v" + std::to_string(i) + ",x\r\n";
  }
  WriteText(script, lines);
  const auto fresh = [&] {
    CopySharedHive("SYSTEM", hive);
    fs::remove(store);
    pelvar::platform::HostRegistry registry(store.string(), "/opt");
    const auto r = registry.LoadHive("BENCH", hive.string());
    if (!r.ok()) {
      std::fprintf(stderr, "cannot mount the hive: %s\n", r.message.c_str());
      std::exit(1);
    }
    Shell("sync");
  };
  fresh();
  std::printf("hive: %.1f MB\n", static_cast<double>(fs::file_size(hive)) / 1e6);
  Compare(
      "hive: 50 regwritestring into the 16 MB SYSTEM hive vs one cp + sync of it", rounds, fresh,
      [&] { Shell(PelvarRun(work, store, script)); }, [&] { fs::remove(copy); },
      [&] {
        Shell("cp '" + hive.string() + "' '" + copy.string() + "' && sync '" + copy.string() +
              "' '" + work.string() + "'");
      });
}

// Copies a file and syncs the copy, in this process.
void CopyAndSync(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  const int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    std::fprintf(stderr, "cannot sync %s\n", to.c_str());
    std::exit(1);
  }
  ::close(fd);
}

void HiveEachBench(const fs::path& work, int rounds) {
  const fs::path hive = work / "SYSTEM";
  const fs::path copy = work / "copy.hiv";
  const fs::path store = work / "hive-store.db";
  constexpr int kWrites = 50;
  std::unique_ptr<pelvar::platform::HostRegistry> registry;
  const auto fresh = [&] {
    registry.reset();
    CopySharedHive("SYSTEM", hive);
    fs::remove(store);
    registry = std::make_unique<pelvar::platform::HostRegistry>(store.string(), "/opt");
    registry->set_commit_after(std::chrono::milliseconds(0));
    if (const auto r = registry->LoadHive("BENCH", hive.string()); !r.ok()) {
      std::fprintf(stderr, "cannot mount the hive: %s\n", r.message.c_str());
      std::exit(1);
    }
    Shell("sync");
  };
  Compare(
      "hive, every write committed: 50 regwritestring (50 commits) vs 50 cp + sync of it", rounds,
      fresh,
      [&] {
        for (int i = 0; i < kWrites; ++i) {
          const auto r = registry->SetValue(
              {pelvar::platform::RegistryRoot::kLocalMachine, "BENCH\\Setup\\Bench"},
              pelvar::platform::KeyOpen::kCreate,
              {"v" + std::to_string(i), pelvar::platform::reg_type::kString,
               std::string("x\0\0\0", 4)});
          if (!r.ok()) {
            std::fprintf(stderr, "write failed: %s\n", r.message.c_str());
            std::exit(1);
          }
        }
        registry->CommitPending();
      },
      [&] { fs::remove(copy); },
      [&] {
        for (int i = 0; i < kWrites; ++i) CopyAndSync(hive, copy);
      });
  registry.reset();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string which = argc > 2 ? argv[2] : "all";
  const fs::path work = pelvar::platform::HostTempDir() + "pelvar-registry-bench";
  fs::remove_all(work);
  fs::create_directories(work);
  WriteText(work / "pelvar.ini", "[main]\r\n");
  if (which == "all" || which == "store") StoreBench(work, rounds);
  if (which == "all" || which == "hive") HiveBench(work, rounds);
  if (which == "all" || which == "hive-each") HiveEachBench(work, rounds);
  fs::remove_all(work);
  return 0;
}
