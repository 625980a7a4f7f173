#include "archive/byte_source.h"

#include <algorithm>

namespace pelvar::archive {

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
