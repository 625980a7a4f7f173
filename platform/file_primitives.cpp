#include "platform/file_primitives.h"

#include "platform/file_system.h"
#include "platform/temp_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace pelvar::platform {

namespace {

// True for the errors that mean "this file system cannot do that here", after
// which a simpler way is tried.
bool IsUnsupported(int err) {
  return err == EOPNOTSUPP || err == ENOTTY || err == EINVAL || err == EXDEV || err == ENOSYS ||
         err == EPERM || err == EBADF || err == ETXTBSY;
}

// The progress of this thread's data copies (DataProgressScope).
thread_local const DataProgressFn* data_progress = nullptr;

// Between two reports of a copy's progress.
constexpr uint64_t kProgressChunk = uint64_t{8} << 20;

// Reports `copied` bytes when a scope asks for them; false when it cuts
// the copy.
bool ReportData(uint64_t copied) {
  return data_progress == nullptr || (*data_progress)(copied);
}

std::error_code Cancelled() {
  return {ECANCELED, std::system_category()};
}

std::error_code CopyByReadWrite(int from_fd, int to_fd, uint64_t copied) {
  std::vector<char> buffer(1 << 17);
  uint64_t reported = copied;
  for (;;) {
    if (copied - reported >= kProgressChunk) {
      if (!ReportData(copied)) return Cancelled();
      reported = copied;
    }
    const ssize_t n = ::read(from_fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return ReportData(copied) ? std::error_code() : Cancelled();
    copied += static_cast<uint64_t>(n);
    size_t done = 0;
    while (done < static_cast<size_t>(n)) {
      const ssize_t w = ::write(to_fd, buffer.data() + done, static_cast<size_t>(n) - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      done += static_cast<size_t>(w);
    }
  }
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

EntryType TypeOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kFile;
  if (S_ISDIR(mode)) return EntryType::kDirectory;
  if (S_ISLNK(mode)) return EntryType::kLink;
  return EntryType::kOther;
}

std::error_code FolderEntries::Read(int dir_fd) {
  names_.clear();
  entries_.clear();
  // The stream gets its own descriptor, so closing it leaves dir_fd open.
  const int own = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own < 0) return LastError();
  DIR* dir = ::fdopendir(own);
  if (dir == nullptr) {
    const std::error_code ec = LastError();
    ::close(own);
    return ec;
  }
  errno = 0;
  while (dirent* e = ::readdir(dir)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    EntryType type;
    switch (e->d_type) {
      case DT_REG:
        type = EntryType::kFile;
        break;
      case DT_DIR:
        type = EntryType::kDirectory;
        break;
      case DT_LNK:
        type = EntryType::kLink;
        break;
      case DT_UNKNOWN: {
        struct stat st;
        type = ::fstatat(dir_fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 ? TypeOfMode(st.st_mode)
                                                                   : EntryType::kOther;
        break;
      }
      default:
        type = EntryType::kOther;
    }
    const size_t length = std::strlen(n);
    entries_.push_back(Entry{e->d_ino, names_.size(), length, type});
    names_.append(n, length + 1);  // keeps the terminating NUL
  }
  const int err = errno;
  ::closedir(dir);
  if (err != 0) return {err, std::system_category()};
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.inode < b.inode; });
  return {};
}

std::string_view FolderEntries::Name(size_t i) const {
  return std::string_view(names_.data() + entries_[i].offset, entries_[i].length);
}

UniqueFd OpenFolderAt(int dir_fd, const char* name) {
  return UniqueFd(
      ::openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
}

std::error_code CopyFileData(int from_fd, int to_fd, bool& reflink_failed, int64_t size) {
  if (!reflink_failed) {
    if (::ioctl(to_fd, FICLONE, from_fd) == 0) return {};
    if (!IsUnsupported(errno)) return LastError();
    reflink_failed = true;
  }
  bool copied_any = false;
  int64_t copied = 0;
  // Under a progress scope the copy goes in chunks, each one reported.
  const size_t chunk = data_progress != nullptr ? kProgressChunk : size_t{1} << 30;
  for (;;) {
    const ssize_t n = ::copy_file_range(from_fd, nullptr, to_fd, nullptr, chunk, 0);
    if (n > 0) {
      copied_any = true;
      copied += n;
      if (!ReportData(static_cast<uint64_t>(copied))) return Cancelled();
      // The whole size the source had when opened: no call to learn its end.
      if (size > 0 && copied >= size) return {};
      continue;
    }
    if (n == 0) return {};
    if (errno == EINTR) continue;
    // Without in-kernel copying the rest goes through a buffer; the offsets
    // of both files stand where the kernel left them.
    if (IsUnsupported(errno) && (!copied_any || errno == EXDEV)) break;
    return LastError();
  }
  return CopyByReadWrite(from_fd, to_fd, static_cast<uint64_t>(copied));
}

DataProgressScope::DataProgressScope(DataProgressFn progress)
    : progress_(std::move(progress)), outer_(data_progress) {
  data_progress = &progress_;
}

DataProgressScope::~DataProgressScope() {
  data_progress = outer_;
}

std::error_code CopyFileAttributes(int to_fd, const struct stat& source) {
  if (::fchmod(to_fd, source.st_mode & 0777) != 0) return LastError();
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  if (::futimens(to_fd, times) != 0) return LastError();
  return {};
}

std::error_code CopyFileAt(int from_dir, const char* from_name, int to_dir, const char* to_name,
                           bool& reflink_failed, uint64_t* bytes) {
  const UniqueFd in(::openat(from_dir, from_name, O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!in.valid()) return LastError();
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return {S_ISDIR(st.st_mode) ? EISDIR : EINVAL, std::system_category()};
  const UniqueFd out(::openat(to_dir, to_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                              (st.st_mode & 0777) | S_IWUSR));
  if (!out.valid()) return LastError();
  std::error_code ec = CopyFileData(in.get(), out.get(), reflink_failed, st.st_size);
  if (!ec) ec = CopyFileAttributes(out.get(), st);
  if (ec) {
    ::unlinkat(to_dir, to_name, 0);
    return ec;
  }
  if (bytes != nullptr) *bytes = static_cast<uint64_t>(st.st_size);
  return {};
}

namespace {

// The copy made as a file without a name in the target's folder, which gets
// the target's name once it is whole (a link never replaces anything). A
// crash before that leaves nothing behind. Unsupported (ENOTSUP) where the
// file system cannot make such files or /proc is missing; EEXIST when a
// file took the name meanwhile.
std::error_code CopyAsUnnamedFileAt(int from_dir, const char* from_name, int to_dir,
                                    const char* to_name, bool& reflink_failed, uint64_t* bytes) {
  const UniqueFd in(::openat(from_dir, from_name, O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!in.valid()) return LastError();
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return {S_ISDIR(st.st_mode) ? EISDIR : EINVAL, std::system_category()};
  const UniqueFd out(::openat(to_dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC | O_NOCTTY,
                              (st.st_mode & 0777) | S_IWUSR));
  if (!out.valid()) {
    return IsUnsupported(errno) || errno == EISDIR || errno == ENOENT
               ? std::error_code(ENOTSUP, std::system_category())
               : LastError();
  }
  if (auto ec = CopyFileData(in.get(), out.get(), reflink_failed, st.st_size)) return ec;
  if (auto ec = CopyFileAttributes(out.get(), st)) return ec;
  const std::string self = "/proc/self/fd/" + std::to_string(out.get());
  if (::linkat(AT_FDCWD, self.c_str(), to_dir, to_name, AT_SYMLINK_FOLLOW) != 0) {
    return errno == EEXIST ? LastError() : std::error_code(ENOTSUP, std::system_category());
  }
  if (bytes != nullptr) *bytes = static_cast<uint64_t>(st.st_size);
  return {};
}

}  // namespace

std::error_code CopyFileAtomicallyAt(int from_dir, const char* from_name, int to_dir,
                                     const char* to_name, bool replace, bool& reflink_failed,
                                     uint64_t* bytes, bool known_missing) {
  // A name that is free needs no temporary name and no rename.
  struct stat existing;
  if (known_missing ||
      (::fstatat(to_dir, to_name, &existing, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)) {
    const std::error_code ec =
        CopyAsUnnamedFileAt(from_dir, from_name, to_dir, to_name, reflink_failed, bytes);
    if (ec != std::errc::not_supported && (ec != std::errc::file_exists || !replace)) return ec;
  } else if (!replace) {
    return {EEXIST, std::system_category()};
  }
  std::string temp;
  std::error_code ec;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    temp = TemporaryFileName();
    ec = CopyFileAt(from_dir, from_name, to_dir, temp.c_str(), reflink_failed, bytes);
    if (ec != std::errc::file_exists) break;
  }
  if (ec) return ec;
  if (replace) {
    struct stat st;
    if (::fstatat(to_dir, to_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
      ec = {EISDIR, std::system_category()};
    } else if (::renameat(to_dir, temp.c_str(), to_dir, to_name) != 0) {
      ec = LastError();
    }
  } else {
    ec = RenameNoReplaceAt(to_dir, temp.c_str(), to_dir, to_name);
  }
  if (ec) ::unlinkat(to_dir, temp.c_str(), 0);
  return ec;
}

std::string FollowLinks(const std::string& host) {
  std::string path = host;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0) return path;
    link.resize(static_cast<size_t>(n));
    if (link[0] == '/') {
      path = link;
    } else {
      std::string folder;
      std::string name;
      SplitHostPath(WithoutTrailingSlashes(path), folder, name);
      path = (folder == "/" ? folder : folder + "/") + link;
    }
  }
  return path;
}

std::error_code RenameNoReplaceAt(int from_dir, const char* from_name, int to_dir,
                                  const char* to_name) {
  if (::renameat2(from_dir, from_name, to_dir, to_name, RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return LastError();
  // No exclusive rename here: a hard link cannot replace anything.
  struct stat st;
  if (::fstatat(from_dir, from_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) {
    // Folders cannot be linked; check and rename (a folder is never
    // replaced by rename unless the target is an empty folder).
    if (::fstatat(to_dir, to_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      return {EEXIST, std::system_category()};
    }
    if (::renameat(from_dir, from_name, to_dir, to_name) != 0) return LastError();
    return {};
  }
  if (::linkat(from_dir, from_name, to_dir, to_name, 0) != 0) return LastError();
  if (::unlinkat(from_dir, from_name, 0) != 0) {
    const std::error_code ec = LastError();
    ::unlinkat(to_dir, to_name, 0);
    return ec;
  }
  return {};
}

std::error_code CopyLinkAt(int from_dir, const char* from_name, int to_dir, const char* to_name,
                           bool replace) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = ::readlinkat(from_dir, from_name, target.data(), target.size());
    if (n < 0) return LastError();
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      break;
    }
    target.resize(target.size() * 2);
  }
  if (::symlinkat(target.c_str(), to_dir, to_name) == 0) return {};
  if (errno != EEXIST || !replace) return LastError();
  struct stat st;
  if (::fstatat(to_dir, to_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    return {EISDIR, std::system_category()};
  }
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = TemporaryFileName();
    if (::symlinkat(target.c_str(), to_dir, temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return LastError();
    }
    if (::renameat(to_dir, temp.c_str(), to_dir, to_name) != 0) {
      const std::error_code ec = LastError();
      ::unlinkat(to_dir, temp.c_str(), 0);
      return ec;
    }
    return {};
  }
  return {EEXIST, std::system_category()};
}

std::string WithoutTrailingSlashes(std::string host) {
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

void SplitHostPath(const std::string& host, std::string& folder, std::string& name) {
  const std::string path = WithoutTrailingSlashes(host);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else if (slash == 0) {
    folder = "/";
    name = path.substr(1);
  } else {
    folder = path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

}  // namespace pelvar::platform
