#include "platform/hive_file.h"

#include <fcntl.h>
#include <hivex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/file_primitives.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"

namespace pelvar::platform {

namespace {

// Closing a replaced hive frees its blocks, which takes a while with a large
// hive, and nothing waits for it: one thread of the process, started when
// first needed, closes such files in turn.
void CloseInBackground(int fd) {
  struct Closer {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<int> fds;
  };
  // Never destroyed: the thread may still be closing when the process ends.
  static Closer* const closer = [] {
    auto* c = new Closer;
    std::thread([c] {
      std::unique_lock lock(c->mutex);
      for (;;) {
        c->wake.wait(lock, [c] { return !c->fds.empty(); });
        const int next = c->fds.front();
        c->fds.pop_front();
        lock.unlock();
        ::close(next);
        lock.lock();
      }
    }).detach();
    return c;
  }();
  {
    const std::lock_guard lock(closer->mutex);
    closer->fds.push_back(fd);
  }
  closer->wake.notify_one();
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

// Frees what hivex hands out.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using HivexPtr = std::unique_ptr<T, FreeDeleter>;

// Opens and locks the hive file, making sure the lock is held on the file
// that the path names now (a writer before us may have renamed a new one
// over it).
int LockHive(const std::string& path, int& err) {
  for (;;) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      err = errno;
      return -1;
    }
    int r;
    do {
      r = ::flock(fd, LOCK_EX);
    } while (r != 0 && errno == EINTR);
    struct stat held;
    struct stat named;
    if (r != 0) {
      err = errno;
      ::close(fd);
      return -1;
    }
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      return fd;
    }
    ::close(fd);
  }
}

}  // namespace

