#include "platform/tree_operations.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/case_resolver.h"
#include "platform/file_primitives.h"
#include "platform/file_system.h"

namespace pelvar::platform {

namespace {

// Where a copy or move goes, worked out before anything changes.
struct Transfer {
  std::string source;          // host path, no trailing "/"
  struct stat source_stat {};  // links followed
  std::string target;          // host path of the copy itself
  std::string target_folder;   // the folder that holds the target
  std::string target_name;
  bool target_exists = false;
};

std::string RealPath(const std::string& host) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(host.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

// True when `path` is `folder` or lies below it (both real paths).
bool IsInside(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

std::optional<Transfer> PlanTransfer(CaseResolver& resolver, std::string_view source,
                                     std::string_view destination) {
  Transfer t;
  t.source = WithoutTrailingSlashes(resolver.Resolve(source));
  if (t.source.empty() || ::stat(t.source.c_str(), &t.source_stat) != 0) return std::nullopt;
  std::string folder;
  std::string source_name;
  SplitHostPath(t.source, folder, source_name);
  const std::string dest = WithoutTrailingSlashes(resolver.Resolve(destination));
  if (dest.empty() || source_name.empty() || source_name == "." || source_name == "..") {
    return std::nullopt;
  }
  struct stat st;
  if (::stat(dest.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    // An entry of the source's name in any letter case is the target.
    t.target = resolver.Resolve((dest == "/" ? dest : dest + "/") + source_name);
  } else {
    t.target = dest;
  }
  SplitHostPath(t.target, t.target_folder, t.target_name);
  if (::lstat(t.target.c_str(), &st) == 0) {
    t.target_exists = true;
    // A folder merges only into a folder; a file replaces only a non-folder.
    if (S_ISDIR(t.source_stat.st_mode) != S_ISDIR(st.st_mode)) return std::nullopt;
  }
  // The target must not be the source or lie inside it.
  const std::string real_source = RealPath(t.source);
  std::string existing = t.target;
  while (::lstat(existing.c_str(), &st) != 0) {
    std::string name;
    SplitHostPath(existing, existing, name);
  }
  const std::string real_target = RealPath(existing);
  if (real_source.empty() || real_target.empty() || IsInside(real_target, real_source)) {
    return std::nullopt;
  }
  return t;
}

// Makes a folder and the missing folders above it.
bool MakeFolders(const std::string& host) {
  struct stat st;
  if (::stat(host.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent;
  std::string name;
  SplitHostPath(host, parent, name);
  if (parent != host && !MakeFolders(parent)) return false;
  return ::mkdir(host.c_str(), 0777) == 0 || errno == EEXIST;
}

// The entries of an existing folder by name folded to lower case, so an
// entry of a merge meets the existing one in any letter case.
class FoldedNames {
 public:
  // Reads the folder open at `dir` (nothing for a fresh folder).
  void Read(int dir) {
    FolderEntries entries;
    if (entries.Read(dir)) return;
    for (size_t i = 0; i < entries.size(); ++i) {
      const std::string name(entries.Name(i));
      exact_.insert(name);
      folded_.emplace(FoldCase(name), name);
    }
  }
  // The existing entry's name for `name`: the exact one first, else the
  // first found ignoring case; `name` itself when none exists.
  const char* Match(const char* name) const {
    if (exact_.empty() || exact_.count(name) != 0) return name;
    const auto it = folded_.find(FoldCase(name));
    return it == folded_.end() ? name : it->second.c_str();
  }

 private:
  std::unordered_set<std::string> exact_;
  std::unordered_map<std::string, std::string> folded_;
};

class TreeCopier {
 public:
  explicit TreeCopier(const TreeProgressFn& progress) : progress_(progress) {}

  // Copies the entries of one folder into another. `fresh` tells that the
  // target folder was made by this copy, so nothing in it can be replaced.
  bool CopyContents(int from_dir, int to_dir, bool fresh) {
    FolderEntries entries;
    if (entries.Read(from_dir)) return false;
    FoldedNames existing;
    if (!fresh) existing.Read(to_dir);
    bool ok = true;
    for (size_t i = 0; i < entries.size(); ++i) {
      const char* name = entries.CName(i);
      const char* to_name = existing.Match(name);
      switch (entries.Type(i)) {
        case EntryType::kDirectory:
          ok = CopyFolder(from_dir, name, to_dir, to_name, fresh) && ok;
          break;
        case EntryType::kFile:
          ok = CopyFile(from_dir, name, to_dir, to_name, fresh) && ok;
          break;
        case EntryType::kLink:
          ok = !CopyLinkAt(from_dir, name, to_dir, to_name, !fresh) && ok;
          break;
        case EntryType::kOther:
          ok = CopySpecial(from_dir, name, to_dir) && ok;
          break;
      }
    }
    return ok;
  }

  // Copies the folder `name` of `from_dir` into `to_dir` as `to_name`.
  bool CopyFolder(int from_dir, const char* name, int to_dir, const char* to_name, bool fresh) {
    const UniqueFd from = OpenFolderAt(from_dir, name);
    struct stat st;
    if (!from.valid() || ::fstat(from.get(), &st) != 0) return false;
    return CopyFolderFrom(from.get(), st, to_dir, to_name, fresh);
  }

  // Copies the open folder `from` to the entry `name` of `to_dir`.
  bool CopyFolderFrom(int from, const struct stat& st, int to_dir, const char* name, bool fresh) {
    // Made writable for the copy; the source's permission bits follow.
    bool made = ::mkdirat(to_dir, name, (st.st_mode & 0777) | S_IRWXU) == 0;
    if (!made && (fresh || errno != EEXIST)) return false;
    const UniqueFd to = OpenFolderAt(to_dir, name);
    if (!to.valid()) return false;
    bool ok = CopyContents(from, to.get(), made);
    if (made) ok = ::fchmod(to.get(), st.st_mode & 07777) == 0 && ok;
    return ok;
  }

  bool CopyFile(int from_dir, const char* name, int to_dir, const char* to_name, bool fresh) {
    uint64_t bytes = 0;
    std::error_code ec = CopyFileAt(from_dir, name, to_dir, to_name, reflink_failed_, &bytes);
    if (ec == std::errc::file_exists && !fresh) {
      ec = CopyFileAtomicallyAt(from_dir, name, to_dir, to_name, /*replace=*/true, reflink_failed_,
                                &bytes);
    }
    if (ec) return false;
    totals_.files += 1;
    totals_.bytes += bytes;
    if (progress_) progress_(totals_);
    return true;
  }

  // Pipes, sockets and devices are made anew, never opened.
  static bool CopySpecial(int from_dir, const char* name, int to_dir) {
    struct stat st;
    if (::fstatat(from_dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return ::mknodat(to_dir, name, st.st_mode, st.st_rdev) == 0;
  }

 private:
  const TreeProgressFn& progress_;
  TreeProgress totals_;
  bool reflink_failed_ = false;
};

// Copies as planned, merging into an existing target.
bool CopyPlanned(const Transfer& t, const TreeProgressFn& progress) {
  if (!MakeFolders(t.target_folder)) return false;
  const UniqueFd folder(::open(t.target_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return false;
  if (S_ISREG(t.source_stat.st_mode)) {
    bool reflink_failed = false;
    return !CopyFileAtomicallyAt(AT_FDCWD, t.source.c_str(), folder.get(), t.target_name.c_str(),
                                 /*replace=*/true, reflink_failed);
  }
  if (!S_ISDIR(t.source_stat.st_mode)) return false;
  const UniqueFd from(::open(t.source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!from.valid()) return false;
  TreeCopier copier(progress);
  return copier.CopyFolderFrom(from.get(), t.source_stat, folder.get(), t.target_name.c_str(),
                               /*fresh=*/false);
}

// Running totals of a deletion, for a caller that asked for them.
struct DeleteCount {
  const TreeProgressFn* progress = nullptr;
  TreeProgress done;
};

bool DeleteContents(int dir, DeleteCount* count) {
  FolderEntries entries;
  if (entries.Read(dir)) return false;
  bool ok = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    const char* name = entries.CName(i);
    if (entries.Type(i) == EntryType::kDirectory) {
      const UniqueFd sub = OpenFolderAt(dir, name);
      ok = sub.valid() && DeleteContents(sub.get(), count) && ok;
      ok = ::unlinkat(dir, name, AT_REMOVEDIR) == 0 && ok;
      continue;
    }
    struct stat st;
    const bool sized = count != nullptr && ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (::unlinkat(dir, name, 0) != 0) {
      ok = false;
      continue;
    }
    if (count != nullptr) {
      ++count->done.files;
      if (sized && S_ISREG(st.st_mode)) count->done.bytes += static_cast<uint64_t>(st.st_size);
      (*count->progress)(count->done);
    }
  }
  return ok;
}

bool DeleteHostTree(const std::string& host, DeleteCount* count) {
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlink(host.c_str()) == 0;
  // The root folder is never deleted (an empty variable in a path must not
  // wipe the system).
  if (RealPath(host) == "/") return false;
  bool ok;
  {
    const UniqueFd dir(
        ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    ok = dir.valid() && DeleteContents(dir.get(), count);
  }
  return ::rmdir(host.c_str()) == 0 && ok;
}

bool DeleteHostTree(const std::string& host) {
  return DeleteHostTree(host, nullptr);
}

// Moves the entries of one folder into an existing folder by renaming them,
// descending where both sides hold a folder of the same name. Sets
// `across` when an entry lies on another file system.
bool MergeByRename(int from_dir, int to_dir, bool& across) {
  FolderEntries entries;
  if (entries.Read(from_dir)) return false;
  FoldedNames existing;
  existing.Read(to_dir);
  bool ok = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    const char* name = entries.CName(i);
    const char* to_name = existing.Match(name);
    const std::error_code ec = RenameNoReplaceAt(from_dir, name, to_dir, to_name);
    if (!ec) continue;
    if (ec.value() == EXDEV) across = true;
    struct stat target;
    if (ec.value() != EEXIST || ::fstatat(to_dir, to_name, &target, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      continue;
    }
    const bool from_is_folder = entries.Type(i) == EntryType::kDirectory;
    if (from_is_folder && S_ISDIR(target.st_mode)) {
      const UniqueFd from = OpenFolderAt(from_dir, name);
      const UniqueFd to = OpenFolderAt(to_dir, to_name);
      const bool merged = from.valid() && to.valid() && MergeByRename(from.get(), to.get(), across);
      ok = merged && ::unlinkat(from_dir, name, AT_REMOVEDIR) == 0 && ok;
    } else if (!from_is_folder && !S_ISDIR(target.st_mode)) {
      ok = ::renameat(from_dir, name, to_dir, to_name) == 0 && ok;
    } else {
      ok = false;
    }
  }
  return ok;
}

}  // namespace

bool CopyTree(std::string_view source, std::string_view destination,
              const TreeProgressFn& progress) {
  CaseResolver resolver;
  return CopyTree(resolver, source, destination, progress);
}

bool CopyTree(CaseResolver& resolver, std::string_view source, std::string_view destination,
              const TreeProgressFn& progress) {
  const std::optional<Transfer> t = PlanTransfer(resolver, source, destination);
  return t && CopyPlanned(*t, progress);
}

bool MoveTree(std::string_view source, std::string_view destination,
              const TreeProgressFn& progress) {
  CaseResolver resolver;
  return MoveTree(resolver, source, destination, progress);
}

bool MoveTree(CaseResolver& resolver, std::string_view source, std::string_view destination,
              const TreeProgressFn& progress) {
  const std::optional<Transfer> t = PlanTransfer(resolver, source, destination);
  if (!t || !MakeFolders(t->target_folder)) return false;
  const bool is_folder = S_ISDIR(t->source_stat.st_mode);
  if (!t->target_exists) {
    const std::error_code ec =
        RenameNoReplaceAt(AT_FDCWD, t->source.c_str(), AT_FDCWD, t->target.c_str());
    if (!ec) return true;
    if (ec.value() != EXDEV) return false;
    // Another file system: copy everything first; a failed copy is removed.
    if (!CopyPlanned(*t, progress)) {
      DeleteHostTree(t->target);
      return false;
    }
    return DeleteHostTree(t->source);
  }
  if (!is_folder) {
    if (::rename(t->source.c_str(), t->target.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    return CopyPlanned(*t, progress) && ::unlink(t->source.c_str()) == 0;
  }
  bool across = false;
  {
    const UniqueFd from(::open(t->source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const UniqueFd to(::open(t->target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid() || !to.valid()) return false;
    if (MergeByRename(from.get(), to.get(), across)) return ::rmdir(t->source.c_str()) == 0;
  }
  // What could not be renamed stays in the source; across file systems the
  // rest is copied over and the source deleted only when all of it arrived.
  if (!across) return false;
  return CopyPlanned(*t, progress) && DeleteHostTree(t->source);
}

bool DeleteTree(std::string_view path) {
  CaseResolver resolver;
  return DeleteTree(resolver, path);
}

bool DeleteTree(CaseResolver& resolver, std::string_view path, const TreeProgressFn& progress) {
  const std::string host = WithoutTrailingSlashes(resolver.Resolve(path));
  if (host.empty()) return false;
  if (!progress) return DeleteHostTree(host);
  DeleteCount count;
  count.progress = &progress;
  return DeleteHostTree(host, &count);
}

}  // namespace pelvar::platform
