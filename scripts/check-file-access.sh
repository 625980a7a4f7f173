#!/usr/bin/env bash
# Fails when code outside platform/ reaches the file system directly instead
# of through the platform::FileSystem service: the platform layer's free file
# functions and helpers, its low-level file headers, the standard library's
# file streams and std::filesystem, and POSIX file calls. Prints each hit.
set -euo pipefail
cd "$(dirname "$0")/.."
folders=(engine commands archive app)

free_functions='HostPath|IsFile|IsDirectory|PathExists|ListDirectory|ListHostDirectory'
free_functions+='|ReadHostFile|ReadWholeFile|OpenHostReader|CopyFile|MoveFile|DeleteFile'
free_functions+='|CreateDirectory|RemoveFile|MakeFolderTree|MakeExecutable'
free_functions+='|PrivateTempFolder'
free_functions+='|UniqueFd|FolderEntries|OpenFolderAt|FollowLinks|CopyFileAt|CopyFileData'
free_functions+='|CopyFileAtomicallyAt|RenameNoReplaceAt|CopyLinkAt|CopyTree|MoveTree|DeleteTree'
free_functions+='|CaseResolver|TemporaryFileName'
headers='platform/(file_primitives|file_operations|file_maintenance'
headers+='|private_temp_folder|host_file|case_resolver|temp_names|tree_operations)\.h'
system_calls='open|openat|creat|stat|lstat|fstat|fstatat|statx|unlink|unlinkat|rename|renameat'
system_calls+='|renameat2|mkdir|mkdirat|rmdir|opendir|fdopendir|readdir|access|faccessat|chmod'
system_calls+='|fchmod|chown|fchown|truncate|ftruncate|fsync|fdatasync|mkstemp|mkostemp|realpath'
system_calls+='|link|symlink|readlink|flock|copy_file_range|sendfile'

pattern="platform::($free_functions)\\b"
pattern+="|#include [\"<]($headers|filesystem|fstream|fcntl\\.h|sys/stat\\.h|dirent\\.h)[\">]"
pattern+="|std::(filesystem|ifstream|ofstream|fstream|remove|rename|tmpfile)\\b"
pattern+="|(^|[^A-Za-z0-9_.>:])(::)?(fopen|freopen)\\("
pattern+="|::($system_calls)\\("

if hits="$(grep -rnE --include='*.cpp' --include='*.h' "$pattern" "${folders[@]}")"; then
  echo "Direct file-system access outside platform/ (go through platform::FileSystem):"
  echo "$hits"
  exit 1
fi
echo "No direct file-system access in ${folders[*]}."
