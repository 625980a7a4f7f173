// Compresses a stream into one zlib stream (RFC 1950) on several threads:
// the input is cut into pieces of 1 MiB, each deflated on its own with the
// 32 KiB before it as its dictionary and ended by a sync flush, and the
// pieces are handed on in order. What it costs is a few bytes per piece;
// any inflater reads the result as one stream. At most a few pieces are in
// work at a time, so the memory used stays the same whatever the size.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <string>
#include <string_view>

namespace pelvar::archive {

class ParallelDeflater {
 public:
  // `level` is a zlib level; `sink` takes the output in order and returns
  // false to stop.
  ParallelDeflater(int level, std::function<bool(std::string_view)> sink);
  // Waits for the pieces in work.
  ~ParallelDeflater();
  ParallelDeflater(const ParallelDeflater&) = delete;
  ParallelDeflater& operator=(const ParallelDeflater&) = delete;

  // Adds input. False once the sink refused or zlib failed (see error()).
  bool Add(std::string_view input);
  // Ends the stream: the last piece, the final block and the check value.
  bool Finish();
  // zlib's message when it failed; empty otherwise (also when the sink
  // refused).
  const std::string& error() const { return error_; }

 private:
  struct Piece {
    std::string output;
    uint32_t adler = 1;
    uint64_t size = 0;
    std::string error;
  };
  static Piece Compress(std::string input, std::string dictionary, int level);
  bool Submit();
  bool HandOnFirst();

  int level_;
  std::function<bool(std::string_view)> sink_;
  size_t in_flight_;
  std::string pending_;
  std::string window_;  // the last 32 KiB of the input submitted
  std::deque<std::future<Piece>> work_;
  uint32_t adler_ = 1;
  bool started_ = false;
  bool failed_ = false;
  std::string error_;
};

}  // namespace pelvar::archive
