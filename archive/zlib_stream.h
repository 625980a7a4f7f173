// A thin owner of zlib's inflate stream (zlib format, RFC 1950), fed and
// drained in caller-sized pieces so that no stream needs to be held whole in
// memory.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pelvar::archive {

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
