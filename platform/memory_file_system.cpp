#include "platform/memory_file_system.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/absolute_path.h"
#include "platform/case_resolver.h"
#include "platform/temp_names.h"

namespace pelvar::platform {

namespace {

std::error_code Errno(int e) {
  return ErrnoCode(e);
}

std::string Normal(std::string_view path) {
  std::string p(path);
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.empty() || p[0] != '/') p.insert(0, "/");
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// True when `key` is a direct child of `folder`.
bool IsChild(const std::string& key, const std::string& folder) {
  if (key == folder || key.size() <= folder.size()) return false;
  const size_t from = folder == "/" ? 1 : folder.size() + 1;
  if (folder != "/" && (key.compare(0, folder.size(), folder) != 0 || key[folder.size()] != '/')) {
    return false;
  }
  return key.find('/', from) == std::string::npos;
}

class MemoryReader : public FileReader {
 public:
  MemoryReader(MemoryFileSystem& fs, std::string data)
      : fs_(fs), data_(std::move(data)), piece_(fs.faults.read_piece) {}
  uint64_t size() const override { return data_.size(); }

 protected:
  std::error_code ReadOnce(uint64_t offset, char* buffer, size_t count, size_t& got) override {
    got = 0;
    if (fs_.faults.interrupted_reads > 0) {
      --fs_.faults.interrupted_reads;
      ++fs_.interruptions;
      return Errno(EINTR);
    }
    if (offset >= data_.size()) return {};
    got = std::min<size_t>(count, data_.size() - static_cast<size_t>(offset));
    if (piece_ != 0) got = std::min(got, piece_);
    std::copy_n(data_.data() + offset, got, buffer);
    return {};
  }

 private:
  MemoryFileSystem& fs_;
  std::string data_;
  size_t piece_;
};

class MemoryWriter : public FileWriter {
 public:
  MemoryWriter(MemoryFileSystem& fs, Durability durability, std::string target)
      : fs_(fs), durability_(durability), target_(std::move(target)) {
    temp_ = PathJoin(PathParent(target_), TemporaryFileName());
    fs_.nodes()[temp_] = MemoryFileSystem::Node{};
    auto it = fs_.nodes().find(target_);
    if (it != fs_.nodes().end()) {
      old_ = std::make_unique<MemoryReader>(fs_, it->second.data);
      mode_ = it->second;
      mode_.data.clear();
    }
  }
  ~MemoryWriter() override { Discard(); }

  FileReader* old() override { return old_.get(); }
  std::error_code Write(std::string_view data) override {
    if (error_) return error_;
    auto it = fs_.nodes().find(temp_);
    if (it == fs_.nodes().end()) return error_ = Errno(ENOENT);
    int64_t& space = fs_.faults.space;
    if (space >= 0 && static_cast<int64_t>(data.size()) > space) {
      it->second.data.append(data.substr(0, static_cast<size_t>(space)));
      space = 0;
      return error_ = Errno(ENOSPC);
    }
    if (space >= 0) space -= static_cast<int64_t>(data.size());
    std::string& content = it->second.data;
    bool interrupted = false;
    error_ = WriteFully(data, [&](std::string_view rest, size_t& written) {
      if (fs_.faults.interrupted_writes > 0) {
        --fs_.faults.interrupted_writes;
        ++fs_.interruptions;
        interrupted = true;
        return Errno(EINTR);
      }
      written = interrupted && rest.size() > 1 ? rest.size() / 2 : rest.size();
      interrupted = false;
      content.append(rest.substr(0, written));
      return std::error_code();
    });
    size_ += data.size();
    return error_;
  }
  std::error_code Truncate(uint64_t size) override {
    if (error_) return error_;
    if (size > size_) return Errno(EINVAL);
    fs_.nodes()[temp_].data.resize(static_cast<size_t>(size));
    size_ = size;
    return {};
  }
  uint64_t size() const override { return size_; }
  std::error_code Commit() override {
    if (error_) {
      Discard();
      return error_;
    }
    const std::string folder = PathParent(target_);
    if (!fs_.faults.vanish.empty() && Normal(fs_.faults.vanish) == folder) {
      auto& nodes = fs_.nodes();
      for (auto it = nodes.begin(); it != nodes.end();) {
        it = PathIsBelow(it->first, folder) ? nodes.erase(it) : std::next(it);
      }
      temp_.clear();
      return error_ = Errno(ENOENT);
    }
    if (fs_.faults.commit_error != 0) {
      Discard();
      return error_ = Errno(fs_.faults.commit_error);
    }
    auto node = fs_.nodes().extract(temp_);
    temp_.clear();
    node.mapped().read_only = mode_.read_only;
    node.mapped().executable = mode_.executable;
    node.key() = target_;
    fs_.nodes().erase(target_);
    fs_.nodes().insert(std::move(node));
    // A bulk write outside a command has no end of command to wait for: it
    // is flushed at once, as a rewrite is.
    if (durability_ == Durability::kRewrite ||
        (durability_ == Durability::kBulk && !fs_.in_command())) {
      ++fs_.file_syncs;
    } else if (durability_ == Durability::kBulk) {
      fs_.bulk_pending = true;
    }
    // Leftovers of writes whose process is gone go with this write.
    auto& nodes = fs_.nodes();
    for (auto it = nodes.begin(); it != nodes.end();) {
      const bool leftover = IsChild(it->first, folder) && IsLeftoverFileName(PathName(it->first));
      it = leftover ? nodes.erase(it) : std::next(it);
    }
    return {};
  }

