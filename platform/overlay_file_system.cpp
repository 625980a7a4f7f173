#include "platform/overlay_file_system.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <set>
#include <utility>

#include "platform/absolute_path.h"
#include "platform/case_resolver.h"

namespace pelvar::platform {

namespace {

// Files up to this size keep their bytes in the journal (for INI changes).
constexpr uint64_t kJournalContentLimit = 1 << 20;

std::error_code Errno(int e) {
  return ErrnoCode(e);
}

class OverlayWriter : public FileWriter {
 public:
  OverlayWriter(OverlayFileSystem& fs, std::string key, std::unique_ptr<FileReader> old)
      : fs_(fs), key_(std::move(key)), old_(std::move(old)) {}
  FileReader* old() override { return old_.get(); }
  std::error_code Write(std::string_view data) override {
    data_.append(data);
    return {};
  }
  std::error_code Truncate(uint64_t size) override {
    if (size > data_.size()) return Errno(EINVAL);
    data_.resize(static_cast<size_t>(size));
    return {};
  }
  uint64_t size() const override { return data_.size(); }
  std::error_code Commit() override {
    if (committed_) return Errno(EINVAL);
    committed_ = true;
    fs_.CommitWrite(key_, std::move(data_));
    return {};
  }

 private:
  OverlayFileSystem& fs_;
  std::string key_;
  std::unique_ptr<FileReader> old_;
  std::string data_;
  bool committed_ = false;
};

}  // namespace

OverlayFileSystem::OverlayFileSystem(FileSystem& base, ChangeJournal* journal)
    : base_(base), journal_(journal) {
  writable = [](const std::string& host) { return ::access(host.c_str(), W_OK | X_OK) == 0; };
  char buf[PATH_MAX];
  cwd_ = ::getcwd(buf, sizeof buf) != nullptr ? buf : "/";
}

OverlayFileSystem::~OverlayFileSystem() = default;

void OverlayFileSystem::BeginCommand() {
  base_.BeginCommand();
}

std::error_code OverlayFileSystem::EndCommand() {
  return base_.EndCommand();
}

std::string OverlayFileSystem::Absolute(std::string_view path) const {
  std::string p(path);
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.empty() || p[0] != '/') p = cwd_ + "/" + p;
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= p.size()) {
    size_t next = p.find('/', pos);
    if (next == std::string::npos) next = p.size();
    const std::string comp = p.substr(pos, next - pos);
    if (comp == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!comp.empty() && comp != ".") {
      parts.push_back(comp);
    }
    pos = next + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

OverlayFileSystem::View OverlayFileSystem::Look(const std::string& key) {
  View view;
  if (const auto it = entries_.find(key); it != entries_.end()) {
    const Entry& e = it->second;
    if (e.kind == Entry::Kind::kRemoved) return view;
    view.entry = &e;
    view.status.kind = e.kind == Entry::Kind::kFile ? FileKind::kFile : FileKind::kFolder;
    view.status.read_only = e.kind == Entry::Kind::kFile && e.read_only;
    view.status.link = e.link;
    view.status.size = e.size;
    return view;
  }
  // Whatever the overlay holds above a path hides the base below it: its
  // folders are its own, not the base's.
  for (std::string a = key; a != "/";) {
    a = PathParent(a);
    if (entries_.count(a) != 0) return view;
  }
  if (key != "/" && base_.Resolve(key) != key) return view;
  view.status = base_.Status(key);
  return view;
}

const std::vector<DirectoryEntry>& OverlayFileSystem::BaseChildren(const std::string& key) {
  auto it = base_children_.find(key);
  if (it == base_children_.end()) {
    std::vector<DirectoryEntry> listed;
    (void)base_.List(key, listed);
    it = base_children_.emplace(key, std::move(listed)).first;
  }
  return it->second;
}

std::vector<DirectoryEntry> OverlayFileSystem::Children(const std::string& key) {
  std::vector<DirectoryEntry> out;
  const View view = Look(key);
  if (!view.status.is_folder()) return out;
  if (view.entry == nullptr) {
    for (const DirectoryEntry& e : BaseChildren(key)) {
      if (entries_.count(PathJoin(key, e.name)) == 0) out.push_back(e);
    }
  }
  const std::string prefix = key == "/" ? key : key + "/";
  for (auto it = entries_.lower_bound(prefix);
       it != entries_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    const std::string rest = it->first.substr(prefix.size());
    if (rest.empty() || rest.find('/') != std::string::npos) continue;
    if (it->second.kind == Entry::Kind::kRemoved) continue;
    DirectoryEntry e;
    e.name = rest;
    e.is_directory = it->second.kind == Entry::Kind::kFolder;
    e.hidden = rest[0] == '.';
    out.push_back(std::move(e));
  }
  return out;
}

std::string OverlayFileSystem::Resolve(std::string_view path) {
  return WalkLetterCase(
      Absolute(path), [this](const std::string& p) { return Look(p).status.exists(); },
      [this](const std::string& folder, const std::string& folded) {
        std::string found;
        for (const DirectoryEntry& e : Children(folder)) {
          if (FoldCase(e.name) != folded) continue;
          if (!found.empty()) return std::string();  // several spellings
          found = e.name;
        }
        return found;
      });
}

FileStatus OverlayFileSystem::Status(std::string_view path) {
  return Look(Resolve(path)).status;
}

std::error_code OverlayFileSystem::List(std::string_view folder, std::vector<DirectoryEntry>& out) {
  out.clear();
  const std::string key = Resolve(folder);
  const View view = Look(key);
  if (!view.status.exists()) return Errno(ENOENT);
  if (!view.status.is_folder()) return Errno(ENOTDIR);
  if (view.entry == nullptr) {
    // Errors of the base (an unreadable folder) are its own.
    std::vector<DirectoryEntry> probe;
    if (auto ec = base_.List(key, probe)) return ec;
  }
  out = Children(key);
  return {};
}

std::error_code OverlayFileSystem::OpenRead(std::string_view path,
                                            std::unique_ptr<FileReader>& out) {
  const std::string key = Resolve(path);
  const View view = Look(key);
  if (!view.status.exists()) return Errno(ENOENT);
  if (view.status.is_folder()) return Errno(EISDIR);
  if (view.entry == nullptr) return base_.OpenRead(key, out);
  if (!view.entry->source.empty()) return base_.OpenRead(view.entry->source, out);
  out = std::make_unique<StringReader>(view.entry->data);
  return {};
}

bool OverlayFileSystem::FolderWritable(const std::string& key) {
  const View view = Look(key);
  if (view.entry != nullptr) return true;
  return !writable || writable(key);
}

std::error_code OverlayFileSystem::CheckParent(const std::string& key) {
  const std::string parent = PathParent(key);
  const View view = Look(parent);
  if (!view.status.exists()) return Errno(ENOENT);
  if (!view.status.is_folder()) return Errno(ENOTDIR);
  if (!FolderWritable(parent)) return Errno(EACCES);
  return {};
}

bool OverlayFileSystem::InTemp(const std::string& key) const {
  for (const std::string& t : temp_folders_) {
    if (PathIsBelow(key, t)) return true;
  }
  return false;
}

EntryState OverlayFileSystem::StateOf(const std::string& key, bool with_content) {
  EntryState state;
  const View view = Look(key);
  if (view.status.link) {
    state.kind = EntryState::Kind::kLink;  // the link itself, not what it names
    if (view.entry != nullptr) state.from = view.entry->source;
  } else if (view.status.is_folder()) {
    state.kind = EntryState::Kind::kFolder;
  } else if (view.status.exists()) {
    state.kind = EntryState::Kind::kFile;
    state.size = view.status.size;
    if (view.entry != nullptr) {
      state.from = view.entry->source;
      state.generation = view.entry->generation;
      state.executable = view.entry->executable;
      if (with_content && view.entry->size <= kJournalContentLimit) {
        std::string bytes;
        if (view.entry->source.empty()) {
          state.content = view.entry->data;
        } else if (!base_.ReadAll(view.entry->source, bytes)) {
          state.content = std::move(bytes);
        }
      }
    } else if (with_content && view.status.size <= kJournalContentLimit) {
      std::string bytes;
      if (!base_.ReadAll(key, bytes)) state.content = std::move(bytes);
    }
  }
  return state;
}

void OverlayFileSystem::Record(const std::string& key, const EntryState& before) {
  if (journal_ == nullptr || InTemp(key)) return;
  journal_->PathChanged(key, before, StateOf(key, before.content.has_value()));
}

OverlayFileSystem::Entry OverlayFileSystem::FileEntryOf(const std::string& key, const View& view) {
  Entry e;
  if (view.entry != nullptr) {
    e = *view.entry;
  } else {
    e.kind = view.status.is_folder() ? Entry::Kind::kFolder : Entry::Kind::kFile;
    e.source = key;
    e.link = view.status.link;
    e.size = e.link ? 0 : view.status.size;
    e.read_only = !e.link && view.status.read_only;
    e.executable = !e.link && ::access(key.c_str(), X_OK) == 0;
  }
  return e;
}

void OverlayFileSystem::Set(const std::string& key, Entry entry) {
  entries_[key] = std::move(entry);
}

void OverlayFileSystem::CommitWrite(const std::string& key, std::string data) {
  const View view = Look(key);
  const EntryState before = StateOf(key, data.size() <= kJournalContentLimit);
  Entry e;
  e.kind = Entry::Kind::kFile;
  e.size = data.size();
  e.data = std::move(data);
  e.generation = ++generation_;
  if (view.status.is_file()) {
    e.read_only = view.status.read_only;
    e.executable =
        view.entry != nullptr ? view.entry->executable : ::access(key.c_str(), X_OK) == 0;
  }
  Set(key, std::move(e));
  Record(key, before);
}

std::error_code OverlayFileSystem::OpenReplace(std::string_view path, Durability /*durability*/,
                                               std::unique_ptr<FileWriter>& out) {
  const std::string key = Resolve(path);
  if (auto ec = CheckParent(key)) return ec;
  const View view = Look(key);
  std::unique_ptr<FileReader> old;
  if (view.status.exists()) {
    if (view.status.is_folder()) return Errno(EISDIR);
    if (!view.status.is_file()) return Errno(EINVAL);
    if (view.status.read_only) return Errno(EACCES);
    if (auto ec = OpenRead(key, old)) return ec;
  }
  out = std::make_unique<OverlayWriter>(*this, key, std::move(old));
  return {};
}

std::error_code OverlayFileSystem::OpenReplaceEntry(std::string_view path, Durability durability,
                                                    std::unique_ptr<FileWriter>& out) {
  const std::string key = Resolve(path);
  if (!Look(key).status.link) return OpenReplace(path, durability, out);
  if (auto ec = CheckParent(key)) return ec;
  out = std::make_unique<OverlayWriter>(*this, key, nullptr);
  return {};
}

std::error_code OverlayFileSystem::Copy(std::string_view from, std::string_view to, bool replace,
                                        TargetCase target_case) {
  const std::string source = Resolve(from);
  const View src = Look(source);
  if (!src.status.exists()) return Errno(ENOENT);
  if (src.status.is_folder()) return Errno(EISDIR);
  if (!src.status.is_file()) return Errno(EINVAL);
  const std::string key = target_case == TargetCase::kAsWritten
                              ? PathJoin(Resolve(PathParent(Absolute(to))), PathName(Absolute(to)))
                              : Resolve(to);
  if (auto ec = CheckParent(key)) return ec;
  const View target = Look(key);
  if (target.status.exists()) {
    if (!replace) return Errno(EEXIST);
    if (target.status.is_folder()) return Errno(EISDIR);
    if (target.status.read_only) return Errno(EACCES);
  }
  const EntryState before = StateOf(key, false);
  Entry e = FileEntryOf(source, src);
  e.generation = ++generation_;
  Set(key, std::move(e));
  Record(key, before);
  return {};
}

std::error_code OverlayFileSystem::Move(std::string_view from, std::string_view to) {
  const std::string a = Resolve(from);
  const std::string b = Resolve(to);
  const View va = Look(a);
  if (!va.status.exists()) return Errno(ENOENT);
  std::string target = b;
  if (Look(b).status.exists()) {
    // Only a change of the letter case of the entry itself.
    const std::string written = PathName(Absolute(to));
    if (a != b || written == PathName(b)) return Errno(EEXIST);
    target = PathJoin(PathParent(b), written);
  }
  if (auto ec = CheckParent(target)) return ec == Errno(ENOTDIR) ? Errno(ENOENT) : ec;
  if (auto ec = CheckParent(a)) return ec;
  if (PathIsBelow(target, a) && target != a) return Errno(EINVAL);
  // The entries below the source, in the merged view, before anything moves.
  std::vector<std::pair<std::string, View>> moved;
  std::vector<std::string> pending{a};
  while (!pending.empty()) {
    const std::string key = pending.back();
    pending.pop_back();
    const View v = Look(key);
    moved.emplace_back(key, v);
    if (v.status.is_folder()) {
      for (const DirectoryEntry& e : Children(key)) pending.push_back(PathJoin(key, e.name));
    }
  }
  std::vector<std::pair<std::string, Entry>> placed;
  for (const auto& [key, v] : moved) {
    Entry e;
    if (v.status.is_folder()) {
      e.kind = Entry::Kind::kFolder;
    } else {
      e = FileEntryOf(key, v);
    }
    placed.emplace_back(target + key.substr(a.size()), std::move(e));
  }
  std::vector<EntryState> before;
  for (const auto& [key, e] : placed) before.push_back(StateOf(key, false));
  RemoveTree(a);
  for (size_t i = 0; i < placed.size(); ++i) {
    Set(placed[i].first, std::move(placed[i].second));
    Record(placed[i].first, before[i]);
  }
  return {};
}

bool OverlayFileSystem::Descends(const std::string& key) {
  const View view = Look(key);
  return view.status.is_folder() && !view.status.link;
}

bool OverlayFileSystem::IsMountPoint(const std::string& key) {
  const View view = Look(key);
  if (view.entry != nullptr || key == "/") return false;
  const View parent = Look(PathParent(key));
  return parent.entry == nullptr && view.status.device != 0 && parent.status.device != 0 &&
         view.status.device != parent.status.device;
}

void OverlayFileSystem::RemoveTree(const std::string& key) {
  const View view = Look(key);
  if (!view.status.exists()) return;
  if (Descends(key)) {
    for (const DirectoryEntry& e : Children(key)) RemoveTree(PathJoin(key, e.name));
  }
  const EntryState before = StateOf(key, false);
  const std::string prefix = key + "/";
  entries_.erase(entries_.lower_bound(prefix), entries_.lower_bound(key + "0"));
  entries_[key] = Entry{};
  Record(key, before);
}

std::error_code OverlayFileSystem::Delete(std::string_view path) {
  const std::string key = Resolve(path);
  const View view = Look(key);
  if (!view.status.exists()) return Errno(ENOENT);
  if (view.status.is_folder() && !view.status.link) return Errno(EISDIR);
  if (view.status.read_only && !view.status.link) return Errno(EACCES);
  if (auto ec = CheckParent(key)) return ec;
  RemoveTree(key);
  return {};
}

std::error_code OverlayFileSystem::MakeFolder(std::string_view path, bool parents) {
  const std::string key = Resolve(path);
  const View view = Look(key);
  if (view.status.exists()) {
    if (!parents) return Errno(EEXIST);
    return view.status.is_folder() ? std::error_code() : Errno(ENOTDIR);
  }
  const std::string parent = PathParent(key);
  if (!Look(parent).status.exists()) {
    if (!parents) return Errno(ENOENT);
    if (auto ec = MakeFolder(parent, true)) return ec;
  }
  if (auto ec = CheckParent(key)) return ec;
  const EntryState before = StateOf(key, false);
  Entry e;
  e.kind = Entry::Kind::kFolder;
  Set(key, std::move(e));
  Record(key, before);
  return {};
}

std::error_code OverlayFileSystem::MakeExecutable(std::string_view path) {
  const std::string key = Resolve(path);
  const View view = Look(key);
  if (!view.status.exists()) return Errno(ENOENT);
  if (!view.status.is_file()) return {};
  const EntryState before = StateOf(key, false);
  Entry e = FileEntryOf(key, view);
  e.executable = true;
  Set(key, std::move(e));
  Record(key, before);
  return {};
}

bool OverlayFileSystem::PlanTransfer(std::string_view source, std::string_view destination,
                                     std::string& from, std::string& to) {
  from = Resolve(source);
  const View src = Look(from);
  if (!src.status.exists() || from == "/") return false;
  const std::string dest = Resolve(destination);
  const View d = Look(dest);
  to = d.status.is_folder() ? Resolve(PathJoin(dest, PathName(from))) : dest;
  const View t = Look(to);
  if (t.status.exists() && t.status.is_folder() != src.status.is_folder()) return false;
  return !PathIsBelow(to, from);
}

bool OverlayFileSystem::CopyNode(const std::string& from, const std::string& to,
                                 const TreeProgressFn& progress, TreeProgress& totals) {
  const View src = Look(from);
  const View target = Look(to);
  if (!src.status.is_folder() || src.status.link) {
    if (target.status.is_folder() || target.status.read_only) return false;
    if (CheckParent(to)) return false;
    const EntryState before = StateOf(to, false);
    Entry e = FileEntryOf(from, src);
    e.generation = ++generation_;
    Set(to, std::move(e));
    Record(to, before);
    totals.files += 1;
    totals.bytes += src.status.size;
    if (progress) (void)progress(totals);  // a run here is never stopped midway
    return true;
  }
  if (target.status.exists() && !target.status.is_folder()) return false;
  if (!target.status.exists() && MakeFolder(to, false)) return false;
  // Names the source holds in several spellings each go to exactly their
  // own; the others meet an existing entry in any letter case.
  const std::vector<DirectoryEntry> children = Children(from);
  std::map<std::string, int> spellings;
  for (const DirectoryEntry& e : children) ++spellings[FoldCase(e.name)];
  bool ok = true;
  for (const DirectoryEntry& e : children) {
    const std::string exact = PathJoin(to, e.name);
    const std::string target_path = spellings[FoldCase(e.name)] > 1 ? exact : Resolve(exact);
    ok = CopyNode(PathJoin(from, e.name), target_path, progress, totals) && ok;
  }
  return ok;
}

bool OverlayFileSystem::CopyTree(std::string_view source, std::string_view destination,
                                 const TreeProgressFn& progress) {
  std::string from;
  std::string to;
  if (!PlanTransfer(source, destination, from, to)) return false;
  if (MakeFolder(PathParent(to), true)) return false;
  TreeProgress totals;
  return CopyNode(from, to, progress, totals);
}

bool OverlayFileSystem::MoveTree(std::string_view source, std::string_view destination,
                                 const TreeProgressFn& progress) {
  std::string from;
  std::string to;
  if (!PlanTransfer(source, destination, from, to)) return false;
  if (MakeFolder(PathParent(to), true)) return false;
  if (CheckParent(from)) return false;
  TreeProgress totals;
  if (!CopyNode(from, to, progress, totals)) return false;
  RemoveTree(from);
  return true;
}

bool OverlayFileSystem::DeleteTree(std::string_view path) {
  const std::string key = Resolve(path);
  const View view = Look(key);
  if (!view.status.exists() || key == "/") return false;
  // What cannot be removed stays, as on the disk: the entries of a folder
  // the user may not change, and a file system mounted in the tree (neither
  // it nor what it holds is removed). A link is removed as a link.
  std::set<std::string> mounts;
  bool ok = true;
  std::vector<std::string> pending{key};
  std::vector<std::string> order;
  while (!pending.empty()) {
    const std::string k = pending.back();
    pending.pop_back();
    order.push_back(k);
    if (!FolderWritable(PathParent(k))) ok = false;
    if (!Descends(k)) continue;
    if (k != key && IsMountPoint(k)) {
      mounts.insert(k);
      ok = false;
      continue;
    }
    for (const DirectoryEntry& e : Children(k)) pending.push_back(PathJoin(k, e.name));
  }
  if (!ok) {
    // Remove only what lies in writable folders, deepest first.
    bool all = true;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      const View v = Look(*it);
      if (!v.status.exists()) continue;
      if (!FolderWritable(PathParent(*it)) || mounts.count(*it) != 0 ||
          (Descends(*it) && !Children(*it).empty())) {
        all = false;
        continue;
      }
      RemoveTree(*it);
    }
    return all;
  }
  RemoveTree(key);
  return true;
}

std::error_code OverlayFileSystem::MakeTempFolder(std::string& path) {
  const char* tmp = ::getenv("TMPDIR");
  std::string folder = tmp != nullptr && *tmp == '/' ? Absolute(tmp) : std::string("/tmp");
  path = PathJoin(
      folder, "pelvar-dry-run-" + std::to_string(::getpid()) + "-" + std::to_string(++temp_count_));
  temp_folders_.insert(path);
  Entry e;
  e.kind = Entry::Kind::kFolder;
  Set(path, std::move(e));
  return {};
}

std::error_code OverlayFileSystem::RealFileFor(std::string_view path,
                                               const std::string& scratch_folder,
                                               std::string& host_out) {
  const std::string key = Resolve(path);
  const View view = Look(key);
  if (!view.status.is_file()) return Errno(view.status.exists() ? EISDIR : ENOENT);
  if (view.entry == nullptr) {
    host_out = key;
    return {};
  }
  if (!view.entry->source.empty()) {
    host_out = view.entry->source;
    return {};
  }
  host_out = PathJoin(scratch_folder, "file-" + std::to_string(++temp_count_));
  return base_.WriteAll(host_out, view.entry->data, Durability::kScratch);
}

}  // namespace pelvar::platform
