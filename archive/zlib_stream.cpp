#include "archive/zlib_stream.h"

#include <zlib.h>

#include <string>

namespace pelvar::archive {

namespace {

std::string ZlibMessage(int code, const z_stream& z) {
  return z.msg != nullptr ? z.msg : zError(code);
}

}  // namespace

struct ZlibInflater::State {
  z_stream z{};
};

ZlibInflater::ZlibInflater() : state_(std::make_unique<State>()) {
  const int rc = inflateInit(&state_->z);
  if (rc != Z_OK) error_ = ZlibMessage(rc, state_->z);
}

ZlibInflater::~ZlibInflater() {
  inflateEnd(&state_->z);
}

ZlibInflater::Status ZlibInflater::Inflate(std::string_view& input, char* out, size_t capacity,
                                           size_t& produced) {
  produced = 0;
  if (!error_.empty()) return Status::kError;
  z_stream& z = state_->z;
  constexpr size_t kSlice = 1u << 30;
  const size_t in_slice = input.size() < kSlice ? input.size() : kSlice;
  const size_t out_slice = capacity < kSlice ? capacity : kSlice;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  z.avail_in = static_cast<uInt>(in_slice);
  z.next_out = reinterpret_cast<Bytef*>(out);
  z.avail_out = static_cast<uInt>(out_slice);
  const int rc = inflate(&z, Z_NO_FLUSH);
  produced = out_slice - z.avail_out;
  input.remove_prefix(in_slice - z.avail_in);
  if (rc == Z_STREAM_END) return Status::kEnd;
  if (rc == Z_OK || rc == Z_BUF_ERROR) return Status::kMore;
  return Status::kError;
}

}  // namespace pelvar::archive