 private:
  void Discard() {
    if (!temp_.empty()) fs_.nodes().erase(temp_);
    temp_.clear();
  }

  MemoryFileSystem& fs_;
  Durability durability_;
  std::string target_;
  std::string temp_;
  std::unique_ptr<MemoryReader> old_;
  MemoryFileSystem::Node mode_;
  uint64_t size_ = 0;
  std::error_code error_;
};

}  // namespace

void MemoryFileSystem::AddFolder(std::string_view path) {
  const std::string key = Normal(path);
  if (key != "/") AddFolder(PathParent(key));
  nodes_[key].folder = true;
}

void MemoryFileSystem::AddFile(std::string_view path, std::string_view content, bool read_only) {
  const std::string key = Normal(path);
  AddFolder(PathParent(key));
  nodes_[key] = Node{false, read_only, false, std::string(content)};
}

std::string MemoryFileSystem::Content(std::string_view path) const {
  const Node* node = Find(Normal(path));
  return node != nullptr ? node->data : std::string();
}

std::vector<std::string> MemoryFileSystem::Names(std::string_view folder) const {
  const std::string key = Normal(folder);
  std::vector<std::string> out;
  for (const auto& [k, node] : nodes_) {
    if (IsChild(k, key)) out.push_back(PathName(k));
  }
  return out;
}

const MemoryFileSystem::Node* MemoryFileSystem::Find(const std::string& key) const {
  const auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

void MemoryFileSystem::BeginCommand() {
  in_command_ = true;
}

std::error_code MemoryFileSystem::EndCommand() {
  in_command_ = false;
  const bool flush = bulk_pending;
  bulk_pending = false;
  if (!flush) return {};
  if (faults.flush_error != 0) return Errno(faults.flush_error);
  ++bulk_syncs;
  return {};
}

std::string MemoryFileSystem::Resolve(std::string_view path) {
  return WalkLetterCase(
      Normal(path), [this](const std::string& p) { return nodes_.count(p) != 0; },
      [this](const std::string& folder, const std::string& folded) {
        std::string found;
        for (const auto& [k, node] : nodes_) {
          if (!IsChild(k, folder) || FoldCase(PathName(k)) != folded) continue;
          if (!found.empty()) return std::string();  // several spellings
          found = PathName(k);
        }
        return found;
      });
}

FileStatus MemoryFileSystem::Status(std::string_view path) {
  FileStatus status;
  const std::string key = Resolve(path);
  const Node* node = Find(key);
  if (node == nullptr) return status;
  status.kind = node->folder ? FileKind::kFolder : FileKind::kFile;
  status.read_only = !node->folder && node->read_only;
  status.size = node->data.size();
  status.device = 1;
  for (size_t i = 0; i < mounts.size(); ++i) {
    if (PathIsBelow(key, Normal(mounts[i]))) status.device = 2 + i;
  }
  return status;
}

std::error_code MemoryFileSystem::List(std::string_view folder, std::vector<DirectoryEntry>& out) {
  out.clear();
  const std::string key = Resolve(folder);
  const Node* node = Find(key);
  if (node == nullptr) return Errno(ENOENT);
  if (!node->folder) return Errno(ENOTDIR);
  for (const auto& [k, n] : nodes_) {
    if (!IsChild(k, key)) continue;
    DirectoryEntry e;
    e.name = PathName(k);
    e.is_directory = n.folder;
    e.hidden = e.name[0] == '.';
    out.push_back(std::move(e));
  }
  return {};
}

std::error_code MemoryFileSystem::OpenRead(std::string_view path,
                                           std::unique_ptr<FileReader>& out) {
  const Node* node = Find(Resolve(path));
  if (node == nullptr) return Errno(ENOENT);
  if (node->folder) return Errno(EISDIR);
  out = std::make_unique<MemoryReader>(*this, node->data);
  return {};
}

std::error_code MemoryFileSystem::OpenReplace(std::string_view path, Durability durability,
                                              std::unique_ptr<FileWriter>& out) {
  const std::string key = Resolve(path);
  const Node* parent = Find(PathParent(key));
  if (parent == nullptr) return Errno(ENOENT);
  if (!parent->folder) return Errno(ENOTDIR);
  if (const Node* node = Find(key)) {
    if (node->folder) return Errno(EISDIR);
    if (node->read_only) return Errno(EACCES);
  }
  out = std::make_unique<MemoryWriter>(*this, durability, key);
  return {};
}

std::error_code MemoryFileSystem::Copy(std::string_view from, std::string_view to, bool replace,
                                       TargetCase target_case) {
  const Node* source = Find(Resolve(from));
  if (source == nullptr) return Errno(ENOENT);
  if (source->folder) return Errno(EISDIR);
  const std::string written = Normal(to);
  const std::string key = target_case == TargetCase::kAsWritten
                              ? PathJoin(Resolve(PathParent(written)), PathName(written))
                              : Resolve(to);
  if (const Node* target = Find(key)) {
    if (!replace) return Errno(EEXIST);
    if (target->folder) return Errno(EISDIR);
    if (target->read_only) return Errno(EACCES);
  } else if (key != Resolve(key)) {
    // A new name beside another spelling of it: made as written.
    const Node* parent = Find(PathParent(key));
    if (parent == nullptr || !parent->folder) return Errno(ENOENT);
    nodes_[key] = *source;
    if (in_command_) {
      bulk_pending = true;
    } else {
      ++file_syncs;
    }
    return {};
  }
  std::unique_ptr<FileWriter> writer;
  const std::string data = source->data;
  const Node attributes = *source;
  if (auto ec = OpenReplace(key, Durability::kBulk, writer)) return ec;
  if (auto ec = writer->Write(data)) return ec;
  if (auto ec = writer->Commit()) return ec;
  nodes_[key].read_only = attributes.read_only;
  nodes_[key].executable = attributes.executable;
  return {};
}

std::error_code MemoryFileSystem::Move(std::string_view from, std::string_view to) {
  const std::string a = Resolve(from);
  const std::string b = Resolve(to);
  if (Find(a) == nullptr) return Errno(ENOENT);
  std::string target = b;
  if (Find(b) != nullptr) {
    // Only a change of the letter case of the entry itself.
    const std::string written = PathName(Normal(to));
    if (a != b || written == PathName(b)) return Errno(EEXIST);
    target = PathJoin(PathParent(b), written);
  }
  const Node* parent = Find(PathParent(target));
  if (parent == nullptr || !parent->folder) return Errno(ENOENT);
  std::map<std::string, Node> moved;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (PathIsBelow(it->first, a)) {
      moved.emplace(target + it->first.substr(a.size()), std::move(it->second));
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
  nodes_.merge(moved);
  return {};
}

std::error_code MemoryFileSystem::Delete(std::string_view path) {
  const std::string key = Resolve(path);
  const Node* node = Find(key);
  if (node == nullptr) return Errno(ENOENT);
  if (node->folder) return Errno(EISDIR);
  if (node->read_only) return Errno(EACCES);
  nodes_.erase(key);
  return {};
}

std::error_code MemoryFileSystem::MakeFolder(std::string_view path, bool parents) {
  const std::string key = Resolve(path);
  if (const Node* node = Find(key)) {
    if (!parents) return Errno(EEXIST);
    return node->folder ? std::error_code() : Errno(ENOTDIR);
  }
  const std::string parent = PathParent(key);
  if (Find(parent) == nullptr) {
    if (!parents) return Errno(ENOENT);
    if (auto ec = MakeFolder(parent, true)) return ec;
  }
  if (!Find(parent)->folder) return Errno(ENOTDIR);
  nodes_[key].folder = true;
  return {};
}

std::error_code MemoryFileSystem::MakeExecutable(std::string_view path) {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end()) return Errno(ENOENT);
  it->second.executable = true;
  return {};
}

bool MemoryFileSystem::CopyNode(const std::string& from, const std::string& to,
                                const TreeProgressFn& progress, TreeProgress& totals) {
  const Node source = nodes_.at(from);
  if (!source.folder) {
    if (const Node* target = Find(to); target != nullptr && (target->folder || target->read_only)) {
      return false;
    }
    nodes_[to] = source;
    // Copied files are flushed as the real file system's are: once, when
    // the command ends.
    if (in_command_) bulk_pending = true;
    totals.files += 1;
    totals.bytes += source.data.size();
    if (progress) (void)progress(totals);  // a run here is never stopped midway
    return true;
  }
  if (const Node* target = Find(to); target != nullptr && !target->folder) return false;
  nodes_[to].folder = true;
  std::vector<std::string> children;
  for (const auto& [k, n] : nodes_) {
    if (IsChild(k, from)) children.push_back(k);
  }
  bool ok = true;
  for (const std::string& child : children) {
    ok = CopyNode(child, Resolve(PathJoin(to, PathName(child))), progress, totals) && ok;
  }
  return ok;
}

void MemoryFileSystem::EraseTree(const std::string& key) {
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    it = PathIsBelow(it->first, key) ? nodes_.erase(it) : std::next(it);
  }
}

bool MemoryFileSystem::CopyTree(std::string_view source, std::string_view destination,
                                const TreeProgressFn& progress) {
  const std::string from = Resolve(source);
  if (Find(from) == nullptr || from == "/") return false;
  std::string to = Resolve(destination);
  const Node* dest = Find(to);
  if (dest != nullptr && dest->folder) to = Resolve(PathJoin(to, PathName(from)));
  if (PathIsBelow(to, from)) return false;
  if (auto ec = MakeFolder(PathParent(to), true)) return false;
  TreeProgress totals;
  return CopyNode(from, to, progress, totals);
}

bool MemoryFileSystem::MoveTree(std::string_view source, std::string_view destination,
                                const TreeProgressFn& progress) {
  if (!CopyTree(source, destination, progress)) return false;
  EraseTree(Resolve(source));
  return true;
}

bool MemoryFileSystem::DeleteTree(std::string_view path) {
  const std::string key = Resolve(path);
  if (Find(key) == nullptr || key == "/") return false;
  EraseTree(key);
  return true;
}

std::error_code MemoryFileSystem::MakeTempFolder(std::string& path) {
  path = "/tmp/pelvar-" + std::to_string(++temp_count_);
  return MakeFolder(path, true);
}

}  // namespace pelvar::platform
