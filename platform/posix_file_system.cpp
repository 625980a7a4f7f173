#include "platform/posix_file_system.h"

#include "platform/private_temp_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/file_operations.h"
#include "platform/file_primitives.h"
#include "platform/host_file.h"
#include "platform/private_temp_folder.h"
#include "platform/system_folders.h"
#include "platform/temp_names.h"
#include "platform/tree_operations.h"

namespace pelvar::platform {

namespace {

std::error_code Errno(int e) {
  return {e, std::system_category()};
}

// Why a file at `st` may not be replaced or read as a file; none when it may.
std::error_code RefuseNonFile(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return Errno(EISDIR);
  if (!S_ISREG(st.st_mode)) return NotRegularFile();
  return {};
}

// A read-only file: no write permission at all, or none for this user.
bool IsReadOnly(const struct stat& st, const std::string& host) {
  if ((st.st_mode & 0222) == 0) return true;
  return ::geteuid() != 0 && ::faccessat(AT_FDCWD, host.c_str(), W_OK, AT_EACCESS) != 0 &&
         errno == EACCES;
}

std::error_code LockFd(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return LastError();
  }
  return {};
}

class PosixFileReader : public FileReader {
 public:
  PosixFileReader(UniqueFd fd, uint64_t size) : fd_(std::move(fd)), size_(size) {}
  uint64_t size() const override { return size_; }

 protected:
  std::error_code ReadOnce(uint64_t offset, char* buffer, size_t count, size_t& got) override {
    const ssize_t n = ::pread(fd_.get(), buffer, count, static_cast<off_t>(offset));
    if (n < 0) return LastError();
    got = static_cast<size_t>(n);
    return {};
  }

