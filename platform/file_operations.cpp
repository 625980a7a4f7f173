#include "platform/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/case_resolver.h"
#include "platform/file_primitives.h"
#include "platform/file_system.h"

namespace pelvar::platform {

namespace {

// The last component of a script path as written.
std::string WrittenName(std::string_view script_path) {
  std::string path(script_path);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::string folder;
  std::string name;
  SplitHostPath(path, folder, name);
  return name;
}

// Moves an entry to another file system: `make(dir, name)` makes it again
// in the target's folder, which reaches the disk before the old entry goes.
template <typename Make>
std::error_code MoveAcross(const std::string& from, const std::string& to, Make&& make) {
  std::string folder;
  std::string name;
  SplitHostPath(to, folder, name);
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return LastError();
  if (auto ec = make(dir.get(), name.c_str())) return ec;
  if (::syncfs(dir.get()) != 0) {
    const std::error_code ec = LastError();
    ::unlinkat(dir.get(), name.c_str(), 0);
    return ec;
  }
  if (::unlink(from.c_str()) != 0) {
    const std::error_code ec = LastError();
    ::unlinkat(dir.get(), name.c_str(), 0);
    return ec;
  }
  return {};
}

// A file is copied (data, permissions, times) and then deleted.
std::error_code MoveFileAcross(const std::string& from, const std::string& to) {
  return MoveAcross(from, to, [&](int dir, const char* name) {
    bool reflink_failed = false;
    return CopyFileAtomicallyAt(AT_FDCWD, from.c_str(), dir, name, /*replace=*/false,
                                reflink_failed);
  });
}

// A symbolic link is made again at the new place, as mv moves it: the same
// text, so it stays a link, naming what that text names from there.
std::error_code MoveLinkAcross(const std::string& from, const std::string& to) {
  return MoveAcross(from, to, [&](int dir, const char* name) {
    return CopyLinkAt(AT_FDCWD, from.c_str(), dir, name, /*replace=*/false);
  });
}

}  // namespace

std::error_code DeleteFile(std::string_view path) {
  CaseResolver resolver;
  return DeleteFile(resolver, path);
}

std::error_code DeleteFile(CaseResolver& resolver, std::string_view path) {
  const std::string host = WithoutTrailingSlashes(resolver.Resolve(path));
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return {EISDIR, std::system_category()};
  if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return {EACCES, std::system_category()};
  if (::unlink(host.c_str()) != 0) return LastError();
  std::string folder;
  std::string name;
  SplitHostPath(host, folder, name);
  resolver.Removed(folder, name);
  return {};
}

std::error_code CreateDirectory(std::string_view path) {
  CaseResolver resolver;
  return CreateDirectory(resolver, path);
}

std::error_code CreateDirectory(CaseResolver& resolver, std::string_view path) {
  const std::string host = WithoutTrailingSlashes(resolver.Resolve(path));
  if (::mkdir(host.c_str(), 0777) != 0) return LastError();
  std::string folder;
  std::string name;
  SplitHostPath(host, folder, name);
  resolver.Added(folder, name);
  return {};
}

std::error_code MoveFile(std::string_view from, std::string_view to) {
  CaseResolver resolver;
  return MoveFile(resolver, from, to);
}

std::error_code MoveFile(CaseResolver& resolver, std::string_view from, std::string_view to) {
  const std::string host_from = WithoutTrailingSlashes(resolver.Resolve(from));
  std::string host_to = WithoutTrailingSlashes(resolver.Resolve(to));
  struct stat a;
  struct stat b;
  if (::lstat(host_from.c_str(), &a) != 0) return LastError();
  if (::lstat(host_to.c_str(), &b) == 0) {
    std::string folder;
    std::string name;
    SplitHostPath(host_to, folder, name);
    const std::string written = WrittenName(to);
    // Only a change of letter case of the entry itself is allowed through:
    // a target found under another spelling was matched ignoring case.
    if (a.st_dev != b.st_dev || a.st_ino != b.st_ino || written == name) {
      return {EEXIST, std::system_category()};
    }
    host_to = (folder == "/" ? folder : folder + "/") + written;
    if (::rename(host_from.c_str(), host_to.c_str()) != 0) return LastError();
    resolver.Removed(folder, name);
    resolver.Added(folder, written);
    return {};
  }
  std::error_code ec = RenameNoReplaceAt(AT_FDCWD, host_from.c_str(), AT_FDCWD, host_to.c_str());
  if (ec.value() == EXDEV && S_ISREG(a.st_mode)) ec = MoveFileAcross(host_from, host_to);
  if (ec.value() == EXDEV && S_ISLNK(a.st_mode)) ec = MoveLinkAcross(host_from, host_to);
  if (!ec) {
    std::string folder;
    std::string name;
    SplitHostPath(host_from, folder, name);
    resolver.Removed(folder, name);
    if (S_ISDIR(a.st_mode)) resolver.ForgetTree(host_from);
    SplitHostPath(host_to, folder, name);
    resolver.Added(folder, name);
  }
  return ec;
}

std::error_code CopyFile(std::string_view from, std::string_view to, bool replace) {
  CaseResolver resolver;
  return CopyFile(resolver, from, to, replace);
}

std::error_code CopyFile(CaseResolver& resolver, std::string_view from, std::string_view to,
                         bool replace, CopiedFile* copied, bool* reflink_failed,
                         TargetCase target_case) {
  const std::string host_from = resolver.Resolve(from);
  std::string folder;
  std::string name;
  const std::string host_to =
      target_case == TargetCase::kAsWritten ? resolver.ResolveFolderOf(to) : resolver.Resolve(to);
  // One look at the target: a link there is followed (the file it names is
  // replaced), but a link to nothing is not (the copy would land wherever it
  // points); nothing there needs no second look before the copy.
  struct stat st;
  bool missing = false;
  if (replace) {
    if (::lstat(host_to.c_str(), &st) != 0) {
      missing = errno == ENOENT;
      SplitHostPath(host_to, folder, name);
    } else if (S_ISLNK(st.st_mode)) {
      const std::string followed = FollowLinks(host_to);
      struct stat target;
      if (::lstat(followed.c_str(), &target) != 0 && errno == ENOENT) return DanglingLink();
      SplitHostPath(followed, folder, name);
    } else {
      SplitHostPath(host_to, folder, name);
    }
  } else {
    SplitHostPath(host_to, folder, name);
  }
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return LastError();
  if (replace && !missing && ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(st.st_mode)) return {EISDIR, std::system_category()};
    if (!S_ISREG(st.st_mode)) return {EINVAL, std::system_category()};
    if ((st.st_mode & 0222) == 0) return {EACCES, std::system_category()};
  }
  bool local_reflink_failed = false;
  const std::error_code ec = CopyFileAtomicallyAt(
      AT_FDCWD, host_from.c_str(), dir.get(), name.c_str(), replace,
      reflink_failed != nullptr ? *reflink_failed : local_reflink_failed, nullptr, missing);
  if (ec) return ec;
  resolver.Added(folder, name);
  if (copied != nullptr) *copied = CopiedFile{std::move(dir), std::move(folder), std::move(name)};
  return {};
}

}  // namespace pelvar::platform
