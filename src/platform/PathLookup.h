#pragma once
// Finding existing files and folders.  File names are matched without
// regard to letter case: every lookup resolves each path component exactly
// first, then case-insensitively.
#include <cstdint>
#include <string>

namespace platform {

// Resolves an existing path component by component, exact match first, then
// without regard to case.  Components that do not exist are kept as given.
std::string ResolvePath(const std::string& path);

// True when a regular file (not a folder) exists at the path.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Size in bytes of the file at the path, or -1 when there is none.
int64_t FileSize(const std::string& path);

// FileExists for a path that already is the exact name of the file meant
// (see FileMoves.h): nothing is looked up without regard to case.
bool FileExistsExact(const std::string& path);
// True when anything, a symbolic link itself included, is under the exact
// path.
bool EntryExistsExact(const std::string& path);

}  // namespace platform
