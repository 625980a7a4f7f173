#include "archive/byte_source.h"

#include <algorithm>

namespace pelvar::archive {

std::error_code FileSource::ReadAt(uint64_t offset, char* buffer, size_t count, size_t& got) const {
  got = 0;
  if (!file_) return {EBADF, std::system_category()};
  // A file may give fewer bytes than asked before its end: read on.
  while (got < count) {
    size_t n = 0;
    if (auto ec = file_->ReadAt(offset + got, buffer + got, count - got, n)) return ec;
    if (n == 0) break;
    got += n;
  }
  return {};
}

std::error_code MemorySource::ReadAt(uint64_t offset, char* buffer, size_t count,
                                     size_t& got) const {
  got = 0;
  if (offset < bytes_.size()) {
    got = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size() - offset));
    std::copy_n(bytes_.data() + offset, got, buffer);
  }
  return {};
}

}  // namespace pelvar::archive
