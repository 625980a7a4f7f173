#include "archive/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <thread>
#include <utility>

namespace pelvar::archive {

namespace {

constexpr size_t kPiece = 1 << 20;
constexpr size_t kWindow = 32 * 1024;

// The two header bytes zlib's own deflate writes for `level`.
std::string ZlibHeader(int level) {
  if (level < 0) level = 6;
  const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = (0x78u << 8) | (flags << 6);
  header += 31 - header % 31;
  return {static_cast<char>(header >> 8), static_cast<char>(header & 0xFF)};
}

}  // namespace

ParallelDeflater::ParallelDeflater(int level, std::function<bool(std::string_view)> sink)
    : level_(level), sink_(std::move(sink)) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  in_flight_ = 2 * static_cast<size_t>(cores);
  pending_.reserve(kPiece);
}

ParallelDeflater::~ParallelDeflater() {
  for (auto& w : work_) w.wait();
}

ParallelDeflater::Piece ParallelDeflater::Compress(std::string input, std::string dictionary,
                                                   int level) {
  Piece piece;
  piece.size = input.size();
  piece.adler = static_cast<uint32_t>(
      adler32(1, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(input.size())));
  z_stream z{};
  int rc = deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) {
    piece.error = z.msg != nullptr ? z.msg : zError(rc);
    return piece;
  }
  if (!dictionary.empty()) {
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
  }
  piece.output.resize(deflateBound(&z, static_cast<uLong>(input.size())) + 64);
  z.next_in = reinterpret_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(piece.output.data() + z.total_out);
    z.avail_out = static_cast<uInt>(piece.output.size() - z.total_out);
    rc = deflate(&z, Z_SYNC_FLUSH);
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      piece.error = z.msg != nullptr ? z.msg : zError(rc);
      break;
    }
    if (z.avail_out != 0) break;  // all is out
    piece.output.resize(piece.output.size() * 2);
  }
  piece.output.resize(z.total_out);
  deflateEnd(&z);
  return piece;
}

bool ParallelDeflater::Add(std::string_view input) {
  while (!failed_ && !input.empty()) {
    const size_t n = std::min(input.size(), kPiece - pending_.size());
    pending_.append(input.substr(0, n));
    input.remove_prefix(n);
    if (pending_.size() == kPiece && !Submit()) return false;
  }
  return !failed_;
}

bool ParallelDeflater::Submit() {
  std::string dictionary = std::move(window_);
  const size_t keep = std::min(pending_.size(), kWindow);
  window_.assign(pending_, pending_.size() - keep, keep);
  std::string input = std::move(pending_);
  pending_ = std::string();
  pending_.reserve(kPiece);
  work_.push_back(std::async(std::launch::async, &ParallelDeflater::Compress, std::move(input),
                             std::move(dictionary), level_));
  while (work_.size() >= in_flight_) {
    if (!HandOnFirst()) return false;
  }
  return true;
}

bool ParallelDeflater::HandOnFirst() {
  Piece piece = work_.front().get();
  work_.pop_front();
  if (failed_) return false;
  if (!piece.error.empty()) {
    error_ = piece.error;
    failed_ = true;
    return false;
  }
  if (!started_) {
    started_ = true;
    if (!sink_(ZlibHeader(level_))) failed_ = true;
  }
  adler_ =
      static_cast<uint32_t>(adler32_combine(adler_, piece.adler, static_cast<z_off_t>(piece.size)));
  if (!failed_ && !sink_(piece.output)) failed_ = true;
  return !failed_;
}

bool ParallelDeflater::Finish() {
  if (failed_) return false;
  if (!pending_.empty() && !Submit()) return false;
  while (!work_.empty()) {
    if (!HandOnFirst()) return false;
  }
  if (!started_) {
    started_ = true;
    if (!sink_(ZlibHeader(level_))) return !(failed_ = true);
  }
  // An empty final block of fixed codes, then the check value.
  const char end[6] = {0x03,
                       0x00,
                       static_cast<char>(adler_ >> 24),
                       static_cast<char>((adler_ >> 16) & 0xFF),
                       static_cast<char>((adler_ >> 8) & 0xFF),
                       static_cast<char>(adler_ & 0xFF)};
  if (!sink_(std::string_view(end, sizeof end))) failed_ = true;
  return !failed_;
}

}  // namespace pelvar::archive
