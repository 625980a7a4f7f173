// The outcome of an archive operation: success, or the failure as the user
// reads it. The archive code reports; the commands decide whether a failure
// ends the run.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace pelvar::archive {

class [[nodiscard]] ArchiveStatus {
 public:
  // Success.
  ArchiveStatus() = default;
  static ArchiveStatus Failure(std::string message) {
    ArchiveStatus s;
    s.failed_ = true;
    s.message_ = std::move(message);
    return s;
  }
  // "Cannot create file \"%s\". %s" with the system's reason.
  static ArchiveStatus CannotCreate(std::string_view path, std::error_code ec);

  bool ok() const { return !failed_; }
  // The failure's text; empty on success.
  const std::string& message() const { return message_; }

 private:
  bool failed_ = false;
  std::string message_;
};

// A value with the failure that cut its operation short (the value then
// tells what was done before it).
template <typename T>
struct [[nodiscard]] ArchiveResult {
  ArchiveResult() = default;
  ArchiveResult(T v, ArchiveStatus s = {}) : value(std::move(v)), status(std::move(s)) {}

  T value{};
  ArchiveStatus status;
};

}  // namespace pelvar::archive
