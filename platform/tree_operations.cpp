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
#include <utility>

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

// The first entry of a walk that failed, with the system's reason.
class FirstFailure {
 public:
  // Notes a failure at `name` in the folder `folder` (host paths); errno
  // when `ec` is empty. Only the first one is kept.
  void Note(const std::string& folder, std::string_view name, std::error_code ec = {}) {
    if (!ec) ec = LastError();
    NoteReason(folder, name, SystemMessage(ec));
  }
  // The same with a reason of its own.
  void NoteReason(const std::string& folder, std::string_view name, std::string reason) {
    if (!path_.empty()) return;
    path_ = folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
    if (name.empty()) path_ = folder;
    reason_ = std::move(reason);
  }
  // A failure at a folder the operation makes (not an entry it carries
  // over): its text begins with `what` instead of the caller's words.
  void NoteAs(std::string what, const std::string& folder) {
    if (path_.empty()) what_ = std::move(what);
    Note(folder, "");
  }
  // The walk was stopped by its caller: that is the whole story.
  void Stopped() { stopped_ = true; }
  bool stopped() const { return stopped_; }
  bool empty() const { return path_.empty() && !stopped_; }
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }
  // "<what> \"<path>\": <reason>".
  std::string Text(std::string_view what) const {
    if (stopped_) return "the run was stopped";
    return (what_.empty() ? std::string(what) : what_) + " \"" + path_ + "\": " + reason_;
  }

 private:
  bool stopped_ = false;
  std::string what_;
  std::string path_;
  std::string reason_;
};

// True when `path` is `folder` or lies below it (both real paths).
bool IsInside(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

std::optional<Transfer> PlanTransfer(CaseResolver& resolver, std::string_view source,
                                     std::string_view destination, std::string& why) {
  Transfer t;
  t.source = WithoutTrailingSlashes(resolver.Resolve(source));
  if (t.source.empty() || ::stat(t.source.c_str(), &t.source_stat) != 0) {
    why = "no such folder";
    return std::nullopt;
  }
  std::string folder;
  std::string source_name;
  SplitHostPath(t.source, folder, source_name);
  const std::string dest = WithoutTrailingSlashes(resolver.Resolve(destination));
  if (dest.empty() || source_name.empty() || source_name == "." || source_name == "..") {
    why = "the source or the destination names no folder";
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
    if (S_ISDIR(t.source_stat.st_mode) != S_ISDIR(st.st_mode)) {
      why = S_ISDIR(st.st_mode) ? "a folder stands at \"" + t.target + "\""
                                : "a file stands at \"" + t.target + "\"";
      return std::nullopt;
    }
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
    why = t.target_exists && real_target == real_source ? "the destination is the source itself"
                                                        : "the destination lies inside the source";
    return std::nullopt;
  }
  return t;
}

// Makes a folder and the missing folders above it.
bool MakeFolders(const std::string& host) {
  struct stat st;
  if (::stat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
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
      // A name held in several spellings matches none of them ignoring case.
      const auto [it, added] = folded_.emplace(FoldCase(name), name);
      if (!added) it->second.clear();
    }
  }
  // Notes the source folder's names that it holds in several spellings:
  // each of those meets only the entry of exactly its own name, so no two
  // of them land on one file.
  void Source(const FolderEntries& entries) {
    if (exact_.empty()) return;
    std::unordered_map<std::string, size_t> count;
    for (size_t i = 0; i < entries.size(); ++i) ++count[FoldCase(entries.Name(i))];
    for (auto& [folded, n] : count) {
      if (n > 1) ambiguous_.insert(folded);
    }
  }
  // The existing entry's name for `name`: the exact one first, else the one
  // entry that matches ignoring case; `name` itself when none (or several)
  // exist.
  const char* Match(const char* name) const {
    if (exact_.empty() || exact_.count(name) != 0) return name;
    const std::string folded = FoldCase(name);
    if (ambiguous_.count(folded) != 0) return name;
    const auto it = folded_.find(folded);
    return it == folded_.end() || it->second.empty() ? name : it->second.c_str();
  }

 private:
  std::unordered_set<std::string> exact_;
  std::unordered_map<std::string, std::string> folded_;
  std::unordered_set<std::string> ambiguous_;
};

