// The file system as scripts see it. Script paths are text in the script's
// form ("\" or "/" separators); only this layer turns them into host paths.
// Existing components resolve without regard to the case of A-Z when the exact
// name does not exist, as on a Windows file system; components that do not
// exist keep their spelling, so whatever is created is created as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/directory_listing.h"
#include "platform/tree_operations.h"

namespace pelvar::platform {

// What a path names (links followed).
enum class FileKind { kNone, kFile, kFolder, kOther };

struct FileStatus {
  FileKind kind = FileKind::kNone;
  bool link = false;       // the entry itself is a symbolic link (maybe dangling)
  bool read_only = false;  // a file without any write permission
  uint64_t size = 0;
  uint64_t device = 0;  // the file system the entry lies on; 0: not known
  bool exists() const { return kind != FileKind::kNone || link; }
  bool is_file() const { return kind == FileKind::kFile; }
  bool is_folder() const { return kind == FileKind::kFolder; }
};

// How the last component of a target path meets an existing entry.
enum class TargetCase {
  // The entry of exactly that spelling, else one spelt in another letter case.
  kAnySpelling,
  // Only the entry of exactly that spelling; else a new entry is made as
  // written (for several source files whose names differ only in case).
  kAsWritten,
};

// How a replacement is made durable.
enum class Durability {
  // An existing file's content is replaced (text, INI, scripts, hives): the
  // target is locked while it is read and rewritten, and the new file and
  // its folder are flushed to the disk before the write reports success.
  kRewrite,
  // One of many files a command writes (copies, extractions, downloads): the
  // destination file system is flushed once when the command ends.
  kBulk,
  // A scratch file in a private temporary folder, read back by the same
  // operation and removed by it: never flushed, never locked.
  kScratch,
};

// An open file, read by offset. Others may keep reading it meanwhile.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // Size when opened.
  virtual uint64_t size() const = 0;
  // Reads up to `count` bytes at `offset`. `got` may be short before the end
  // of the file; it is 0 only at the end. A read that a signal interrupts
  // before it transferred anything is made again.
  std::error_code ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got);
  // Reads everything from `offset` to the end of the file, however large.
  std::error_code ReadRest(uint64_t offset, std::string& out);

 protected:
  // One read as the system makes it: as ReadAt, except that a signal may
  // interrupt it (EINTR, nothing read).
  virtual std::error_code ReadOnce(uint64_t offset, char* buffer, size_t count, size_t& got) = 0;
};

// A replacement in progress: the new content goes to a private temporary
// file beside the target, which Commit renames over the target. Until then
// the target is untouched; destruction without Commit removes the new file.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  // The target's content as it stood when the replacement began (under the
  // lock for kRewrite); null when the target did not exist.
  virtual FileReader* old() = 0;
  // Appends bytes. Errors are kept and reported again by Commit.
  virtual std::error_code Write(std::string_view data) = 0;
  // Cuts the new content to `size` bytes (not more than written).
  virtual std::error_code Truncate(uint64_t size) = 0;
  // Bytes written so far.
  virtual uint64_t size() const = 0;
  // Makes the new content the target's, durably as asked.
  virtual std::error_code Commit() = 0;
  // The host path of the private file the new content goes to, for content
  // made by a library that writes whole files by name (instead of Write);
  // empty where the new content is not kept in such a file.
  virtual std::string temp_host_path() const { return {}; }
};

// Reports how many bytes of one file's data a copy has written so far,
// after each chunk of a few MiB. Returning false cuts the copy there: the
// partial copy is removed, a target that existed stays as it was, and the
// operation fails with ECANCELED.
using DataProgressFn = std::function<bool(uint64_t bytes)>;

// While it lives, the file copies this thread makes on the host's file
// system (Copy, a Move across file systems, the files of CopyTree and
// MoveTree) report to `progress`. Scopes nest; the innermost one reports.
class DataProgressScope {
 public:
  explicit DataProgressScope(DataProgressFn progress);
  ~DataProgressScope();
  DataProgressScope(const DataProgressScope&) = delete;
  DataProgressScope& operator=(const DataProgressScope&) = delete;

 private:
  DataProgressFn progress_;
  const DataProgressFn* outer_;
};

