#include "archive/streaming_extraction.h"

#include <libdeflate.h>
#include <zlib.h>

#include <system_error>

#include "archive/buffer_stage.h"
#include "archive/pack_archive.h"
#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::archive {

namespace {

// The trailer and the registry of a one-entry archive fit in this many of
// its last bytes with room to spare.
constexpr size_t kTail = 64 * 1024;
constexpr size_t kPiece = 1 << 20;
// Inflated bytes are written by the thread that inflates them, in pieces
// that stay in its cache (a hand-over to another thread costs more in
// memory traffic than the overlap gains).
constexpr size_t kOutPiece = 256 << 10;
constexpr size_t kDepth = 4;

uint32_t Crc(uint32_t crc, std::string_view data) {
  return libdeflate_crc32(crc, data.data(), data.size());
}

// True for the two bytes that begin a zlib stream of deflate data with no
// preset dictionary.
bool IsZlibHeader(unsigned char cmf, unsigned char flg) {
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256u + flg) % 31 == 0 && (flg & 0x20) == 0;
}

// The folder that holds `path` in the script's form; empty at the top.
std::string ParentOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos || cut == 0) return {};
  return path.substr(0, cut);
}

}  // namespace

// The thread that inflates and writes (or, for a stored file, only writes)
// and what it shares. The counters are written by the thread and read only
// after it is joined.
struct StreamingExtraction::Pipeline {
  std::unique_ptr<platform::FileWriter> out;
  z_stream z{};
  bool z_ready = false;
  std::string input;  // the next input handed over
  std::string piece;  // the output being filled
  size_t piece_used = 0;
  uint64_t consumed = 0;  // deflate bytes inflated
  uint64_t produced = 0;
  bool ended = false;
  uint32_t file_crc = 0;
  std::error_code write_error;
  // Declared last: the stages go first, joined before what they use.
  std::unique_ptr<BufferStage> writer;
  std::unique_ptr<BufferStage> inflater;

  ~Pipeline() {
    if (inflater) inflater->Cancel();
    if (writer) writer->Cancel();
    if (z_ready) inflateEnd(&z);
  }

  bool Write(std::string& buffer) {
    file_crc = Crc(file_crc, buffer);
    if (!out) return true;  // only checked
    if (auto ec = out->Write(buffer)) {
      write_error = ec;
      return false;
    }
    return true;
  }

  bool Inflate(std::string& input) {
    if (ended) return true;  // the stream's check value, the registry, the trailer
    z.next_in = reinterpret_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    while (z.avail_in > 0) {
      piece.resize(kOutPiece);
      z.next_out = reinterpret_cast<Bytef*>(piece.data() + piece_used);
      z.avail_out = static_cast<uInt>(kOutPiece - piece_used);
      const int rc = inflate(&z, Z_NO_FLUSH);
      piece_used = kOutPiece - z.avail_out;
      if (rc == Z_STREAM_END) {
        ended = true;
      } else if (rc != Z_OK) {
        return false;
      }
      if (piece_used == kOutPiece || (ended && piece_used > 0)) {
        piece.resize(piece_used);
        produced += piece_used;
        piece_used = 0;
        if (!Write(piece)) return false;
      }
      if (ended) break;
    }
    consumed += input.size() - z.avail_in;
    return true;
  }
};

StreamingExtraction::StreamingExtraction(platform::FileSystem& files, std::string_view destination,
                                         std::string file_name, std::function<bool()> stop,
                                         uint64_t held)
    : files_(files),
      folder_(PackArchive::ExtractionFolder(destination)),
      file_name_(std::move(file_name)),
      stop_(std::move(stop)),
      destination_(destination),
      held_limit_(held) {
  target_ = folder_ + "\\" + file_name_;
}

StreamingExtraction::StreamingExtraction(platform::FileSystem& files, std::string name,
                                         std::function<bool()> stop, uint64_t held)
    : files_(files),
      target_(std::move(name)),
      stop_(std::move(stop)),
      held_limit_(held),
      check_only_(true) {}

StreamingExtraction::~StreamingExtraction() {
  if (!committed_) GiveUp();
}

