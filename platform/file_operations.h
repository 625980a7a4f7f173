// Operations on single files and folders, for script paths (see HostPath).
// Outcomes are returned as error codes; nothing here raises.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_primitives.h"
#include "platform/file_system.h"

namespace pelvar::platform {

class CaseResolver;

// Deletes a file (a link is deleted, not its target). Folders are refused
// (EISDIR), and so is a read-only file, one without any write permission
// (EACCES), as the file finder counts it.
std::error_code DeleteFile(std::string_view path);
std::error_code DeleteFile(CaseResolver& resolver, std::string_view path);

// Creates one folder; its parent must exist.
std::error_code CreateDirectory(std::string_view path);
std::error_code CreateDirectory(CaseResolver& resolver, std::string_view path);

// Renames or moves a file or folder, never replacing anything: EEXIST when
// the target exists (a target that is the same entry spelt in another letter
// case renames it to that spelling). Across file systems a file is copied
// (data, permissions, times) and then deleted, a symbolic link made again
// at the new place (the same link text) and then removed; a folder fails
// with EXDEV.
std::error_code MoveFile(std::string_view from, std::string_view to);
std::error_code MoveFile(CaseResolver& resolver, std::string_view from, std::string_view to);

// Copies a file (data byte for byte, permission bits, times). The copy is
// written beside the target and then takes its name in one step, so the
// target is never half-written. With `replace` off an existing target is
// left alone and EEXIST returned; with it on, a file at the target is
// replaced (a folder there is refused, and so is a read-only file, EACCES).
std::error_code CopyFile(std::string_view from, std::string_view to, bool replace);
// Where a copy went: its folder, open, and its name there.
struct CopiedFile {
  UniqueFd folder_fd;
  std::string folder;
  std::string name;
};
// `reflink_failed`, when given, remembers across copies that the file system
// refused reflinks. `target_case` tells how the target's name meets an
// existing entry.
std::error_code CopyFile(CaseResolver& resolver, std::string_view from, std::string_view to,
                         bool replace, CopiedFile* copied = nullptr, bool* reflink_failed = nullptr,
                         TargetCase target_case = TargetCase::kAnySpelling);

}  // namespace pelvar::platform
