// Copying, moving and deleting whole folder trees, for script paths. The walk
// works on open folders (openat), never follows a symbolic link inside a
// tree (links are copied as links and deleted as links) and keeps going past
// single failures, reporting them in the result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pelvar::platform {

class CaseResolver;

// Running totals of a copy, reported after each file. The callback returns
// false to stop the walk there (the operation then fails, as a failure in
// the middle would).
struct TreeProgress {
  uint64_t files = 0;
  uint64_t bytes = 0;
};
using TreeProgressFn = std::function<bool(const TreeProgress&)>;

// Copies the folder `source` with everything in it. When `destination` is an
// existing folder, the copy lands inside it under the source's own name;
// otherwise the copy takes the destination's name (missing folders above it
// are made). An existing copy target is merged into: entries of the same
// name, met ignoring letter case, are merged into (folders) or replaced in
// one step (files). File data is copied byte for byte with
// permission bits and times. A source that is a file is copied as a file.
// Fails when the source is missing or the target lies inside the source.
// True when everything was copied.
bool CopyTree(std::string_view source, std::string_view destination,
              const TreeProgressFn& progress = {});
// `why`, when given, receives on failure what went wrong, for a log line:
// the first entry that failed (its host path) with the system's reason, and
// what the operation left behind.
bool CopyTree(CaseResolver& resolver, std::string_view source, std::string_view destination,
              const TreeProgressFn& progress, std::string* why = nullptr);

// Moves a folder (or file) with the naming of CopyTree. On one file system
// the source is renamed (merged entry by entry into an existing target);
// across file systems it is copied and the source is deleted only after the
// whole copy succeeded, so a failure loses nothing (a partial copy in a
// target made by this move is removed again). True when all was moved.
bool MoveTree(std::string_view source, std::string_view destination,
              const TreeProgressFn& progress = {});
bool MoveTree(CaseResolver& resolver, std::string_view source, std::string_view destination,
              const TreeProgressFn& progress, std::string* why = nullptr);

// Deletes a folder and everything in it, for good. A symbolic link, inside
// the tree or as `path` itself, is deleted as a link; what it points to is
// never touched. A file at `path` is deleted. The root folder is refused.
// True when nothing is left.
// `progress`, when set, gets the running count of files deleted and their
// bytes after each file.
bool DeleteTree(std::string_view path);
bool DeleteTree(CaseResolver& resolver, std::string_view path, const TreeProgressFn& progress = {},
                std::string* why = nullptr);

}  // namespace pelvar::platform