void StreamingExtraction::GiveUp() {
  gave_up_ = true;
  pipeline_.reset();  // joins the threads; the unfinished file is dropped
  if (!made_folder_.empty()) files_.DeleteTree(made_folder_);
  made_folder_.clear();
}

bool StreamingExtraction::Start() {
  started_ = true;
  const auto* h = reinterpret_cast<const unsigned char*>(head_.data());
  // Anything else is taken for a stored file (the bytes as they are); what
  // is not is found out at the end.
  stored_ = !IsZlibHeader(h[0], h[1]);
  auto p = std::make_unique<Pipeline>();
  if (!check_only_ && !Open(*p)) return false;
  Pipeline* raw = p.get();
  if (stored_) {
    p->writer =
        std::make_unique<BufferStage>([raw](std::string& b) { return raw->Write(b); }, kDepth);
  } else {
    if (inflateInit2(&p->z, -MAX_WBITS) != Z_OK) return false;
    p->z_ready = true;
    p->inflater =
        std::make_unique<BufferStage>([raw](std::string& b) { return raw->Inflate(b); }, kDepth);
  }
  pipeline_ = std::move(p);
  return true;
}

bool StreamingExtraction::Open(Pipeline& pipeline) {
  if (!PackArchive::IsPlainFileName(file_name_)) return false;
  if (!files_.IsFolder(folder_)) {
    // The first missing folder of the chain, removed again on giving up.
    std::string first = folder_;
    for (std::string up = ParentOf(first); !up.empty() && !files_.Exists(up); up = ParentOf(up)) {
      first = up;
    }
    if (files_.Exists(first)) return false;
    made_folder_ = first;
    if (files_.MakeFolder(folder_, /*parents=*/true)) return false;
  }
  // A link of that name gives way to the file; what it names is left alone.
  return !files_.OpenReplaceEntry(target_, platform::Durability::kBulk, pipeline.out);
}

bool StreamingExtraction::Add(std::string_view bytes) {
  if (gave_up_ || stopped_ || finished_ || checked_) return false;
  if (stop_ && stop_()) {
    stopped_ = true;
    GiveUp();
    return false;
  }
  if (bytes.empty()) return true;
  if (holding_) {
    if (held_.size() + bytes.size() <= held_limit_) {
      size_ += bytes.size();
      held_.append(bytes);
      return true;
    }
    // Too large to hold: what is held goes first, in pieces of the usual
    // size (a buffer of it all would stay in the pipeline's reuse).
    holding_ = false;
    const std::string held = std::move(held_);
    held_ = std::string();
    size_ = 0;
    for (size_t at = 0; at < held.size(); at += kPiece) {
      if (!Stream(std::string_view(held).substr(at, kPiece))) return false;
    }
  }
  return Stream(bytes);
}

bool StreamingExtraction::Stream(std::string_view bytes) {
  if (bytes.empty()) return true;
  const uint64_t before = size_;
  size_ += bytes.size();
  // The first two bytes tell a zlib stream from a stored file.
  std::string_view deflated = bytes;
  if (before < 2) {
    const size_t header = static_cast<size_t>(2 - before);
    head_.append(bytes.substr(0, header));
    deflated.remove_prefix(std::min(header, deflated.size()));
    if (head_.size() == 2 && !Start()) {
      GiveUp();
      return false;
    }
  }
  // The archive CRC covers all but the trailer: it runs behind by the tail,
  // and so do the bytes of a stored file (the registry follows them).
  bool ok = true;
  if (bytes.size() >= kTail) {
    ok = Leave(tail_) && Leave(bytes.substr(0, bytes.size() - kTail));
    tail_.assign(bytes.substr(bytes.size() - kTail));
  } else {
    tail_.append(bytes);
    if (tail_.size() > 2 * kTail) {
      const size_t cut = tail_.size() - kTail;
      ok = Leave(std::string_view(tail_).substr(0, cut));
      tail_.erase(0, cut);
    }
  }
  // The deflate data after the zlib header is inflated as it comes.
  if (ok && pipeline_ && !stored_ && !deflated.empty()) {
    pipeline_->input.assign(deflated);
    ok = pipeline_->inflater->Push(pipeline_->input);
  }
  if (!ok) GiveUp();
  return ok;
}

