// The file system as scripts see it. Script paths are text in the script's
// form ("\" or "/" separators); only this layer turns them into host paths.
// Existing components resolve without regard to the case of A-Z when the exact
// name does not exist, as on a Windows file system; components that do not
// exist keep their spelling, so whatever is created is created as written.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace pelvar::platform {

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

// Text of a system error, as the system words it.
std::string SystemMessage(std::error_code ec);

// Permission bits for a new file that is to replace `host_target`: the
// target's own when it exists, else 0666 less the process's umask.
unsigned ReplacementFileMode(const std::string& host_target);

// Writes a new file content atomically: the data goes to a temporary file in
// the same folder, which then replaces the target by rename. An existing
// target keeps its permissions; a read-only target (no write permission at
// all) is refused with EACCES; a failure leaves the old file untouched and
// removes the temporary file.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  // Prepares the temporary file for the target (a host path).
  std::error_code Open(const std::string& host_target);
  // Appends bytes; errors are kept and reported by Commit.
  void Write(std::string_view data);
  // True once opening or writing failed (Commit will report it).
  bool failed() const { return fd_ < 0 || static_cast<bool>(error_); }
  // Flushes, and renames the temporary file over the target.
  std::error_code Commit();
  // Drops the temporary file.
  void Abort();

 private:
  void FlushBuffer();

  std::string target_;
  std::string temp_;
  int fd_ = -1;
  std::string buffer_;
  std::error_code error_;
};

// One-shot form of AtomicFileWriter for a script path.
std::error_code ReplaceFileAtomically(std::string_view script_path, std::string_view content);

}  // namespace pelvar::platform