HiveFile::~HiveFile() {
  image_.reset();
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

RegistryResult HiveFile::Failure(RegistryStatus status, const std::string& what) const {
  return {status, "hive file \"" + path_ + "\": " + what};
}

RegistryResult HiveFile::BeginReplacement(std::unique_ptr<FileWriter>& out) {
  if (files_ == nullptr) files_ = std::make_unique<PosixFileSystem>();
  if (const std::error_code ec =
          files_->OpenReplaceHost(path_, Durability::kRewrite, out, lock_fd_)) {
    return Failure(RegistryStatus::kKeyRefused, SystemMessage(ec));
  }
  return {};
}

RegistryResult HiveFile::Open(const std::string& host_path, bool write,
                              std::unique_ptr<HiveFile>& out) {
  std::unique_ptr<HiveFile> file(new HiveFile());
  file->path_ = host_path;
  UniqueFd read_fd;
  int fd = -1;
  if (write) {
    int err = 0;
    file->lock_fd_ = LockHive(host_path, err);
    if (file->lock_fd_ < 0) return file->Failure(RegistryStatus::kKeyRefused, ErrnoText(err));
    fd = file->lock_fd_;
    // What the commit would refuse (a read-only hive, one that is not a
    // regular file) is refused before any change is made.
    std::unique_ptr<FileWriter> replacement;
    if (auto r = file->BeginReplacement(replacement); !r.ok()) return r;
  } else {
    read_fd = UniqueFd(::open(host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!read_fd.valid()) return file->Failure(RegistryStatus::kKeyRefused, ErrnoText(errno));
    fd = read_fd.get();
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) return file->Failure(RegistryStatus::kKeyRefused, ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return file->Failure(RegistryStatus::kKeyRefused, "not a file");
  std::string why;
  file->image_ = HiveImage::Map(fd, static_cast<uint64_t>(st.st_size), write, file->header_, why);
  if (file->image_ == nullptr) return file->Failure(RegistryStatus::kKeyRefused, why);
  if (write && !file->header_.clean()) {
    return file->Failure(RegistryStatus::kKeyRefused,
                         "the hive was not closed cleanly (its sequence numbers differ)");
  }
  out = std::move(file);
  return {};
}

RegistryResult HiveFile::Children(Node key, const std::vector<Child>*& out) {
  if (const auto it = children_.find(key); it != children_.end()) {
    out = &it->second;
    return {};
  }
  std::vector<HiveImage::Subkey> subkeys;
  std::string why;
  if (!image_->Subkeys(key, subkeys, why)) {
    return Failure(RegistryStatus::kKeyRefused, "cannot read subkeys: " + why);
  }
  std::vector<Child> list;
  list.reserve(subkeys.size());
  for (HiveImage::Subkey& s : subkeys) {
    std::u16string fold = NameFoldKey(s.name);
    list.push_back({s.node, std::move(s.name), std::move(fold)});
  }
  out = &(children_[key] = std::move(list));
  return {};
}

RegistryResult HiveFile::AddChild(Node parent, const std::string& name, Node& out) {
  const std::vector<Child>* list = nullptr;
  if (auto r = Children(parent, list); !r.ok()) return r;
  const std::vector<Child>& siblings = *list;
  if (const std::string problem = KeyNameProblem(name); !problem.empty()) {
    return Failure(RegistryStatus::kKeyRefused, problem);
  }
  // The system finds subkeys by a binary search over a list sorted by the
  // upper-cased names.
  const std::u16string fold = NameFoldKey(name);
  const auto place = static_cast<size_t>(
      std::upper_bound(siblings.begin(), siblings.end(), fold,
                       [](const std::u16string& f, const Child& c) { return f < c.fold; }) -
      siblings.begin());
  std::string why;
  if (!image_->AddSubkey(parent, name, place, out, why)) {
    const bool old_list = why.find("older kind of subkey list") != std::string::npos;
    return Failure(old_list ? RegistryStatus::kUnsupported : RegistryStatus::kKeyRefused,
                   "cannot add key \"" + name + "\": " + why);
  }
  changed_ = true;
  std::vector<Child>& cached = children_[parent];
  cached.insert(cached.begin() + static_cast<long>(place), Child{out, name, fold});
  return {};
}

RegistryResult HiveFile::FindKey(const std::vector<std::string>& names, KeyOpen open, Node& out) {
  if (image_ == nullptr) return Failure(RegistryStatus::kKeyRefused, "the hive is not open");
  Node node = image_->root();
  for (const std::string& name : names) {
    const std::vector<Child>* children = nullptr;
    if (auto r = Children(node, children); !r.ok()) return r;
    const std::u16string fold = NameFoldKey(name);
    Node found = 0;
    for (const Child& child : *children) {
      if (child.fold == fold) {
        found = child.node;
        break;
      }
    }
    if (found == 0) {
      if (open == KeyOpen::kExisting) {
        return Failure(RegistryStatus::kKeyNotFound, "no key \"" + name + "\"");
      }
      if (auto r = AddChild(node, name, found); !r.ok()) return r;
      Expected created;
      created.key.assign(names.begin(), names.begin() + (&name - names.data()) + 1);
      Expect(std::move(created));
    }
    node = found;
  }
  out = node;
  node_paths_[node] = names;
  return {};
}

namespace {

std::string FoldedPath(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) {
    out += NameFoldText(n);
    out += '\\';
  }
  return out;
}

std::string ExpectedId(const std::vector<std::string>& key, bool is_value,
                       const std::string& name) {
  return FoldedPath(key) + (is_value ? "\x01" + NameFoldText(name) : std::string());
}

}  // namespace

void HiveFile::Expect(Expected e) {
  const std::string id = ExpectedId(e.key, e.is_value, e.value_name);
  expected_.insert_or_assign(id, std::move(e));
}

RegistryResult HiveFile::ReadValues(Node key, std::vector<RegistryValue>& out) const {
  out.clear();
  std::vector<HiveImage::Value> values;
  std::string why;
  if (!image_->Values(key, values, why)) {
    return Failure(RegistryStatus::kKeyRefused, "cannot read values: " + why);
  }
  out.reserve(values.size());
  for (HiveImage::Value& v : values) {
    out.push_back({std::move(v.name), v.type, std::move(v.data)});
  }
  return {};
}

RegistryResult HiveFile::ValueFolds(Node key, std::vector<std::u16string>*& out) {
  auto it = value_folds_.find(key);
  if (it == value_folds_.end()) {
    std::vector<RegistryValue> values;
    if (auto r = ReadValues(key, values); !r.ok()) return r;
    std::vector<std::u16string> folds;
    folds.reserve(values.size());
    for (const RegistryValue& v : values) folds.push_back(NameFoldKey(v.name));
    it = value_folds_.emplace(key, std::move(folds)).first;
  }
  out = &it->second;
  return {};
}

RegistryResult HiveFile::SetValue(Node key, const RegistryValue& value) {
  if (const std::string problem = ValueNameProblem(value.name); !problem.empty()) {
    return Failure(RegistryStatus::kValueRefused, problem);
  }
  std::vector<std::u16string>* folds = nullptr;
  if (auto r = ValueFolds(key, folds); !r.ok()) return r;
  const std::u16string fold = NameFoldKey(value.name);
  size_t index = HiveImage::kNew;
  if (const auto found = std::find(folds->begin(), folds->end(), fold); found != folds->end()) {
    index = static_cast<size_t>(found - folds->begin());
    std::vector<RegistryValue> values;
    if (auto r = ReadValues(key, values); !r.ok()) return r;
    // The same data again changes nothing, and costs no commit.
    if (index < values.size() && values[index].type == value.type &&
        values[index].data == value.data) {
      return {};
    }
  }
  std::string why;
  if (!image_->SetValue(key, index, value.name, value.type, value.data, why)) {
    value_folds_.erase(key);
    return Failure(RegistryStatus::kValueRefused, "cannot write values: " + why);
  }
  // A new value ends the key's list.
  if (index == HiveImage::kNew) folds->push_back(fold);
  changed_ = true;
  if (const auto it = node_paths_.find(key); it != node_paths_.end()) {
    Expected e;
    e.key = it->second;
    e.is_value = true;
    e.value_name = value.name;
    e.value = value;
    Expect(std::move(e));
  }
  return {};
}

RegistryResult HiveFile::DeleteValue(Node key, const std::string& name) {
  std::vector<RegistryValue> values;
  if (auto r = ReadValues(key, values); !r.ok()) return r;
  const std::u16string fold = NameFoldKey(name);
  for (size_t i = 0; i < values.size(); ++i) {
    if (NameFoldKey(values[i].name) != fold) continue;
    std::string why;
    value_folds_.erase(key);
    if (!image_->DeleteValue(key, i, why)) {
      return Failure(RegistryStatus::kValueRefused, "cannot delete value: " + why);
    }
    changed_ = true;
    if (const auto it = node_paths_.find(key); it != node_paths_.end()) {
      Expected e;
      e.key = it->second;
      e.is_value = true;
      e.value_name = name;
      e.present = false;
      Expect(std::move(e));
    }
    return {};
  }
  return Failure(RegistryStatus::kValueNotFound, "no value \"" + name + "\"");
}

RegistryResult HiveFile::DeleteSubkey(Node key, const std::string& name) {
  const std::vector<Child>* children = nullptr;
  if (auto r = Children(key, children); !r.ok()) return r;
  const std::u16string fold = NameFoldKey(name);
  for (size_t i = 0; i < children->size(); ++i) {
    const Child& child = (*children)[i];
    if (child.fold != fold) continue;
    std::string why;
    if (!image_->DeleteSubkey(key, i, why)) {
      return Failure(RegistryStatus::kKeyRefused,
                     "cannot delete key \"" + child.name + "\": " + why);
    }
    changed_ = true;
    if (const auto it = node_paths_.find(key); it != node_paths_.end()) {
      Expected gone;
      gone.key = it->second;
      gone.key.push_back(child.name);
      gone.present = false;
      // What was expected below the key went with it.
      const std::string prefix = FoldedPath(gone.key);
      for (auto e = expected_.lower_bound(prefix);
           e != expected_.end() && e->first.compare(0, prefix.size(), prefix) == 0;) {
        e = expected_.erase(e);
      }
      Expect(std::move(gone));
    }
    // Handles of keys below it are gone too.
    node_paths_.clear();
    children_.clear();
    value_folds_.clear();
    return {};
  }
  return Failure(RegistryStatus::kKeyNotFound, "no key \"" + name + "\"");
}

RegistryResult HiveFile::GetValue(Node key, const std::string& name, RegistryValue& out) {
  std::vector<RegistryValue> values;
  if (auto r = ReadValues(key, values); !r.ok()) return r;
  const std::u16string fold = NameFoldKey(name);
  for (RegistryValue& v : values) {
    if (NameFoldKey(v.name) == fold) {
      out = std::move(v);
      return {};
    }
  }
  return Failure(RegistryStatus::kValueNotFound, "no value \"" + name + "\"");
}

RegistryResult HiveFile::List(Node key, RegistryKeyContents& out) {
  const std::vector<Child>* children = nullptr;
  if (auto r = Children(key, children); !r.ok()) return r;
  out.subkeys.clear();
  for (const Child& child : *children) out.subkeys.push_back(child.name);
  return ReadValues(key, out.values);
}

namespace {

bool WriteWhole(int fd, std::string_view data) {
  for (size_t at = 0; at < data.size();) {
    const ssize_t n = ::pwrite(fd, data.data() + at, data.size() - at, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string HiveFile::CheckAndCompact(int fd, bool& compacted) {
  compacted = false;
  struct stat st;
  if (::fstat(fd, &st) != 0) return ErrnoText(errno);
  // The file is private to this commit until it is renamed over the hive;
  // one mapping serves the header's checks and the count of free space.
  const MappedHive image(fd, static_cast<uint64_t>(st.st_size));
  if (!image.ok()) {
    return "cannot read the written hive back";
  }
  HiveHeader header;
  if (const std::string why = HiveHeaderProblem(image.view(), header); !why.empty()) {
    return "the written hive does not read back: " + why;
  }
  uint64_t free_bytes = 0;
  uint64_t bins = 0;
  if (!HiveFreeSpace(image.view(), free_bytes, bins)) {
    return "the written hive is not sound: its cells do not fill its bins";
  }
  // Compacting costs some times more than writing the file; with at most a
  // quarter of the bins free a hive stays within a third of its data, and
  // the writes that free a quarter pay for the compaction.
  if (free_bytes <= bins / 4) return {};
  std::string compact;
  std::string why;
  if (!CompactHive(image.view(), compact, why)) {
    return "the written hive is not sound: " + why;
  }
  if (why = HiveHeaderProblem(compact, header); !why.empty()) {
    return "the compacted hive is not sound: " + why;
  }
  if (!WriteWhole(fd, compact) || ::ftruncate(fd, static_cast<off_t>(compact.size())) != 0) {
    return "cannot write: " + ErrnoText(errno);
  }
  compacted = true;
  return {};
}

std::string HiveFile::CheckWritten(const std::string& path) const {
  hive_h* written = hivex_open(path.c_str(), 0);
  if (written == nullptr) return "hivex cannot open it: " + ErrnoText(errno);
  // Keys by folded path, filled a whole subkey list at a time, so that many
  // changed keys below one key cost one walk of its list.
  std::unordered_map<std::string, hive_node_h> found;
  std::unordered_set<hive_node_h> listed;
  // The node at a key path, 0 when absent.
  const auto find = [&](const std::vector<std::string>& names) {
    hive_node_h node = hivex_root(written);
    std::string at;
    for (const std::string& name : names) {
      if (node == 0) return node;
      const std::string parent = at;
      at += NameFoldText(name) + "\\";
      if (const auto it = found.find(at); it != found.end()) {
        node = it->second;
        continue;
      }
      if (listed.insert(node).second) {
        HivexPtr<hive_node_h> children(hivex_node_children(written, node));
        for (size_t i = 0; children && children.get()[i] != 0; ++i) {
          const hive_node_h child = children.get()[i];
          HivexPtr<char> child_name(hivex_node_name(written, child));
          if (!child_name) continue;
          const std::string key =
              parent +
              NameFoldText(std::string(child_name.get(), hivex_node_name_len(written, child))) +
              "\\";
          found.emplace(key, child);
        }
      }
      const auto it = found.find(at);
      node = it == found.end() ? 0 : it->second;
    }
    return node;
  };
  // Values by folded name, a key's whole list at a time.
  std::unordered_map<hive_node_h, std::unordered_map<std::u16string, hive_value_h>> values_of;
  const auto value_named = [&](hive_node_h node, const std::u16string& fold) -> hive_value_h {
    auto it = values_of.find(node);
    if (it == values_of.end()) {
      it = values_of.emplace(node, std::unordered_map<std::u16string, hive_value_h>()).first;
      HivexPtr<hive_value_h> values(hivex_node_values(written, node));
      for (size_t i = 0; values && values.get()[i] != 0; ++i) {
        const hive_value_h v = values.get()[i];
        HivexPtr<char> name(hivex_value_key(written, v));
        if (!name) continue;
        it->second.emplace(NameFoldKey(std::string(name.get(), hivex_value_key_len(written, v))),
                           v);
      }
    }
    const auto found = it->second.find(fold);
    return found == it->second.end() ? 0 : found->second;
  };
  std::string problem;
  for (const auto& [id, e] : expected_) {
    const hive_node_h node = find(e.key);
    std::string where;
    for (const std::string& n : e.key) where += "\\" + n;
    if (!e.is_value) {
      if ((node != 0) != e.present) {
        problem = "key \"" + where + "\" is " + (e.present ? "missing" : "still there");
        break;
      }
      continue;
    }
    bool present = false;
    bool same = false;
    if (const hive_value_h v = node != 0 ? value_named(node, NameFoldKey(e.value_name)) : 0) {
      present = true;
      hive_type type;
      size_t length = 0;
      HivexPtr<char> data(hivex_value_value(written, v, &type, &length));
      // hivex hands any 32-bit type through its enum, which names only some:
      // the number is taken from its bytes.
      uint32_t type_number = 0;
      std::memcpy(&type_number, &type, sizeof type_number);
      same = data && type_number == e.value.type &&
             std::string_view(data.get(), length) == e.value.data;
    }
    if (present != e.present || (present && !same)) {
      problem = "value \"" + e.value_name + "\" of key \"" + where + "\" " +
                (!present    ? "is missing"
                 : e.present ? "does not hold what was written"
                             : "is still there");
      break;
    }
  }
  hivex_close(written);
  return problem;
}

RegistryResult HiveFile::Commit(bool keep_open) {
  if (!changed_) {
    if (!keep_open) image_.reset();
    return {};
  }
  // A private temporary file beside the hive, with its mode, owner and
  // group, made under the lock held since the hive was opened.
  std::unique_ptr<FileWriter> replacement;
  if (auto r = BeginReplacement(replacement); !r.ok()) {
    r.status = RegistryStatus::kValueRefused;
    return r;
  }
  const std::string temp = replacement->temp_host_path();
  UniqueFd fd(::open(temp.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    return Failure(RegistryStatus::kValueRefused, "cannot write: " + ErrnoText(errno));
  }
  std::string problem;
  if (const std::string why = image_->WriteTo(lock_fd_, fd.get()); !why.empty()) {
    problem = "cannot write: " + why;
  }
  // The disk starts writing the new file while it is checked; the sync at
  // the end then waits for less.
  if (problem.empty()) ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
  // A hive whose free space may have grown is checked whole and may be
  // compacted; otherwise the file is the one checked at open, with the
  // changed bins checked before they were written.
  bool compacted = false;
  if (problem.empty() && image_->MayNeedCompacting()) {
    problem = CheckAndCompact(fd.get(), compacted);
  }
  // Read back as any reader would before it replaces the hive.
  if (problem.empty()) {
    if (const std::string why = CheckWritten(temp); !why.empty()) {
      problem = "the written hive does not read back: " + why;
    }
  }
  // The new file is locked before its name can be found.
  if (problem.empty() && ::flock(fd.get(), LOCK_EX) != 0) {
    problem = "cannot lock: " + ErrnoText(errno);
  }
  // The replacement's end: synced, renamed over the hive, the folder synced.
  if (problem.empty()) {
    if (const std::error_code ec = replacement->Commit()) {
      problem = "cannot replace the hive: " + SystemMessage(ec);
      // Renamed, but the folder's sync failed: the lock goes on with the
      // file that has the name now.
      struct stat held;
      struct stat named;
      if (::fstat(fd.get(), &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
          held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
        const int replaced = lock_fd_;
        lock_fd_ = fd.Release();
        CloseInBackground(replaced);
      }
    }
  }
  // A failed replacement removes its temporary file; the hive stays as it
  // was, and the changes stay for the next commit.
  if (!problem.empty()) return Failure(RegistryStatus::kValueRefused, problem);
  const int replaced = lock_fd_;
  lock_fd_ = fd.Release();
  // Closing the replaced file frees its blocks, which takes a while with a
  // large hive. Nothing waits for it, so another thread does it.
  replacement.reset();
  CloseInBackground(replaced);
  changed_ = false;
  expected_.clear();
  if (!keep_open) {
    image_.reset();
    node_paths_.clear();
    children_.clear();
    value_folds_.clear();
    return {};
  }
  // Go on from the file as written: the same layout, unless it was
  // compacted (then every handle is stale).
  if (compacted) {
    node_paths_.clear();
    children_.clear();
    value_folds_.clear();
  }
  struct stat st;
  std::string why;
  if (::fstat(lock_fd_, &st) != 0) why = ErrnoText(errno);
  if (why.empty() && compacted) {
    image_ = HiveImage::Map(lock_fd_, static_cast<uint64_t>(st.st_size), true, header_, why);
  } else if (why.empty()) {
    image_->Remap(lock_fd_, static_cast<uint64_t>(st.st_size), why);
  }
  if (!why.empty() || image_ == nullptr) {
    image_.reset();
    return Failure(RegistryStatus::kValueRefused, "cannot open the hive: " + why);
  }
  ReadHiveHeader(lock_fd_, header_);
  return {};
}

std::string HiveMountProblem(const std::string& host_path) {
  struct stat st;
  if (::stat(host_path.c_str(), &st) != 0) return ErrnoText(errno);
  if (!S_ISREG(st.st_mode)) return "not a file";
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoText(errno);
  HiveHeader header;
  const std::string problem = HiveHeaderProblem(fd, static_cast<uint64_t>(st.st_size), header);
  ::close(fd);
  if (!problem.empty()) return problem;
  if (!header.clean()) {
    return "the hive was not closed cleanly (its sequence numbers differ) and its transaction "
           "logs would have to be replayed first";
  }
  hive_h* hive = hivex_open(host_path.c_str(), 0);
  if (hive == nullptr) return "not a valid registry hive: " + ErrnoText(errno);
  hivex_close(hive);
  return {};
}

}  // namespace pelvar::platform
