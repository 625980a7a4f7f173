#include "platform/registry_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>
#include <thread>
#include <utility>

#include "platform/registry_text.h"

namespace pelvar::platform {

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kSchemaVersion = 1;

// A path as the path part of an SQLite file URI.
std::string UriPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '%' || c == '?' || c == '#' || u < 0x21 || u >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Fixed row ids of the five roots.
int64_t RootId(RegistryRoot root) {
  return static_cast<int64_t>(root) + 1;
}

// Roots that hold only their fixed keys and mounted hives.
bool IsSealedRoot(int64_t id) {
  return id == RootId(RegistryRoot::kLocalMachine) || id == RootId(RegistryRoot::kUsers);
}

// An SQLite failure inside one operation; turned into a result at its end.
struct StoreFailure : std::runtime_error {
  StoreFailure(const char* what, int code) : std::runtime_error(what), code(code) {}
  int code;  // the SQLite result code
};

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, UNIQUE(parent, fold))",
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold))",
    "CREATE TABLE IF NOT EXISTS mounts("
    " fold TEXT PRIMARY KEY, name TEXT NOT NULL, file TEXT NOT NULL UNIQUE)",
};

}  // namespace

// The open database with its prepared statements.
struct RegistryStore::Db {
  sqlite3* handle = nullptr;
  // Inside InOneTransaction: the operations' own transactions are parts of it.
  bool batch = false;
  std::map<std::string, sqlite3_stmt*, std::less<>> statements;

  ~Db() {
    for (auto& [sql, stmt] : statements) sqlite3_finalize(stmt);
    sqlite3_close_v2(handle);
  }

  [[noreturn]] void Fail() const {
    throw StoreFailure(sqlite3_errmsg(handle), sqlite3_errcode(handle));
  }