 private:
  UniqueFd fd_;
  uint64_t size_;
};

// Opens a regular file for reading; pipes and devices are never opened.
std::error_code OpenHostReader(const std::string& host, std::unique_ptr<FileReader>& out) {
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return LastError();
  if (auto ec = RefuseNonFile(st)) return ec;
  UniqueFd fd(::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return LastError();
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (auto ec = RefuseNonFile(st)) return ec;
  out = std::make_unique<PosixFileReader>(std::move(fd), static_cast<uint64_t>(st.st_size));
  return {};
}

class PosixFileWriter : public FileWriter {
 public:
  PosixFileWriter(PosixFileSystem& fs, Durability durability, int held_lock,
                  PosixFileSystem::AtLink at_link)
      : fs_(fs), durability_(durability), held_lock_(held_lock), at_link_(at_link) {}
  ~PosixFileWriter() override { Discard(); }

  std::error_code Open(const std::string& host) {
    target_ = at_link_ == PosixFileSystem::AtLink::kFollow ? FollowLinks(host) : host;
    if (target_ != host) {
      struct stat st;
      if (::lstat(target_.c_str(), &st) != 0 && errno == ENOENT) return DanglingLink();
    }
    SplitHostPath(target_, folder_, name_);
    dir_ = UniqueFd(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir_.valid()) return LastError();
    if (auto ec = Lock()) return ec;
    return CreateTemp();
  }

  FileReader* old() override { return old_.get(); }

  std::error_code Write(std::string_view data) override {
    if (error_) return error_;
    size_ += data.size();
    if (buffer_.size() + data.size() > kBuffer) {
      Flush();
      if (data.size() >= kBuffer) {
        WriteOut(data);
        return error_;
      }
    }
    buffer_.append(data);
    return error_;
  }

  std::error_code Truncate(uint64_t size) override {
    Flush();
    if (error_) return error_;
    if (size > size_) return Errno(EINVAL);
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0 ||
        ::lseek(fd_.get(), static_cast<off_t>(size), SEEK_SET) < 0) {
      error_ = LastError();
    }
    size_ = size;
    written_ = size;
    sent_ = std::min(sent_, size);
    return error_;
  }

  uint64_t size() const override { return size_; }

  std::string temp_host_path() const override {
    if (temp_.empty()) return {};
    return (folder_ == "/" ? folder_ : folder_ + "/") + temp_;
  }

  std::error_code Commit() override {
    if (!fd_.valid()) return error_ ? error_ : Errno(EBADF);
    Flush();
    const bool rewrite = durability_ == Durability::kRewrite ||
                         (durability_ == Durability::kBulk && !fs_.in_command());
    if (!error_ && rewrite && ::fsync(fd_.get()) != 0) error_ = LastError();
    if (!error_ && durability_ == Durability::kBulk)
      error_ = fs_.BulkWritten(dir_.get(), fd_.get());
    if (::close(fd_.Release()) != 0 && !error_) error_ = LastError();
    if (!error_ && ::renameat(dir_.get(), temp_.c_str(), dir_.get(), name_.c_str()) != 0) {
      error_ = LastError();
    }
    if (error_) {
      Discard();
      return error_;
    }
    temp_.clear();
    // The new name is in the folder; flushing the folder makes it stay.
    if (rewrite && ::fsync(dir_.get()) != 0) error_ = LastError();
    fs_.Written(dir_.get(), folder_, name_);
    lock_ = UniqueFd();
    old_.reset();
    return error_;
  }

 private:
  static constexpr size_t kBuffer = size_t{1} << 16;
  static constexpr uint64_t kWriteBackPiece = uint64_t{8} << 20;

  // Checks the target and, for a rewrite, locks it: the file itself, or its
  // folder while it does not exist, checked again once the lock is held so
  // a file replaced meanwhile by another writer is locked anew.
  std::error_code Lock() {
    if (held_lock_ >= 0) return AdoptLock();
    for (int attempt = 0; attempt < 1000; ++attempt) {
      struct stat st;
      if (auto ec = Look(st)) return ec;
      if (GivesWay(st)) {
        if (durability_ != Durability::kRewrite) return {};
        if (auto ec = LockFd(dir_.get())) return ec;
        if (auto ec = Look(st)) return ec;
        if (GivesWay(st)) {
          folder_locked_ = true;
          return {};
        }
        ::flock(dir_.get(), LOCK_UN);
        continue;
      }
      if (auto ec = RefuseNonFile(st)) return ec;
      if (IsReadOnly(st, target_)) return Errno(EACCES);
      existing_ = st;
      existed_ = true;
      if (durability_ != Durability::kRewrite) return {};
      UniqueFd fd(::openat(dir_.get(), name_.c_str(),
                           O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW));
      if (!fd.valid()) {
        if (errno == ENOENT) continue;
        return LastError();
      }
      if (auto ec = LockFd(fd.get())) return ec;
      struct stat locked;
      struct stat now;
      if (::fstat(fd.get(), &locked) != 0) return LastError();
      if (::fstatat(dir_.get(), name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
          now.st_dev != locked.st_dev || now.st_ino != locked.st_ino) {
        continue;
      }
      if (auto ec = RefuseNonFile(locked)) return ec;
      existing_ = locked;
      UniqueFd reader(::dup(fd.get()));
      if (!reader.valid()) return LastError();
      ::fcntl(reader.get(), F_SETFD, FD_CLOEXEC);
      old_ = std::make_unique<PosixFileReader>(std::move(reader),
                                               static_cast<uint64_t>(locked.st_size));
      lock_ = std::move(fd);
      return {};
    }
    return Errno(EAGAIN);
  }

  // What the target's name names now; st_mode 0 when nothing.
  std::error_code Look(struct stat& st) const {
    const int flags = at_link_ == PosixFileSystem::AtLink::kReplace ? AT_SYMLINK_NOFOLLOW : 0;
    if (::fstatat(dir_.get(), name_.c_str(), &st, flags) == 0) return {};
    if (errno != ENOENT) return LastError();
    st = {};
    return {};
  }

  // Nothing there, or a link that the new file replaces.
  static bool GivesWay(const struct stat& st) { return st.st_mode == 0 || S_ISLNK(st.st_mode); }

  // The caller holds the lock on the target: the descriptor must be the
  // file the target's name names.
  std::error_code AdoptLock() {
    struct stat held;
    struct stat named;
    if (::fstat(held_lock_, &held) != 0) return LastError();
    if (::fstatat(dir_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) return LastError();
    if (named.st_dev != held.st_dev || named.st_ino != held.st_ino) return Errno(ESTALE);
    if (auto ec = RefuseNonFile(held)) return ec;
    if (IsReadOnly(held, target_)) return Errno(EACCES);
    existing_ = held;
    existed_ = true;
    UniqueFd reader(::fcntl(held_lock_, F_DUPFD_CLOEXEC, 0));
    if (!reader.valid()) return LastError();
    old_ =
        std::make_unique<PosixFileReader>(std::move(reader), static_cast<uint64_t>(held.st_size));
    return {};
  }

  std::error_code CreateTemp() {
    // A new file gets the usual permissions (the umask applies); a
    // replacement starts private and takes the old file's owner and mode.
    const mode_t mode = existed_ ? 0600 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
      temp_ = TemporaryFileName();
      fd_ = UniqueFd(::openat(dir_.get(), temp_.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode));
      if (fd_.valid()) break;
      const int e = errno;
      temp_.clear();
      if (e != EEXIST) return Errno(e);
    }
    if (!fd_.valid()) return Errno(EEXIST);
    if (existed_) {
      if (existing_.st_uid != ::geteuid() || existing_.st_gid != ::getegid()) {
        // Not allowed for other users' files unless running as root; the
        // new file is then this user's, as any rewrite by them would be.
        if (::fchown(fd_.get(), existing_.st_uid, existing_.st_gid) != 0) errno = 0;
      }
      if (::fchmod(fd_.get(), existing_.st_mode & 07777) != 0) {
        const std::error_code ec = LastError();
        Discard();
        return ec;
      }
    }
    buffer_.reserve(kBuffer);
    return {};
  }

  void WriteOut(std::string_view data) {
    if (error_) return;
    error_ = WriteFully(data, [this](std::string_view rest, size_t& written) {
      const ssize_t n = ::write(fd_.get(), rest.data(), rest.size());
      if (n < 0) return LastError();
      written = static_cast<size_t>(n);
      return std::error_code();
    });
    if (error_) return;
    written_ += data.size();
    StartWriteBack();
  }

  // A file that will be flushed has what is written of it sent to the disk
  // while the rest is still being made, so the flush at the end waits for
  // the last piece only instead of the whole file. A hint: the flush
  // decides, and its outcome counts.
  void StartWriteBack() {
    if (durability_ == Durability::kScratch || written_ - sent_ < kWriteBackPiece) return;
    (void)::sync_file_range(fd_.get(), static_cast<off_t>(sent_),
                            static_cast<off_t>(written_ - sent_), SYNC_FILE_RANGE_WRITE);
    sent_ = written_;
  }

  void Flush() {
    if (!buffer_.empty() && fd_.valid() && !error_) WriteOut(buffer_);
    buffer_.clear();
  }

  // Drops the temporary file; the target stays as it was.
  void Discard() {
    fd_ = UniqueFd();
    if (!temp_.empty() && dir_.valid()) ::unlinkat(dir_.get(), temp_.c_str(), 0);
    temp_.clear();
    buffer_.clear();
  }

  PosixFileSystem& fs_;
  Durability durability_;
  int held_lock_;  // the caller's locked descriptor of the target, or -1
  PosixFileSystem::AtLink at_link_;
  std::string target_;
  std::string folder_;
  std::string name_;
  std::string temp_;
  UniqueFd dir_;
  UniqueFd lock_;
  UniqueFd fd_;
  std::unique_ptr<PosixFileReader> old_;
  bool folder_locked_ = false;
  bool existed_ = false;
  struct stat existing_ {};
  std::string buffer_;
  uint64_t size_ = 0;
  uint64_t written_ = 0;  // bytes written out to the file (its end)
  uint64_t sent_ = 0;     // of which sent to the disk ahead of the flush
  std::error_code error_;
};

}  // namespace

PosixFileSystem::PosixFileSystem() = default;

PosixFileSystem::~PosixFileSystem() {
  EndCommand();
}

void PosixFileSystem::BeginCommand() {
  in_command_ = true;
  reflink_failed_ = false;
  resolver_.Remember(true);
}

std::error_code PosixFileSystem::EndCommand() {
  in_command_ = false;
  CloseDeleteFolder();
  reflink_failed_ = false;
  last_bulk_folder_.clear();
  resolver_.Remember(false);
  std::error_code result;
  for (auto& [dev, fd] : bulk_) {
    if (::syncfs(fd) != 0 && !result) result = LastError();
    ::close(fd);
  }
  bulk_.clear();
  return result;
}

std::error_code PosixFileSystem::BulkWritten(int dir_fd, int file_fd) {
  if (!in_command_) return {};
  struct stat st;
  if (::fstat(file_fd, &st) != 0) return LastError();
  if (bulk_.count(st.st_dev) != 0) return {};
  const int fd = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return LastError();
  bulk_.emplace(st.st_dev, fd);
  return {};
}

void PosixFileSystem::Written(int dir_fd, const std::string& folder, const std::string& name) {
  resolver_.Added(folder, name);
  for (const std::string& leftover : resolver_.Leftovers(folder)) {
    if (::unlinkat(dir_fd, leftover.c_str(), 0) == 0) resolver_.Removed(folder, leftover);
  }
}

std::string PosixFileSystem::Resolve(std::string_view path) {
  return resolver_.Resolve(path);
}

FileStatus PosixFileSystem::Status(std::string_view path) {
  FileStatus status;
  const std::string host = resolver_.Resolve(path);
  struct stat st;
  if (host.empty() || ::lstat(host.c_str(), &st) != 0) return status;
  status.link = S_ISLNK(st.st_mode);
  status.device = static_cast<uint64_t>(st.st_dev);
  if (status.link && ::stat(host.c_str(), &st) != 0) return status;
  status.kind = S_ISREG(st.st_mode)   ? FileKind::kFile
                : S_ISDIR(st.st_mode) ? FileKind::kFolder
                                      : FileKind::kOther;
  status.read_only = S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
  status.size = static_cast<uint64_t>(st.st_size);
  return status;
}

std::error_code PosixFileSystem::List(std::string_view folder, std::vector<DirectoryEntry>& out) {
  const std::string host = resolver_.Resolve(folder);
  const std::error_code ec = ListHostDirectory(host, out);
  if (!ec) resolver_.Listed(WithoutTrailingSlashes(host), out);
  return ec;
}

std::error_code PosixFileSystem::OpenRead(std::string_view path, std::unique_ptr<FileReader>& out) {
  out.reset();
  return OpenHostReader(resolver_.Resolve(path), out);
}

std::error_code PosixFileSystem::OpenReplace(std::string_view path, Durability durability,
                                             std::unique_ptr<FileWriter>& out) {
  return OpenReplaceHost(WithoutTrailingSlashes(resolver_.Resolve(path)), durability, out);
}

std::error_code PosixFileSystem::OpenReplaceEntry(std::string_view path, Durability durability,
                                                  std::unique_ptr<FileWriter>& out) {
  return OpenReplaceHost(WithoutTrailingSlashes(resolver_.Resolve(path)), durability, out, -1,
                         AtLink::kReplace);
}

std::error_code PosixFileSystem::OpenReplaceHost(const std::string& host, Durability durability,
                                                 std::unique_ptr<FileWriter>& out, int held_lock,
                                                 AtLink at_link) {
  out.reset();
  if (host.empty()) return Errno(ENOENT);
  auto writer = std::make_unique<PosixFileWriter>(*this, durability, held_lock, at_link);
  if (auto ec = writer->Open(host)) return ec;
  out = std::move(writer);
  return {};
}

std::error_code PosixFileSystem::Copy(std::string_view from, std::string_view to, bool replace,
                                      TargetCase target_case) {
  CopiedFile copied;
  if (auto ec = CopyFile(resolver_, from, to, replace, &copied,
                         in_command_ ? &reflink_failed_ : nullptr, target_case)) {
    return ec;
  }
  const int dir = copied.folder_fd.get();
  if (!in_command_) {
    if (::syncfs(dir) != 0) return LastError();
  } else if (copied.folder != last_bulk_folder_) {
    if (auto ec = BulkWritten(dir, dir)) return ec;
    last_bulk_folder_ = copied.folder;
  }
  Written(dir, copied.folder, copied.name);
  return {};
}

std::error_code PosixFileSystem::Move(std::string_view from, std::string_view to) {
  CloseDeleteFolder();
  return MoveFile(resolver_, from, to);
}

std::error_code PosixFileSystem::Delete(std::string_view path) {
  return DeleteFile(resolver_, path);
}

void PosixFileSystem::CloseDeleteFolder() {
  if (delete_folder_fd_ >= 0) ::close(delete_folder_fd_);
  delete_folder_fd_ = -1;
  delete_folder_.clear();
}

std::error_code PosixFileSystem::DeleteFileEntry(std::string_view path, bool& found) {
  found = false;
  const std::string host = WithoutTrailingSlashes(resolver_.Resolve(path));
  if (host.empty()) return {};
  std::string folder;
  std::string name;
  SplitHostPath(host, folder, name);
  // Within a command the folder stays open for the next file in it.
  int dir = AT_FDCWD;
  const char* at = host.c_str();
  if (in_command_ && !name.empty() && name != "." && name != "..") {
    if (delete_folder_fd_ < 0 || delete_folder_ != folder) {
      CloseDeleteFolder();
      delete_folder_fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (delete_folder_fd_ >= 0) delete_folder_ = folder;
    }
    if (delete_folder_fd_ >= 0) {
      dir = delete_folder_fd_;
      at = name.c_str();
    }
  }
  struct stat st;
  if (::fstatat(dir, at, &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
  if (S_ISDIR(st.st_mode)) return {};
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder is left alone, as the folder itself would be.
    struct stat target;
    if (::fstatat(dir, at, &target, 0) == 0 && S_ISDIR(target.st_mode)) return {};
  }
  found = true;
  if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return Errno(EACCES);
  if (::unlinkat(dir, at, 0) != 0) return LastError();
  resolver_.Removed(folder, name);
  return {};
}

std::error_code PosixFileSystem::MakeFolder(std::string_view path, bool parents) {
  if (!parents) return CreateDirectory(resolver_, path);
  const std::string host = WithoutTrailingSlashes(resolver_.Resolve(path));
  if (host.empty()) return Errno(ENOENT);
  struct stat st;
  if (::stat(host.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? std::error_code() : Errno(ENOTDIR);
  std::string folder;
  std::string name;
  SplitHostPath(host, folder, name);
  if (folder != host && folder != "." && folder != "/") {
    if (auto ec = MakeFolder(folder, true)) return ec;
  }
  if (::mkdir(host.c_str(), 0777) != 0 && errno != EEXIST) return LastError();
  resolver_.Added(folder, name);
  if (::stat(host.c_str(), &st) != 0) return LastError();
  return S_ISDIR(st.st_mode) ? std::error_code() : Errno(ENOTDIR);
}

std::error_code PosixFileSystem::MakeExecutable(std::string_view path) {
  const std::string host = resolver_.Resolve(path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return LastError();
  const mode_t mode = st.st_mode & 07777;
  if (::chmod(host.c_str(), mode | ((mode & 0444) >> 2)) != 0) return LastError();
  return {};
}

bool PosixFileSystem::FlushTreeTarget(std::string_view destination) {
  // The destination, or the nearest folder above it that exists.
  std::string host = WithoutTrailingSlashes(resolver_.Resolve(destination));
  struct stat st;
  while (!host.empty() && ::stat(host.c_str(), &st) != 0) {
    std::string folder;
    std::string name;
    SplitHostPath(host, folder, name);
    if (folder == host) return true;
    host = std::move(folder);
  }
  if (host.empty()) return true;
  const UniqueFd dir(::open(host.c_str(), O_RDONLY | O_CLOEXEC));
  if (!dir.valid()) return true;
  std::error_code ec;
  if (in_command_) {
    ec = BulkWritten(dir.get(), dir.get());
  } else if (::syncfs(dir.get()) != 0) {
    ec = LastError();
  }
  if (!ec) return true;
  tree_failure_ = "could not flush the copy to the disk: " + SystemMessage(ec);
  return false;
}

bool PosixFileSystem::CopyTree(std::string_view source, std::string_view destination,
                               const TreeProgressFn& progress) {
  tree_failure_.clear();
  bool ok = platform::CopyTree(resolver_, source, destination, progress, &tree_failure_);
  // The walk changed folders the listings do not follow.
  resolver_.Remember(false);
  resolver_.Remember(in_command_);
  // What was copied is made durable as single copies are.
  if (ok) ok = FlushTreeTarget(destination);
  return ok;
}

bool PosixFileSystem::MoveTree(std::string_view source, std::string_view destination,
                               const TreeProgressFn& progress) {
  CloseDeleteFolder();
  tree_failure_.clear();
  bool ok = platform::MoveTree(resolver_, source, destination, progress, &tree_failure_);
  resolver_.Remember(false);
  resolver_.Remember(in_command_);
  if (ok) ok = FlushTreeTarget(destination);
  return ok;
}

bool PosixFileSystem::DeleteTree(std::string_view path) {
  return DeleteTree(path, {});
}

bool PosixFileSystem::DeleteTree(std::string_view path, const TreeProgressFn& progress) {
  CloseDeleteFolder();
  tree_failure_.clear();
  const bool ok = platform::DeleteTree(resolver_, path, progress, &tree_failure_);
  resolver_.Remember(false);
  resolver_.Remember(in_command_);
  return ok;
}

std::error_code PosixFileSystem::MakeTempFolder(std::string& path) {
  return PrivateTempFolder::MakeFolder(path);
}

FileSystem& ThreadFileSystem() {
  thread_local PosixFileSystem files;
  return files;
}

}  // namespace pelvar::platform
