// Descriptor-level building blocks of the file and folder operations: they
// work on open folders and names (openat style), so a walk never resolves a
// path twice. Host paths and raw descriptors only; nothing here knows the
// script's path form.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pelvar::platform {

// An open descriptor, closed on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release();

 private:
  int fd_ = -1;
};

// The error of the last failed system call.
inline std::error_code LastError() {
  return {errno, std::system_category()};
}

// What a folder entry is, as far as the walk needs to know.
enum class EntryType { kFile, kDirectory, kLink, kOther };

// The entries of an open folder (without "." and ".."), read in one go so
// the folder may be changed while they are handled, in the order of their
// inode numbers (the order in which the disk holds them, which makes a walk
// over many files faster). Names are kept in one buffer; entry i is Name(i).
class FolderEntries {
 public:
  // Reads the folder open at `dir_fd` (the descriptor stays open and is not
  // moved). Entries whose type the listing does not tell are looked up
  // without following links.
  std::error_code Read(int dir_fd);

  size_t size() const { return entries_.size(); }
  std::string_view Name(size_t i) const;
  const char* CName(size_t i) const { return names_.data() + entries_[i].offset; }
  EntryType Type(size_t i) const { return entries_[i].type; }

 private:
  struct Entry {
    ino_t inode;
    size_t offset;
    size_t length;
    EntryType type;
  };
  std::string names_;
  std::vector<Entry> entries_;
};

// Type of an entry's own inode (links not followed).
EntryType TypeOfMode(mode_t mode);

// Opens a folder below `dir_fd` without following a link at `name`.
UniqueFd OpenFolderAt(int dir_fd, const char* name);

// Copies the data of an open regular file to an open, empty file: a reflink
// where the file system offers one, else an in-kernel copy, else reads and
// writes. `reflink_failed` remembers across calls that reflinks are refused.
// `size`, when above 0, is the source's size: the copy ends once that much
// is copied.
std::error_code CopyFileData(int from_fd, int to_fd, bool& reflink_failed, int64_t size = 0);

// Gives a new file the permission bits (not set-id bits) and the access and
// modification times of `source`.
std::error_code CopyFileAttributes(int to_fd, const struct stat& source);

// Copies the regular file `from_name` (below `from_dir`) to a new file
// `to_name` (below `to_dir`), which must not exist. Data, permission bits
// and times are copied; a failed copy leaves no file behind. Returns the
// bytes copied in `bytes`.
std::error_code CopyFileAt(int from_dir, const char* from_name, int to_dir, const char* to_name,
                           bool& reflink_failed, uint64_t* bytes = nullptr);

// Like CopyFileAt, but the copy is written to a temporary file beside the
// target and then takes the target's name in one step: replacing an existing
// file when `replace` is set, else failing with EEXIST when the target exists.
// A failure at any point leaves the target as it was. `known_missing` says
// the caller has just seen that nothing is at the target.
std::error_code CopyFileAtomicallyAt(int from_dir, const char* from_name, int to_dir,
                                     const char* to_name, bool replace, bool& reflink_failed,
                                     uint64_t* bytes = nullptr, bool known_missing = false);

// Renames, failing with EEXIST when the target exists (also on file systems
// without an exclusive rename: then a hard link and an unlink for files).
std::error_code RenameNoReplaceAt(int from_dir, const char* from_name, int to_dir,
                                  const char* to_name);

// Creates a symbolic link that copies the link `from_name`; an existing
// non-folder entry at the target is replaced when `replace` is set.
std::error_code CopyLinkAt(int from_dir, const char* from_name, int to_dir, const char* to_name,
                           bool replace);

// Splits a host path into its folder (".", "/" or the text before the last
// "/") and its last component; trailing "/" are ignored.
void SplitHostPath(const std::string& host, std::string& folder, std::string& name);

// The path a chain of symbolic links at `host` ends in (the path itself when
// it is no link); a dangling link gives the missing path it names.
std::string FollowLinks(const std::string& host);

// Removes trailing "/" (a lone "/" stays).
std::string WithoutTrailingSlashes(std::string host);

}  // namespace pelvar::platform