  void Exec(const char* sql) {
    if (sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }

  // Runs `fn` again while it fails because another program holds the store
  // in a way the busy time-out does not wait for (a change of the journal
  // mode, the recovery of a log), up to the busy time-out.
  template <typename Fn>
  void Retrying(Fn&& fn) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
      try {
        fn();
        return;
      } catch (const StoreFailure& e) {
        if ((e.code != SQLITE_BUSY && e.code != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() >= until) {
          throw;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // A statement ready to bind, reset after its last use.
  class Query {
   public:
    Query(Db& db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    ~Query() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    Query& Bind(int i, int64_t v) {
      Check(sqlite3_bind_int64(stmt_, i, v));
      return *this;
    }
    Query& Bind(int i, std::string_view text) {
      Check(sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT));
      return *this;
    }
    Query& BindBlob(int i, std::string_view data) {
      Check(sqlite3_bind_blob(stmt_, i, data.data(), static_cast<int>(data.size()),
                              SQLITE_TRANSIENT));
      return *this;
    }
    // True while rows come.
    bool Step() {
      const int rc = sqlite3_step(stmt_);
      if (rc == SQLITE_ROW) return true;
      if (rc != SQLITE_DONE) db_.Fail();
      return false;
    }
    int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string Text(int col) const {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
      return p == nullptr ? std::string()
                          : std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col)));
    }
    std::string Blob(int col) const {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
      return p == nullptr ? std::string()
                          : std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col)));
    }

   private:
    void Check(int rc) const {
      if (rc != SQLITE_OK) db_.Fail();
    }
    Db& db_;
    sqlite3_stmt* stmt_;
  };

  Query Prepare(std::string_view sql) {
    auto it = statements.find(sql);
    if (it == statements.end()) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v3(handle, sql.data(), static_cast<int>(sql.size()),
                             SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        Fail();
      }
      it = statements.emplace(std::string(sql), stmt).first;
    }
    return Query(*this, it->second);
  }

  // One transaction: rolled back unless committed.
  class Transaction {
   public:
    Transaction(Db& db, bool write) : db_(db), done_(db.batch) {
      if (!done_) db_.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    ~Transaction() {
      if (!done_) sqlite3_exec(db_.handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
      if (done_) return;
      db_.Exec("COMMIT");
      done_ = true;
    }

   private:
    Db& db_;
    bool done_;
  };

  int64_t FindChild(int64_t parent, std::string_view fold) {
    Query q = Prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
    q.Bind(1, parent).Bind(2, fold);
    return q.Step() ? q.Int(0) : 0;
  }

  int64_t AddChild(int64_t parent, std::string_view name) {
    Query q = Prepare("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
    q.Bind(1, parent).Bind(2, name).Bind(3, NameFoldText(name));
    q.Step();
    return sqlite3_last_insert_rowid(handle);
  }

  void SetValue(int64_t key, const RegistryValue& v) {
    Query q = Prepare(
        "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
        " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    q.Bind(1, key).Bind(2, v.name).Bind(3, NameFoldText(v.name)).Bind(4, v.type);
    q.BindBlob(5, v.data);
    q.Step();
  }

  // The key at `names` below the root; 0 with a result when it cannot be opened.
  int64_t Resolve(RegistryRoot root, const KeyNames& names, KeyOpen open, RegistryResult& result) {
    int64_t id = RootId(root);
    for (const std::string& name : names) {
      const int64_t child = FindChild(id, NameFoldText(name));
      if (child != 0) {
        id = child;
        continue;
      }
      if (open == KeyOpen::kExisting) {
        result = {RegistryStatus::kKeyNotFound, "no key \"" + name + "\""};
        return 0;
      }
      if (const std::string problem = KeyNameProblem(name); !problem.empty()) {
        result = {RegistryStatus::kKeyRefused, problem};
        return 0;
      }
      if (IsSealedRoot(id)) {
        result = {RegistryStatus::kKeyRefused,
                  std::string("keys cannot be created directly below ") + RootName(root)};
        return 0;
      }
      id = AddChild(id, name);
    }
    return id;
  }

  // The schema version; 0 in a store not made yet.
  int Version() {
    Query q = Prepare("PRAGMA user_version");
    return q.Step() ? static_cast<int>(q.Int(0)) : 0;
  }

  // Makes the tables that are missing and, in a new store, its first
  // content. Runs inside a write transaction.
  void MakeSchema(const std::string& program_files_dir) {
    const int version = Version();
    for (const char* sql : kSchema) Exec(sql);
    if (version != 0) return;
    for (const RegistryRoot root :
         {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine,
          RegistryRoot::kUsers, RegistryRoot::kCurrentConfig}) {
      Query q = Prepare("INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(?1, 0, ?2, ?2)");
      q.Bind(1, RootId(root)).Bind(2, RootName(root));
      q.Step();
    }
    // The keys scripts expect to find.
    const auto seed = [&](RegistryRoot root, const KeyNames& names) {
      int64_t id = RootId(root);
      for (const std::string& name : names) {
        const int64_t child = FindChild(id, NameFoldText(name));
        id = child != 0 ? child : AddChild(id, name);
      }
      return id;
    };
    const int64_t current_version =
        seed(RegistryRoot::kLocalMachine, {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion"});
    SetValue(current_version,
             {"ProgramFilesDir", reg_type::kString, RegistryStringBytes(program_files_dir)});
    seed(RegistryRoot::kLocalMachine, {"SYSTEM"});
    seed(RegistryRoot::kUsers, {".DEFAULT"});
    seed(RegistryRoot::kCurrentUser, {"Software"});
    Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  }
};

RegistryStore::RegistryStore(std::string path, std::string program_files_dir, bool read_only)
    : path_(std::move(path)),
      program_files_dir_(std::move(program_files_dir)),
      read_only_(read_only) {}

RegistryStore::~RegistryStore() = default;

RegistryResult RegistryStore::Open() {
  if (db_) return {};
  auto db = std::make_unique<Db>();
  const auto failure = [&](const std::string& why) {
    return RegistryResult{RegistryStatus::kKeyRefused, "registry store \"" + path_ + "\": " + why};
  };
  // A read-only store as a new store holds, made in memory: never written,
  // never synced.
  const auto as_new = [&]() -> RegistryResult {
    db = std::make_unique<Db>();
    if (sqlite3_open_v2(":memory:", &db->handle,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      return failure(db->handle != nullptr ? sqlite3_errmsg(db->handle) : "out of memory");
    }
    Db::Transaction t(*db, /*write=*/true);
    db->MakeSchema(program_files_dir_);
    t.Commit();
    db->Exec("PRAGMA query_only = 1");
    return {};
  };
  if (read_only_ && path_.empty()) {
    try {
      if (auto r = as_new(); !r.ok()) return r;
    } catch (const StoreFailure& e) {
      return failure(e.what());
    }
    db_ = std::move(db);
    return {};
  }
  if (read_only_) {
    if (::access(path_.c_str(), F_OK) != 0) return failure(std::strerror(errno));
    int rc = sqlite3_open_v2(path_.c_str(), &db->handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_busy_timeout(db->handle, kBusyTimeoutMs);
      rc = sqlite3_exec(db->handle, "PRAGMA user_version", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
      // A store in a folder this user cannot write: its write-ahead files
      // cannot be made, so it is read as it stands on disk.
      sqlite3_close(db->handle);
      db->handle = nullptr;
      rc = sqlite3_open_v2(("file:" + UriPath(path_) + "?immutable=1").c_str(), &db->handle,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    }
    if (rc != SQLITE_OK) {
      return failure(db->handle != nullptr ? sqlite3_errmsg(db->handle) : sqlite3_errstr(rc));
    }
    sqlite3_busy_timeout(db->handle, kBusyTimeoutMs);
    try {
      if (db->Version() == 0) {
        // Not made yet: its file is new, and another program may be making
        // it right now. It is read as it will hold once made.
        if (auto r = as_new(); !r.ok()) return r;
      }
    } catch (const StoreFailure& e) {
      return failure(e.what());
    }
    db_ = std::move(db);
    return {};
  }
  const int rc =
      sqlite3_open_v2(path_.c_str(), &db->handle,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    return failure(db->handle != nullptr ? sqlite3_errmsg(db->handle) : sqlite3_errstr(rc));
  }
  try {
    sqlite3_busy_timeout(db->handle, kBusyTimeoutMs);
    db->Exec("PRAGMA synchronous = FULL");
    // The tables are made (or found made) in one immediate transaction, so
    // runs that start together on a new store wait for the first of them.
    // This happens before the switch to write-ahead logging: a new store
    // whose first content lay only in its log could be taken for empty by
    // a program opening it at that moment, which then removes the log.
    // Made in the ordinary journal mode, the content is in the database
    // file itself when the transaction ends.
    db->Retrying([&] {
      Db::Transaction t(*db, /*write=*/true);
      db->MakeSchema(program_files_dir_);
      t.Commit();
    });
    db->Retrying([&] { db->Exec("PRAGMA journal_mode = WAL"); });
  } catch (const StoreFailure& e) {
    return failure(e.what());
  }
  db_ = std::move(db);
  return {};
}

template <typename Fn>
RegistryResult RegistryStore::Run(RegistryStatus& failure, Fn&& fn) {
  if (auto r = Open(); !r.ok()) return r;
  try {
    return fn(*db_);
  } catch (const StoreFailure& e) {
    return {failure, "registry store \"" + path_ + "\": " + e.what()};
  }
}

template <typename Fn>
RegistryResult RegistryStore::OnKey(RegistryRoot root, const KeyNames& names, KeyOpen open,
                                    bool write, RegistryStatus after_open, Fn&& fn) {
  RegistryStatus failure = RegistryStatus::kKeyRefused;
  return Run(failure, [&](Db& db) {
    Db::Transaction t(db, write);
    RegistryResult result;
    const int64_t key = db.Resolve(root, names, open, result);
    if (key == 0) return result;
    failure = after_open;
    result = fn(db, key);
    // Keys made on the way stay, as on Windows, also when the operation
    // itself fails.
    if (write) t.Commit();
    return result;
  });
}

RegistryResult RegistryStore::CreateKey(RegistryRoot root, const KeyNames& names) {
  return OnKey(root, names, KeyOpen::kCreate, true, RegistryStatus::kKeyRefused,
               [](Db&, int64_t) { return RegistryResult{}; });
}

RegistryResult RegistryStore::SetValue(RegistryRoot root, const KeyNames& names, KeyOpen open,
                                       const RegistryValue& value) {
  return OnKey(root, names, open, true, RegistryStatus::kValueRefused, [&](Db& db, int64_t key) {
    const RegistryStatus refused = RegistryStatus::kValueRefused;
    if (IsSealedRoot(key)) {
      return RegistryResult{
          refused, std::string("values cannot be written directly into ") + RootName(root)};
    }
    if (const std::string problem = ValueNameProblem(value.name); !problem.empty()) {
      return RegistryResult{refused, problem};
    }
    db.SetValue(key, value);
    return RegistryResult{};
  });
}

RegistryResult RegistryStore::DeleteKey(RegistryRoot root, const KeyNames& names, KeyOpen open,
                                        const std::string& name) {
  return OnKey(root, names, open, true, RegistryStatus::kKeyRefused, [&](Db& db, int64_t parent) {
    const int64_t key = name.empty() ? 0 : db.FindChild(parent, NameFoldText(name));
    if (key == 0) return RegistryResult{RegistryStatus::kKeyNotFound, "no key \"" + name + "\""};
    if (IsSealedRoot(parent)) {
      return RegistryResult{RegistryStatus::kKeyRefused, std::string("keys directly below ") +
                                                             RootName(root) + " cannot be deleted"};
    }
    static constexpr const char* kSubtree =
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
        " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    db.Prepare(std::string(kSubtree) + "DELETE FROM vals WHERE key IN (SELECT id FROM tree)")
        .Bind(1, key)
        .Step();
    db.Prepare(std::string(kSubtree) + "DELETE FROM keys WHERE id IN (SELECT id FROM tree)")
        .Bind(1, key)
        .Step();
    return RegistryResult{};
  });
}

RegistryResult RegistryStore::DeleteValue(RegistryRoot root, const KeyNames& names,
                                          const std::string& name) {
  return OnKey(root, names, KeyOpen::kExisting, true, RegistryStatus::kValueRefused,
               [&](Db& db, int64_t key) {
                 db.Prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2")
                     .Bind(1, key)
                     .Bind(2, NameFoldText(name))
                     .Step();
                 if (sqlite3_changes(db.handle) > 0) return RegistryResult{};
                 return RegistryResult{RegistryStatus::kValueNotFound, "no value \"" + name + "\""};
               });
}

RegistryResult RegistryStore::GetValue(RegistryRoot root, const KeyNames& names,
                                       const std::string& name, RegistryValue& out) {
  return OnKey(
      root, names, KeyOpen::kExisting, false, RegistryStatus::kKeyRefused,
      [&](Db& db, int64_t key) {
        Db::Query q = db.Prepare("SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2");
        q.Bind(1, key).Bind(2, NameFoldText(name));
        if (!q.Step()) {
          return RegistryResult{RegistryStatus::kValueNotFound, "no value \"" + name + "\""};
        }
        out = {q.Text(0), static_cast<uint32_t>(q.Int(1)), q.Blob(2)};
        return RegistryResult{};
      });
}

RegistryResult RegistryStore::ListKey(RegistryRoot root, const KeyNames& names,
                                      RegistryKeyContents& out) {
  return OnKey(
      root, names, KeyOpen::kExisting, false, RegistryStatus::kKeyRefused,
      [&](Db& db, int64_t key) {
        out = {};
        {
          Db::Query q = db.Prepare("SELECT name FROM keys WHERE parent = ?1");
          q.Bind(1, key);
          while (q.Step()) out.subkeys.push_back(q.Text(0));
        }
        std::sort(out.subkeys.begin(), out.subkeys.end(),
                  [](const auto& a, const auto& b) { return NameFoldKey(a) < NameFoldKey(b); });
        Db::Query q = db.Prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid");
        q.Bind(1, key);
        while (q.Step()) {
          out.values.push_back({q.Text(0), static_cast<uint32_t>(q.Int(1)), q.Blob(2)});
        }
        return RegistryResult{};
      });
}

RegistryResult RegistryStore::WalkTree(RegistryRoot root, const KeyNames& names,
                                       const KeyVisitor& visit) {
  return OnKey(
      root, names, KeyOpen::kExisting, false, RegistryStatus::kKeyRefused,
      [&](Db& db, int64_t top) {
        // A walk meets the pages of a tree in no particular order. A store
        // of up to 16 MiB is walked with a page cache that holds all of it,
        // so each page is read from the file once; a larger one keeps the
        // cache as it is (a cache that holds part of it gains nothing).
        const auto pragma = [&](const char* sql) {
          Db::Query q = db.Prepare(sql);
          return q.Step() ? q.Int(0) : int64_t{0};
        };
        const int64_t cache = pragma("PRAGMA cache_size");
        const int64_t store_kib = pragma("PRAGMA page_count") * pragma("PRAGMA page_size") / 1024;
        const bool whole = store_kib <= 16384;
        if (whole) db.Exec(("PRAGMA cache_size = " + std::to_string(-(store_kib + 64))).c_str());
        struct CacheBack {
          Db& db;
          bool changed;
          int64_t size;
          ~CacheBack() {
            if (!changed) return;
            const std::string sql = "PRAGMA cache_size = " + std::to_string(size);
            sqlite3_exec(db.handle, sql.c_str(), nullptr, nullptr, nullptr);
          }
        } cache_back{db, whole, cache};
        // Keys still to visit, the next one last; each with its depth below
        // `top` and its name.
        struct Pending {
          int64_t id;
          size_t depth;
          std::string name;
        };
        struct Child {
          std::u16string fold;
          int64_t id;
          std::string name;
        };
        std::vector<Pending> pending{{top, 0, {}}};
        std::vector<size_t> ends;  // the length of `relative` at each depth
        std::string relative;
        std::vector<Child> children;
        std::vector<std::pair<int64_t, size_t>> rowids;  // of the values read
        RegistryKeyContents contents;
        while (!pending.empty()) {
          Pending key = std::move(pending.back());
          pending.pop_back();
          if (key.depth > 0) {
            relative.resize(ends[key.depth - 1]);
            if (key.depth > 1) relative += '\\';
            relative += key.name;
          }
          ends.resize(key.depth + 1);
          ends[key.depth] = relative.size();
          children.clear();
          {
            Db::Query q = db.Prepare("SELECT id, name FROM keys WHERE parent = ?1");
            q.Bind(1, key.id);
            while (q.Step()) {
              std::string name = q.Text(1);
              children.push_back({NameFoldKey(name), q.Int(0), std::move(name)});
            }
          }
          std::sort(children.begin(), children.end(),
                    [](const Child& a, const Child& b) { return a.fold < b.fold; });
          contents.subkeys.clear();
          contents.values.clear();
          for (const Child& child : children) contents.subkeys.push_back(child.name);
          {
            // In the order of creation, sorted here: ORDER BY would build
            // a temporary b-tree for every key.
            Db::Query q = db.Prepare("SELECT rowid, name, type, data FROM vals WHERE key = ?1");
            q.Bind(1, key.id);
            rowids.clear();
            while (q.Step()) {
              rowids.push_back({q.Int(0), contents.values.size()});
              contents.values.push_back({q.Text(1), static_cast<uint32_t>(q.Int(2)), q.Blob(3)});
            }
            if (!std::is_sorted(rowids.begin(), rowids.end())) {
              std::sort(rowids.begin(), rowids.end());
              std::vector<RegistryValue> sorted;
              sorted.reserve(rowids.size());
              for (const auto& [rowid, index] : rowids) {
                sorted.push_back(std::move(contents.values[index]));
              }
              contents.values = std::move(sorted);
            }
          }
          if (auto r = visit(relative, contents); !r.ok()) return r;
          for (auto it = children.rbegin(); it != children.rend(); ++it) {
            pending.push_back({it->id, key.depth + 1, std::move(it->name)});
          }
        }
        return RegistryResult{};
      });
}

RegistryResult RegistryStore::FindMount(const std::string& name, HiveMount& out, bool& found) {
  found = false;
  RegistryStatus status = RegistryStatus::kKeyRefused;
  return Run(status, [&](Db& db) {
    Db::Query q = db.Prepare("SELECT name, file FROM mounts WHERE fold = ?1");
    q.Bind(1, NameFoldText(name));
    if (q.Step()) {
      out = {q.Text(0), q.Text(1)};
      found = true;
    }
    return RegistryResult{};
  });
}

RegistryResult RegistryStore::Mounts(std::vector<HiveMount>& out) {
  out.clear();
  RegistryStatus status = RegistryStatus::kKeyRefused;
  return Run(status, [&](Db& db) {
    Db::Query q = db.Prepare("SELECT name, file FROM mounts ORDER BY fold");
    while (q.Step()) out.push_back({q.Text(0), q.Text(1)});
    return RegistryResult{};
  });
}

RegistryResult RegistryStore::AddMount(const HiveMount& mount) {
  RegistryStatus status = RegistryStatus::kKeyRefused;
  return Run(status, [&](Db& db) {
    if (const std::string problem = KeyNameProblem(mount.name); !problem.empty()) {
      return RegistryResult{status, problem};
    }
    Db::Transaction t(db, true);
    const std::string fold = NameFoldText(mount.name);
    {
      Db::Query q = db.Prepare("SELECT name FROM mounts WHERE fold = ?1");
      q.Bind(1, fold);
      if (q.Step()) {
        return RegistryResult{status,
                              "a hive is already mounted as HKEY_LOCAL_MACHINE\\" + q.Text(0)};
      }
    }
    {
      Db::Query q = db.Prepare("SELECT name FROM mounts WHERE file = ?1");
      q.Bind(1, mount.file);
      if (q.Step()) {
        return RegistryResult{status,
                              "the file is already mounted as HKEY_LOCAL_MACHINE\\" + q.Text(0)};
      }
    }
    if (db.FindChild(RootId(RegistryRoot::kLocalMachine), fold) != 0) {
      return RegistryResult{status, "HKEY_LOCAL_MACHINE\\" + mount.name + " exists already"};
    }
    db.Prepare("INSERT INTO mounts(fold, name, file) VALUES(?1, ?2, ?3)")
        .Bind(1, fold)
        .Bind(2, mount.name)
        .Bind(3, mount.file)
        .Step();
    t.Commit();
    return RegistryResult{};
  });
}

RegistryResult RegistryStore::RemoveMount(const std::string& name) {
  RegistryStatus status = RegistryStatus::kKeyRefused;
  return Run(status, [&](Db& db) {
    db.Prepare("DELETE FROM mounts WHERE fold = ?1").Bind(1, NameFoldText(name)).Step();
    if (sqlite3_changes(db.handle) == 0) {
      return RegistryResult{RegistryStatus::kKeyNotFound,
                            "no hive is mounted as HKEY_LOCAL_MACHINE\\" + name};
    }
    return RegistryResult{};
  });
}

RegistryResult RegistryStore::InOneTransaction(const std::function<RegistryResult()>& body) {
  RegistryStatus status = RegistryStatus::kKeyRefused;
  return Run(status, [&](Db& db) {
    Db::Transaction t(db, /*write=*/true);
    db.batch = true;
    RegistryResult result;
    try {
      result = body();
    } catch (...) {
      db.batch = false;
      throw;
    }
    db.batch = false;
    if (result.ok()) t.Commit();
    return result;
  });
}

}  // namespace pelvar::platform
