// Files carried inside a script. Each file is packed alone into a pack
// archive, whose base64 text is stored in the script:
//
//   [EncodedFile-<folder>-<file>]   lines=<last index>, then 0=, 1=, ... the
//                                   text lines in order
//   [<folder>]                      <file>=<archive size>,<text size>
//   [EncodedFolders]                one folder name per line (the editor's)
//
// Every operation reads the script afresh and writes it before returning,
// one line at a time: neither the script nor an embedded text is held whole.
// Scratch files live in a private temporary folder made for the one
// operation and removed afterwards, also after an error. A failure (a file
// that cannot be written, a damaged archive) is returned with the message
// the user reads; the caller decides whether it ends the run. Each operation
// works on the given file system; the forms without one use the thread's
// real one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_status.h"

namespace pelvar {
class IniModel;
}  // namespace pelvar

namespace pelvar::platform {
class FileSystem;
class ProcessLauncher;
}  // namespace pelvar::platform

namespace pelvar::archive {

// "EncodedFile-" + folder + "-" + file name.
std::string EmbeddedFileSection(std::string_view folder, std::string_view file_name);
// True for a section name of that form (ignoring case).
bool IsEmbeddedFileSection(std::string_view section);

// Stores the source file into the script under the folder, replacing an
// embedded file of the same name there. False, with nothing changed, when
// the script or the source file does not exist.
ArchiveResult<bool> EmbedFile(platform::FileSystem& files, std::string_view source,
                              std::string_view script, std::string_view folder);
ArchiveResult<bool> EmbedFile(std::string_view source, std::string_view script,
                              std::string_view folder);

// Stores several files into the script under the folder in one rewrite of
// the script, as embedding them one after another would (a later file of a
// name replaces an earlier one). With `list_folder`, the folder is also
// added to the folder list when missing, as the editor adds a new folder.
// Each file is streamed (packed, encoded and written a block at a time), so
// the memory used does not grow with the files or the script. The result
// tells for each source whether it was embedded (false: no such file).
// `progress` is called after each source is packed with the count of
// sources done, and once more when the script is written (count + 1).
// A failure leaves the script as it was.
ArchiveResult<std::vector<bool>> EmbedFiles(
    platform::FileSystem& files, const std::vector<std::string>& sources, std::string_view script,
    std::string_view folder, bool list_folder,
    const std::function<void(uint64_t steps)>& progress = {});
ArchiveResult<std::vector<bool>> EmbedFiles(
    const std::vector<std::string>& sources, std::string_view script, std::string_view folder,
    bool list_folder, const std::function<void(uint64_t steps)>& progress = {});

// Decodes the file section `section` of a loaded script and reads its
// archive through, checking every CRC and size, without writing anything
// (the archive is decoded, inflated and checked in one pass). Fails as an
// extraction would.
ArchiveStatus VerifyEmbeddedSection(platform::FileSystem& files, const IniModel& model,
                                    int section);
ArchiveStatus VerifyEmbeddedSection(const IniModel& model, int section);

// What reading one embedded file's text through found.
struct EmbeddedTextCheck {
  std::string section;  // its section's name, as written
  uint32_t line = 0;    // the number in the script of its first line
  ArchiveStatus status;
};

// Reads the script once and checks the first section of each embedded
// file's name that holds lines, as VerifyEmbeddedSection does, handing each
// result to `found` in file order. The text is decoded, inflated and checked
// as it is read: the memory used does not grow with the script.
void VerifyEmbeddedTexts(platform::FileSystem& files, std::string_view script,
                         const std::function<void(const EmbeddedTextCheck&)>& found);

// Extracts one embedded file into the destination folder (created when
// missing). True when the file exists there afterwards; false when the
// script name is empty or the file is not embedded. The text is decoded,
// inflated and written while the script is read, with no scratch copy of
// the archive (see StreamingExtraction). A failure, and a stop (`stop`,
// asked for each MiB of the archive, returned true: the value is false),
// leave no part of the file behind. `read`, when set, gets the bytes of the
// archive read so far after each piece of it.
ArchiveResult<bool> ExtractEmbeddedFile(platform::FileSystem& files, std::string_view script,
                                        std::string_view folder, std::string_view file_name,
                                        std::string_view destination,
                                        const std::function<bool()>& stop = {},
                                        const std::function<void(uint64_t bytes)>& read = {});
ArchiveResult<bool> ExtractEmbeddedFile(std::string_view script, std::string_view folder,
                                        std::string_view file_name, std::string_view destination,
                                        const std::function<bool()>& stop = {});

// Extracts every file of the folder's index, in index order, into an
// existing destination folder. With `skip_existing`, a file already present
// in the destination is passed over. False when the script name is empty,
// the destination is not a folder, the index has no keys, or a listed file
// has no text section (stopping there; files before it stay written).
// The files are extracted in one pass over the script, each streamed as
// ExtractEmbeddedFile streams one when the sections follow the index in its
// order. `progress` is called after each file with the count of files done
// before it. A failure, and a stop (`stop`, asked for each MiB of an
// archive, returned true: the value is false), leave the file being
// extracted out entirely; the files before it stay written. `why`, when
// given, receives the reason of a false value that is neither a failure
// nor a stop, for the log. `read`, when set, gets the bytes of the archives
// read so far after each piece of them.
ArchiveResult<bool> ExtractEmbeddedFolder(platform::FileSystem& files, std::string_view script,
                                          std::string_view folder, std::string_view destination,
                                          bool skip_existing,
                                          const std::function<void(uint64_t files)>& progress = {},
                                          const std::function<bool()>& stop = {},
                                          std::string* why = nullptr,
                                          const std::function<void(uint64_t bytes)>& read = {});
ArchiveResult<bool> ExtractEmbeddedFolder(std::string_view script, std::string_view folder,
                                          std::string_view destination, bool skip_existing,
                                          const std::function<void(uint64_t files)>& progress = {},
                                          const std::function<bool()>& stop = {});

// Removes the file's index key and its text section (names unescaped), in
// one edit of the script that changes nothing else. False when the script
// does not exist.
bool DeleteEmbeddedFile(platform::FileSystem& files, std::string_view script,
                        std::string_view folder, std::string_view file_name);
bool DeleteEmbeddedFile(std::string_view script, std::string_view folder,
                        std::string_view file_name);

enum class RunOutcome {
  kNotExtracted,  // not embedded, or not a plain file name
  kNotStarted,    // extracted, but the program could not be started
  kRan,           // started and waited for
  kStopped,       // started; the wait was ended by `stop` and it goes on
};

// Extracts one embedded file into a private temporary folder, starts it
// (verb "open", no parameters) through `launcher` (none: not started),
// waits for it to end and deletes it. A file that begins like a program
// ("#!" or an ELF header) is made executable first.
// `stop` (may be empty) is asked while waiting.
ArchiveResult<RunOutcome> RunEmbeddedFile(platform::FileSystem& files, std::string_view script,
                                          std::string_view folder, std::string_view file_name,
                                          platform::ProcessLauncher* launcher,
                                          std::function<bool()> stop = {});
ArchiveResult<RunOutcome> RunEmbeddedFile(std::string_view script, std::string_view folder,
                                          std::string_view file_name,
                                          platform::ProcessLauncher* launcher,
                                          std::function<bool()> stop = {});

}  // namespace pelvar::archive
