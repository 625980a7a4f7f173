// Extracts the one file of a pack archive while the archive's bytes are
// still arriving (decoded from a script's text, say), without the archive
// ever being whole in a scratch file. A small archive is held in memory and
// extracted at its end (inflating it whole is faster than streaming it). A
// larger one must be as embedding writes it: a single entry at the start,
// zlib-compressed or stored. Its bytes go through two threads: the caller's
// (checks and the archive CRC) and one that inflates and writes the file
// (a stored file, kept back by the few KiB that may be the registry, is only
// written there).
//
// Anything else (another layout, damaged or cut-short bytes,
// a file that cannot be written) makes it give up and leave nothing behind:
// no file, no temporary, no folder it made. The caller then extracts the
// archive the ordinary way, which gives the exact reason of a failure.
//
// Built without a destination, it checks the archive as extraction would
// (every size and CRC, a plain file name) and writes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/archive_status.h"

namespace pelvar::platform {
class FileSystem;
}  // namespace pelvar::platform

namespace pelvar::archive {

class StreamingExtraction {
 public:
  enum class Outcome {
    kDone,     // the file is in place
    kStopped,  // `stop` said so; nothing is left behind
    kGaveUp,   // not an archive this can stream; nothing is left behind
    kFailed,   // the file could not be put in place (see the status)
  };

  // Writes `file_name` into the folder ExtractAll would use for
  // `destination`. `stop` (may be empty) is asked for each piece. Archives
  // up to `held` bytes are held in memory.
  StreamingExtraction(platform::FileSystem& files, std::string_view destination,
                      std::string file_name, std::function<bool()> stop, uint64_t held);
  // Checks the archive and writes nothing; kDone when it would extract.
  // `name` stands for the archive in messages.
  StreamingExtraction(platform::FileSystem& files, std::string name, std::function<bool()> stop,
                      uint64_t held);
  // Gives up unless committed: joins the threads and removes what was made.
  ~StreamingExtraction();
  StreamingExtraction(const StreamingExtraction&) = delete;
  StreamingExtraction& operator=(const StreamingExtraction&) = delete;

  // The next bytes of the archive. False once it has given up or stopped
  // (later bytes are ignored).
  bool Add(std::string_view bytes);
  // After the last bytes: checks the trailer, the registry, the sizes and
  // both CRCs, and puts the file in place. `status` tells why on kFailed.
  Outcome Finish(ArchiveStatus& status);
  // Finish in two steps: Check does all but put the file in place (a held
  // archive is only read when committed); Commit, after Check said kDone,
  // puts it there. Unless committed, the file is dropped with the object.
  Outcome Check(ArchiveStatus& status);
  Outcome Commit(ArchiveStatus& status);
  // True once `stop` has ended it.
  bool stopped() const { return stopped_; }

 private:
  struct Pipeline;
  bool Start();
  // Makes the folders and opens the file to be written.
  bool Open(Pipeline& pipeline);
  bool Stream(std::string_view bytes);
  // Bytes that leave the tail: into the archive CRC and, stored, the file.
  bool Leave(std::string_view bytes);
  Outcome FinishHeld(ArchiveStatus& status);
  void GiveUp();

  platform::FileSystem& files_;
  std::string folder_;
  std::string file_name_;
  std::string target_;
  std::function<bool()> stop_;
  std::string destination_;
  uint64_t held_limit_;
  bool check_only_ = false;
  std::string held_;  // the archive so far, while it may be small
  bool holding_ = true;
  std::string made_folder_;   // the first folder made for the target
  std::string head_;          // the first bytes, until the zlib header is read
  std::string tail_;          // the last bytes seen, for the trailer and registry
  uint32_t archive_crc_ = 0;  // of the bytes before `tail_`
  uint64_t size_ = 0;         // archive bytes seen
  bool stored_ = false;       // the file is stored as it is, not compressed
  uint64_t stored_size_ = 0;  // bytes of a stored file handed on
  bool started_ = false;
  bool gave_up_ = false;
  bool stopped_ = false;
  bool finished_ = false;
  bool checked_ = false;
  bool committed_ = false;
  std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace pelvar::archive
