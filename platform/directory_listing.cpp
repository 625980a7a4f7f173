#include "platform/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace pelvar::platform {

bool ListDirectory(std::string_view folder, std::vector<DirectoryEntry>& out) {
  return !ListHostDirectory(HostPath(folder), out);
}

std::error_code ListHostDirectory(const std::string& host, std::vector<DirectoryEntry>& out) {
  out.clear();
  DIR* dir = ::opendir(host.empty() ? "." : host.c_str());
  if (dir == nullptr) return {errno, std::system_category()};
  const int dfd = ::dirfd(dir);
  while (dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    DirectoryEntry entry;
    entry.name = name;
    entry.hidden = name[0] == '.';
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
      }
    }
    if (type == DT_DIR) {
      entry.is_directory = true;
    } else if (type == DT_LNK) {
      entry.is_link = true;
      struct stat st;
      entry.is_directory = ::fstatat(dfd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    out.push_back(std::move(entry));
  }
  ::closedir(dir);
  return {};
}

struct PathCollator::Impl {
  std::unique_ptr<icu::Collator> collator;
};

PathCollator::PathCollator() : impl_(std::make_unique<Impl>()) {
  UErrorCode status = U_ZERO_ERROR;
  // The C and POSIX locales map to a code-point order that puts every capital
  // first; they get the root collation, which orders names ignoring case.
  icu::Locale locale = icu::Locale::getDefault();
  if (std::strcmp(locale.getVariant(), "POSIX") == 0) locale = icu::Locale::getRoot();
  impl_->collator.reset(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !impl_->collator) {
    status = U_ZERO_ERROR;
    impl_->collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
  }
  if (impl_->collator) impl_->collator->setStrength(icu::Collator::SECONDARY);
}

PathCollator::~PathCollator() = default;

namespace {

// The path with its letter case folded: the tie-break between paths that the
// collation finds equal although they differ in more than case (variant
// forms of a character, or bytes that are not UTF-8, which the collation
// sees as one and the same replacement character).
std::string FoldedPath(std::string_view path, const icu::UnicodeString& text) {
  std::string round_trip;
  text.toUTF8String(round_trip);
  if (round_trip != path) {
    std::string folded(path);
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return folded;
  }
  icu::UnicodeString folded = text;
  folded.foldCase();
  std::string out;
  folded.toUTF8String(out);
  return out;
}

}  // namespace

std::string PathCollator::SortKey(std::string_view path) const {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(path.data(), static_cast<int32_t>(path.size())));
  std::string key(path.size() * 2 + 16, '\0');
  for (;;) {
    const int32_t n = impl_->collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                                  static_cast<int32_t>(key.size()));
    if (n <= static_cast<int32_t>(key.size())) {
      // The collation key ends with its only zero byte; the folded path
      // follows it, so it decides only between keys that are equal.
      key.resize(n > 0 ? static_cast<size_t>(n) : 0);
      if (key.empty()) key.push_back('\0');
      key += FoldedPath(path, text);
      return key;
    }
    key.resize(static_cast<size_t>(n));
  }
}

int PathCollator::Compare(std::string_view a, std::string_view b) const {
  const int r = SortKey(a).compare(SortKey(b));
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

const PathCollator& DefaultPathCollator() {
  static const PathCollator collator;
  return collator;
}

}  // namespace pelvar::platform
