// Thin owners of zlib's deflate and inflate streams (zlib format, RFC 1950),
// fed and drained in caller-sized pieces so that no stream needs to be held
// whole in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pelvar::archive {

class ZlibDeflater {
 public:
  // See error() for a stream that could not start.
  explicit ZlibDeflater(int level);
  ~ZlibDeflater();
  ZlibDeflater(const ZlibDeflater&) = delete;
  ZlibDeflater& operator=(const ZlibDeflater&) = delete;

  // Compresses `input`; with `finish` the stream is ended. Each piece of
  // output (at most 256 KiB) is handed to `sink`. False when zlib failed
  // (see error()).
  bool Compress(std::string_view input, bool finish,
                const std::function<void(std::string_view)>& sink);
  // zlib's message when the stream could not start or failed; empty while
  // all is well.
  const std::string& error() const { return error_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string error_;
};

class ZlibInflater {
 public:
  enum class Status { kMore, kEnd, kError };

  // See error() for a stream that could not start (Inflate then gives
  // kError).
  ZlibInflater();
  ~ZlibInflater();
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  // Inflates from `input` (consumed bytes are removed from it) into at most
  // `capacity` bytes at `out`; `produced` tells how many. kEnd: the stream
  // ended; kMore: more input or room is needed; kError: the data is damaged.
  Status Inflate(std::string_view& input, char* out, size_t capacity, size_t& produced);
  // zlib's message when the stream could not start; empty when it did.
  const std::string& error() const { return error_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string error_;
};

}  // namespace pelvar::archive