// The file system service. Every operation returns its outcome as a value
// (the system's error; SystemMessage words it); nothing here raises.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A command begins: folders listed to resolve letter case are remembered
  // (and kept up to date by the writes made here) until it ends.
  virtual void BeginCommand() = 0;
  // A command ends: the remembered listings are dropped and the bulk writes
  // made durable. Returns the first error of that flush.
  virtual std::error_code EndCommand() = 0;

  // Host path for a script path: "\" becomes "/", existing components are
  // matched ignoring case when needed. Relative paths stay relative.
  virtual std::string Resolve(std::string_view path) = 0;
  virtual FileStatus Status(std::string_view path) = 0;
  // The entries of a folder in the file system's order, without "." and "..".
  virtual std::error_code List(std::string_view folder, std::vector<DirectoryEntry>& out) = 0;

  // Opens a regular file for reading. A folder gives EISDIR, anything else
  // that is not a regular file EINVAL (a pipe is never opened).
  virtual std::error_code OpenRead(std::string_view path, std::unique_ptr<FileReader>& out) = 0;
  // Begins replacing the file at `path`. A symbolic link is followed to the
  // file it names; a folder (EISDIR), anything else that is not a regular
  // file (EINVAL) and a read-only file (EACCES) are refused. The new file
  // keeps the old one's permissions, owner and group.
  virtual std::error_code OpenReplace(std::string_view path, Durability durability,
                                      std::unique_ptr<FileWriter>& out) = 0;
  // As OpenReplace, except that a symbolic link at the path is never
  // followed, whatever it names (a file, a folder, nothing): the new file
  // takes the link's place and what the link names stays as it was. For
  // files unpacked into a folder, as archive tools unpack them: a link there
  // (copied from a source tree, say) may name anything on this machine.
  virtual std::error_code OpenReplaceEntry(std::string_view path, Durability durability,
                                           std::unique_ptr<FileWriter>& out) = 0;

  // Copies a file (data, permission bits, times) in one step. With `replace`
  // off an existing target is left alone (EEXIST); with it on a file there is
  // replaced (a folder or a read-only file there is refused).
  virtual std::error_code Copy(std::string_view from, std::string_view to, bool replace,
                               TargetCase target_case = TargetCase::kAnySpelling) = 0;
  // Renames a file or folder, never replacing anything (EEXIST), except that
  // the same entry may take another letter case. Across file systems a file
  // is copied and then deleted, and a symbolic link is made again at the new
  // place (a link stays a link) and then removed.
  virtual std::error_code Move(std::string_view from, std::string_view to) = 0;
  // Deletes a file or link. A folder gives EISDIR, a read-only file EACCES.
  virtual std::error_code Delete(std::string_view path) = 0;
  // Makes one folder, or with `parents` the folder and every missing one
  // above it (an existing folder is then fine).
  virtual std::error_code MakeFolder(std::string_view path, bool parents) = 0;
  // Adds the execute permission wherever the file has the read permission.
  virtual std::error_code MakeExecutable(std::string_view path) = 0;

  // Whole trees: see platform/tree_operations.h. Names inside an existing
  // target folder are met ignoring letter case.
  virtual bool CopyTree(std::string_view source, std::string_view destination,
                        const TreeProgressFn& progress) = 0;
  virtual bool MoveTree(std::string_view source, std::string_view destination,
                        const TreeProgressFn& progress) = 0;
  virtual bool DeleteTree(std::string_view path) = 0;
  // The same, reporting the files deleted (and their bytes) as it goes. An
  // implementation without progress just deletes.
  virtual bool DeleteTree(std::string_view path, const TreeProgressFn& progress) {
    (void)progress;
    return DeleteTree(path);
  }

  // Why the last CopyTree, MoveTree or DeleteTree failed, for a log line
  // (the first entry that failed, the system's reason, what was left
  // behind); empty after a success or where it is not known.
  virtual std::string LastTreeFailure() const { return {}; }

  // Makes a new private folder under the system's temporary folder (this
  // user only) and gives its path.
  virtual std::error_code MakeTempFolder(std::string& path) = 0;

  // Shorthands over the operations above.
  bool IsFile(std::string_view path) { return Status(path).is_file(); }
  bool IsFolder(std::string_view path) { return Status(path).is_folder(); }
  bool Exists(std::string_view path) { return Status(path).exists(); }
  // Reads a whole regular file.
  std::error_code ReadAll(std::string_view path, std::string& out);
  // Replaces a file's content in one go.
  std::error_code WriteAll(std::string_view path, std::string_view content,
                           Durability durability = Durability::kRewrite);
};

// Keeps a command's scope: BeginCommand now, EndCommand at End or on
// destruction, whichever comes first.
class CommandScope {
 public:
  explicit CommandScope(FileSystem* files) : files_(files) {
    if (files_ != nullptr) files_->BeginCommand();
  }
  ~CommandScope() { End(); }
  // Ends the scope now; gives EndCommand's outcome (the flush of the bulk
  // writes). Later calls give nothing.
  std::error_code End() {
    FileSystem* files = std::exchange(files_, nullptr);
    return files != nullptr ? files->EndCommand() : std::error_code();
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  FileSystem* files_;
};

// A private folder made for one operation and removed with its contents when
// the object goes.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(FileSystem& files) : files_(files) {}
  ~ScopedTempFolder() {
    if (!path_.empty()) files_.DeleteTree(path_);
  }
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;
  // Makes the folder (see FileSystem::MakeTempFolder).
  std::error_code Create() { return files_.MakeTempFolder(path_); }
  // Its path, without a trailing separator; empty before Create.
  const std::string& path() const { return path_; }

 private:
  FileSystem& files_;
  std::string path_;
};

// Writes all of `data` by calls of `write_once` (one write as the system makes
// it: the bytes written, maybe fewer than given, or an error). A write that a
// signal interrupted (EINTR) is made again, a short one continued.
using WriteOnceFn = std::function<std::error_code(std::string_view data, size_t& written)>;
std::error_code WriteFully(std::string_view data, const WriteOnceFn& write_once);

// Text of a system error, as the system words it.
std::string SystemMessage(std::error_code ec);

// The refusal to read a FIFO, device or socket as a file: "Not a regular file".
std::error_code NotRegularFile();
// A write refused because the name is a symbolic link to nothing: following
// it would create a file wherever it points (an absolute link in a copied
// system tree points into this machine's own folders).
std::error_code DanglingLink();

// ---------------------------------------------------------------------------
// Host-path helpers of the platform layer (no remembered listings).

// Host path for a script path: "\" becomes "/", existing components are
// matched ignoring case when needed. Relative paths stay relative.
std::string HostPath(std::string_view script_path);

// True when the path names an existing regular file (links followed).
bool IsFile(std::string_view script_path);
// True when the path names an existing folder (links followed).
bool IsDirectory(std::string_view script_path);
// True when anything exists at the path (a dangling link counts).
bool PathExists(std::string_view script_path);

// Reads a whole file. A missing file gives ENOENT.
std::error_code ReadWholeFile(std::string_view script_path, std::string& out);

}  // namespace pelvar::platform