class TreeCopier {
 public:
  // `from` is the host path of the source folder the walk begins at.
  TreeCopier(const TreeProgressFn& progress, std::string from)
      : progress_(progress), from_(std::move(from)) {}

  // Copies the entries of one folder into another. `fresh` tells that the
  // target folder was made by this copy, so nothing in it can be replaced.
  bool CopyContents(int from_dir, int to_dir, bool fresh) {
    FolderEntries entries;
    if (auto ec = entries.Read(from_dir)) {
      failure_.Note(from_, "", ec);
      return false;
    }
    FoldedNames existing;
    if (!fresh) existing.Read(to_dir);
    existing.Source(entries);
    bool ok = true;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (failure_.stopped()) return false;
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
          if (auto ec = CopyLinkAt(from_dir, name, to_dir, to_name, !fresh)) {
            failure_.Note(from_, name, ec);
            ok = false;
          }
          break;
        case EntryType::kOther:
          if (!CopySpecial(from_dir, name, to_dir)) {
            failure_.Note(from_, name);
            ok = false;
          }
          break;
      }
    }
    return ok;
  }

  // Copies the folder `name` of `from_dir` into `to_dir` as `to_name`.
  bool CopyFolder(int from_dir, const char* name, int to_dir, const char* to_name, bool fresh) {
    const UniqueFd from = OpenFolderAt(from_dir, name);
    struct stat st;
    if (!from.valid() || ::fstat(from.get(), &st) != 0) {
      failure_.Note(from_, name);
      return false;
    }
    const size_t size = from_.size();
    from_ += from_ == "/" ? name : "/" + std::string(name);
    const bool ok = CopyFolderFrom(from.get(), st, to_dir, to_name, fresh);
    from_.resize(size);
    return ok;
  }

  // Copies the open folder `from` to the entry `name` of `to_dir`.
  bool CopyFolderFrom(int from, const struct stat& st, int to_dir, const char* name, bool fresh) {
    // Made writable for the copy; the source's permission bits follow.
    bool made = ::mkdirat(to_dir, name, (st.st_mode & 0777) | S_IRWXU) == 0;
    if (!made && (fresh || errno != EEXIST)) {
      failure_.Note(from_, "");
      return false;
    }
    const UniqueFd to = OpenFolderAt(to_dir, name);
    if (!to.valid()) {
      failure_.Note(from_, "");
      return false;
    }
    bool ok = CopyContents(from, to.get(), made);
    if (made && ::fchmod(to.get(), st.st_mode & 07777) != 0) {
      failure_.Note(from_, "");
      ok = false;
    }
    return ok;
  }

  bool CopyFile(int from_dir, const char* name, int to_dir, const char* to_name, bool fresh) {
    uint64_t bytes = 0;
    std::error_code ec = CopyFileAt(from_dir, name, to_dir, to_name, reflink_failed_, &bytes);
    if (ec == std::errc::file_exists && !fresh) {
      ec = CopyFileAtomicallyAt(from_dir, name, to_dir, to_name, /*replace=*/true, reflink_failed_,
                                &bytes);
    }
    if (ec) {
      failure_.Note(from_, name, ec);
      return false;
    }
    totals_.files += 1;
    totals_.bytes += bytes;
    if (progress_ && !progress_(totals_)) failure_.Stopped();
    return true;
  }

  // Pipes, sockets and devices are made anew, never opened.
  static bool CopySpecial(int from_dir, const char* name, int to_dir) {
    struct stat st;
    if (::fstatat(from_dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return ::mknodat(to_dir, name, st.st_mode, st.st_rdev) == 0;
  }

  const FirstFailure& failure() const { return failure_; }

 private:
  const TreeProgressFn& progress_;
  std::string from_;
  FirstFailure failure_;
  TreeProgress totals_;
  bool reflink_failed_ = false;
};

// Copies as planned, merging into an existing target. On failure `failure`
// holds the first entry that failed.
bool CopyPlanned(const Transfer& t, const TreeProgressFn& progress, FirstFailure& failure) {
  if (!MakeFolders(t.target_folder)) {
    failure.NoteAs("could not make the folder", t.target_folder);
    return false;
  }
  const UniqueFd folder(::open(t.target_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) {
    failure.NoteAs("could not open the folder", t.target_folder);
    return false;
  }
  if (S_ISREG(t.source_stat.st_mode)) {
    bool reflink_failed = false;
    const std::error_code ec =
        CopyFileAtomicallyAt(AT_FDCWD, t.source.c_str(), folder.get(), t.target_name.c_str(),
                             /*replace=*/true, reflink_failed);
    if (ec) failure.Note(t.source, "", ec);
    return !ec;
  }
  if (!S_ISDIR(t.source_stat.st_mode)) {
    failure.Note(t.source, "", NotRegularFile());
    return false;
  }
  const UniqueFd from(::open(t.source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!from.valid()) {
    failure.Note(t.source, "");
    return false;
  }
  TreeCopier copier(progress, t.source);
  const bool ok = copier.CopyFolderFrom(from.get(), t.source_stat, folder.get(),
                                        t.target_name.c_str(), /*fresh=*/false);
  if (!ok) failure = copier.failure();
  return ok;
}

// Running totals of a deletion, for a caller that asked for them.
struct DeleteCount {
  const TreeProgressFn* progress = nullptr;
  TreeProgress done;
};

// Deletes what the folder open at `dir` (host path `path`) holds. Another
// file system mounted in the tree is not entered: what it holds is not part
// of the folder (a disk image being prepared, a bound folder).
bool DeleteContents(int dir, std::string& path, DeleteCount* count, FirstFailure& failure) {
  FolderEntries entries;
  struct stat here;
  if (auto ec = entries.Read(dir)) {
    failure.Note(path, "", ec);
    return false;
  }
  if (::fstat(dir, &here) != 0) {
    failure.Note(path, "");
    return false;
  }
  bool ok = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (failure.stopped()) return false;
    const char* name = entries.CName(i);
    if (entries.Type(i) == EntryType::kDirectory) {
      const UniqueFd sub = OpenFolderAt(dir, name);
      struct stat st;
      if (!sub.valid() || ::fstat(sub.get(), &st) != 0) {
        failure.Note(path, name);
        ok = false;
      } else if (st.st_dev != here.st_dev) {
        failure.NoteReason(path, name, "another file system is mounted there");
        ok = false;
        continue;
      } else {
        const size_t size = path.size();
        path += path == "/" ? name : "/" + std::string(name);
        ok = DeleteContents(sub.get(), path, count, failure) && ok;
        path.resize(size);
      }
      if (::unlinkat(dir, name, AT_REMOVEDIR) != 0) {
        failure.Note(path, name);
        ok = false;
      }
      continue;
    }
    struct stat st;
    const bool sized = count != nullptr && ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (::unlinkat(dir, name, 0) != 0) {
      failure.Note(path, name);
      ok = false;
      continue;
    }
    if (count != nullptr) {
      ++count->done.files;
      if (sized && S_ISREG(st.st_mode)) count->done.bytes += static_cast<uint64_t>(st.st_size);
      if (!(*count->progress)(count->done)) failure.Stopped();
    }
  }
  return ok;
}

bool DeleteHostTree(const std::string& host, DeleteCount* count, FirstFailure& failure) {
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) {
    failure.Note(host, "");
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    if (::unlink(host.c_str()) == 0) return true;
    failure.Note(host, "");
    return false;
  }
  // The root folder is never deleted (an empty variable in a path must not
  // wipe the system).
  if (RealPath(host) == "/") {
    failure.Note(host, "", std::make_error_code(std::errc::operation_not_permitted));
    return false;
  }
  bool ok = false;
  {
    const UniqueFd dir(
        ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!dir.valid()) {
      failure.Note(host, "");
    } else {
      std::string path = host;
      ok = DeleteContents(dir.get(), path, count, failure);
    }
  }
  if (::rmdir(host.c_str()) == 0) return ok;
  failure.Note(host, "");
  return false;
}

bool DeleteHostTree(const std::string& host) {
  FirstFailure ignored;
  return DeleteHostTree(host, nullptr, ignored);
}

// Moves the entries of one folder into an existing folder by renaming them,
// descending where both sides hold a folder of the same name. Sets
// `across` when an entry lies on another file system.
bool MergeByRename(int from_dir, std::string& from_path, int to_dir, bool& across,
                   FirstFailure& failure) {
  FolderEntries entries;
  if (auto ec = entries.Read(from_dir)) {
    failure.Note(from_path, "", ec);
    return false;
  }
  FoldedNames existing;
  existing.Read(to_dir);
  existing.Source(entries);
  bool ok = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    const char* name = entries.CName(i);
    const char* to_name = existing.Match(name);
    const std::error_code ec = RenameNoReplaceAt(from_dir, name, to_dir, to_name);
    if (!ec) continue;
    if (ec.value() == EXDEV) across = true;
    struct stat target;
    if (ec.value() != EEXIST || ::fstatat(to_dir, to_name, &target, AT_SYMLINK_NOFOLLOW) != 0) {
      if (ec.value() != EXDEV) failure.Note(from_path, name, ec);
      ok = false;
      continue;
    }
    const bool from_is_folder = entries.Type(i) == EntryType::kDirectory;
    if (from_is_folder && S_ISDIR(target.st_mode)) {
      const UniqueFd from = OpenFolderAt(from_dir, name);
      const UniqueFd to = OpenFolderAt(to_dir, to_name);
      bool merged = false;
      if (!from.valid() || !to.valid()) {
        failure.Note(from_path, name);
      } else {
        const size_t size = from_path.size();
        from_path += from_path == "/" ? name : "/" + std::string(name);
        merged = MergeByRename(from.get(), from_path, to.get(), across, failure);
        from_path.resize(size);
      }
      if (merged && ::unlinkat(from_dir, name, AT_REMOVEDIR) != 0) {
        failure.Note(from_path, name);
        merged = false;
      }
      ok = merged && ok;
    } else if (!from_is_folder && !S_ISDIR(target.st_mode)) {
      if (::renameat(from_dir, name, to_dir, to_name) != 0) {
        failure.Note(from_path, name);
        ok = false;
      }
    } else {
      failure.Note(from_path, name,
                   std::make_error_code(from_is_folder ? std::errc::not_a_directory
                                                       : std::errc::is_a_directory));
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
              const TreeProgressFn& progress, std::string* why) {
  std::string plan_failure;
  const std::optional<Transfer> t = PlanTransfer(resolver, source, destination, plan_failure);
  if (!t) {
    if (why != nullptr) *why = plan_failure;
    return false;
  }
  FirstFailure failure;
  if (CopyPlanned(*t, progress, failure)) return true;
  if (why != nullptr) *why = failure.Text("could not copy");
  return false;
}

bool MoveTree(std::string_view source, std::string_view destination,
              const TreeProgressFn& progress) {
  CaseResolver resolver;
  return MoveTree(resolver, source, destination, progress);
}

namespace {

// The move across file systems, once everything is copied: the copy is
// flushed to the disk, then the source is deleted. What cannot be deleted
// stays, and so does the complete copy.
bool DeleteMovedSource(const Transfer& t, std::string* why) {
  FirstFailure failure;
  const UniqueFd folder(::open(t.target_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid() || ::syncfs(folder.get()) != 0) {
    failure.Note(t.target_folder, "");
    if (why != nullptr) {
      *why = "could not flush the copy at \"" + t.target + "\" to the disk (" + failure.reason() +
             "); the source is complete";
    }
    return false;
  }
  if (DeleteHostTree(t.source, nullptr, failure)) return true;
  if (why != nullptr) {
    *why = "the copy at \"" + t.target + "\" is complete; \"" + failure.path() +
           "\" could not be deleted from the source (" + failure.reason() +
           "), so what could not be deleted stays in the source";
  }
  return false;
}

// A move that stopped in its copy: the source is complete.
bool CopyFailed(const FirstFailure& failure, bool removed, std::string* why) {
  if (why != nullptr) {
    *why = failure.Text("could not copy") + "; the source is complete" +
           (removed ? " and the partial copy was removed" : "");
  }
  return false;
}

}  // namespace

bool MoveTree(CaseResolver& resolver, std::string_view source, std::string_view destination,
              const TreeProgressFn& progress, std::string* why) {
  std::string plan_failure;
  const std::optional<Transfer> t = PlanTransfer(resolver, source, destination, plan_failure);
  if (!t) {
    if (why != nullptr) *why = plan_failure;
    return false;
  }
  FirstFailure failure;
  if (!MakeFolders(t->target_folder)) {
    failure.Note(t->target_folder, "");
    if (why != nullptr) *why = failure.Text("could not make the folder");
    return false;
  }
  const bool is_folder = S_ISDIR(t->source_stat.st_mode);
  if (!t->target_exists) {
    const std::error_code ec =
        RenameNoReplaceAt(AT_FDCWD, t->source.c_str(), AT_FDCWD, t->target.c_str());
    if (!ec) return true;
    if (ec.value() != EXDEV) {
      failure.Note(t->source, "", ec);
      if (why != nullptr) *why = failure.Text("could not move");
      return false;
    }
    // Another file system: copy everything first; a failed copy is removed.
    if (!CopyPlanned(*t, progress, failure)) {
      return CopyFailed(failure, DeleteHostTree(t->target), why);
    }
    return DeleteMovedSource(*t, why);
  }
  if (!is_folder) {
    if (::rename(t->source.c_str(), t->target.c_str()) == 0) return true;
    if (errno != EXDEV) {
      failure.Note(t->source, "");
      if (why != nullptr) *why = failure.Text("could not move");
      return false;
    }
    if (!CopyPlanned(*t, progress, failure)) return CopyFailed(failure, false, why);
    return DeleteMovedSource(*t, why);
  }
  bool across = false;
  {
    const UniqueFd from(::open(t->source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const UniqueFd to(::open(t->target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid() || !to.valid()) {
      failure.Note(from.valid() ? t->target : t->source, "");
      if (why != nullptr) *why = failure.Text("could not open");
      return false;
    }
    std::string from_path = t->source;
    if (MergeByRename(from.get(), from_path, to.get(), across, failure)) {
      if (::rmdir(t->source.c_str()) == 0) return true;
      failure.Note(t->source, "");
    }
  }
  // What could not be renamed stays in the source; across file systems the
  // rest is copied over and the source deleted only when all of it arrived.
  if (!across) {
    if (why != nullptr) *why = failure.Text("could not move") + "; it stays in the source";
    return false;
  }
  FirstFailure copy_failure;
  if (!CopyPlanned(*t, progress, copy_failure)) return CopyFailed(copy_failure, false, why);
  return DeleteMovedSource(*t, why);
}

bool DeleteTree(std::string_view path) {
  CaseResolver resolver;
  return DeleteTree(resolver, path);
}

bool DeleteTree(CaseResolver& resolver, std::string_view path, const TreeProgressFn& progress,
                std::string* why) {
  const std::string host = WithoutTrailingSlashes(resolver.Resolve(path));
  if (host.empty()) return false;
  DeleteCount count;
  count.progress = &progress;
  FirstFailure failure;
  if (DeleteHostTree(host, progress ? &count : nullptr, failure)) return true;
  if (why != nullptr) *why = failure.Text("could not delete");
  return false;
}

}  // namespace pelvar::platform
