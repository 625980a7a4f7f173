// Helpers for absolute host paths held as text ("/a/b", no trailing "/"),
// and a reader over bytes in memory: shared by the file systems that keep
// entries in memory.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"

namespace pelvar::platform {

// The system error `e` (an errno value).
inline std::error_code ErrnoCode(int e) {
  return {e, std::system_category()};
}

// The folder of a path ("/" for "/a").
std::string PathParent(const std::string& key);
// The last name of a path.
std::string PathName(const std::string& key);
// `folder` + "/" + `name`.
std::string PathJoin(const std::string& folder, std::string_view name);
// True when `key` is `folder` or lies below it.
bool PathIsBelow(const std::string& key, const std::string& folder);

// A file read from bytes in memory; no read gives more than `piece` bytes
// (0: no limit).
class StringReader : public FileReader {
 public:
  explicit StringReader(std::string data, size_t piece = 0)
      : data_(std::move(data)), piece_(piece) {}
  uint64_t size() const override { return data_.size(); }

 protected:
  std::error_code ReadOnce(uint64_t offset, char* buffer, size_t count, size_t& got) override;

 private:
  std::string data_;
  size_t piece_;
};

}  // namespace pelvar::platform