bool StreamingExtraction::Leave(std::string_view bytes) {
  archive_crc_ = Crc(archive_crc_, bytes);
  if (!stored_ || bytes.empty()) return true;
  stored_size_ += bytes.size();
  pipeline_->input.assign(bytes);
  return pipeline_->writer->Push(pipeline_->input);
}

StreamingExtraction::Outcome StreamingExtraction::FinishHeld(ArchiveStatus& status) {
  finished_ = true;
  PackArchive archive;
  archive.set_files(&files_);
  if (!archive.OpenArchiveBytes(std::move(held_), target_).ok()) {
    GiveUp();
    return Outcome::kGaveUp;
  }
  status = check_only_ ? archive.VerifyAll() : archive.ExtractAll(destination_);
  return status.ok() ? Outcome::kDone : Outcome::kFailed;
}

StreamingExtraction::Outcome StreamingExtraction::Finish(ArchiveStatus& status) {
  const Outcome checked = Check(status);
  return checked == Outcome::kDone ? Commit(status) : checked;
}

StreamingExtraction::Outcome StreamingExtraction::Check(ArchiveStatus& status) {
  status = ArchiveStatus();
  if (stopped_) return Outcome::kStopped;
  if (checked_) return Outcome::kDone;
  if (holding_ && !gave_up_ && !finished_) {
    checked_ = true;  // read through when extracted
    return Outcome::kDone;
  }
  if (gave_up_ || finished_ || !pipeline_) {
    GiveUp();
    finished_ = true;
    return Outcome::kGaveUp;
  }
  finished_ = true;
  Pipeline& p = *pipeline_;
  PackArchive archive;
  const ArchiveEntry* entry = nullptr;
  if (tail_.size() >= kTrailerSize && archive.OpenArchiveTail(tail_, size_, target_).ok() &&
      archive.FileCount() == 1 && archive.archive_start() == 0) {
    entry = archive.GetEntry(0);
  }
  bool ok = entry != nullptr && entry->offset == 0;
  if (stored_) {
    // The rest of the file is in the tail, before the registry.
    const uint64_t size = ok ? static_cast<uint64_t>(entry->size) : 0;
    ok = ok && entry->method == static_cast<uint8_t>(StorageMethod::kStored) &&
         archive.trailer().data_size == entry->size && size >= stored_size_ &&
         size - stored_size_ <= tail_.size() - kTrailerSize;
    if (ok && size > stored_size_) {
      p.input.assign(std::string_view(tail_).substr(0, static_cast<size_t>(size - stored_size_)));
      ok = p.writer->Push(p.input);
    }
    ok = p.writer->Finish() && ok;
    p.produced = size;
  } else {
    // The zlib stream: its two header bytes, the deflate data, four check bytes.
    ok = p.inflater->Finish() && ok && p.ended &&
         entry->method == static_cast<uint8_t>(StorageMethod::kCompressed) &&
         static_cast<uint64_t>(entry->compressed_size) == 2 + p.consumed + 4;
  }
  const bool whole =
      ok &&
      archive.trailer().archive_crc ==
          Crc(archive_crc_, std::string_view(tail_).substr(0, tail_.size() - kTrailerSize)) &&
      static_cast<uint64_t>(entry->size) == p.produced && entry->crc == p.file_crc &&
      (check_only_ ? PackArchive::IsPlainFileName(entry->file_name)
                   : entry->file_name == file_name_);
  if (!whole) {
    GiveUp();
    return Outcome::kGaveUp;
  }
  checked_ = true;
  if (check_only_) pipeline_.reset();
  return Outcome::kDone;
}

StreamingExtraction::Outcome StreamingExtraction::Commit(ArchiveStatus& status) {
  status = ArchiveStatus();
  if (!checked_ || committed_) return Outcome::kGaveUp;
  committed_ = true;
  if (holding_) return FinishHeld(status);
  if (check_only_) return Outcome::kDone;
  if (auto ec = pipeline_->out->Commit()) {
    status = ArchiveStatus::CannotCreate(target_, ec);
    pipeline_.reset();
    return Outcome::kFailed;
  }
  pipeline_.reset();
  made_folder_.clear();
  return Outcome::kDone;
}

}  // namespace pelvar::archive
