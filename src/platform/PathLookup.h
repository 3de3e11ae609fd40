#pragma once
// Finding existing files and folders.  File names are matched without
// regard to letter case: every lookup resolves each path component exactly
// first, then case-insensitively.
#include <time.h>

#include <cstdint>
#include <string>

namespace platform {

// Resolves an existing path component by component, exact match first, then
// without regard to case.  Components that do not exist are kept as given.
std::string ResolvePath(const std::string& path);
// The same; `error` is set to the error number of a look that failed for
// another reason than absence (MeansNotThere), 0 when none did.
std::string ResolvePath(const std::string& path, int& error);

// True for the error numbers that say an entry is not there for this
// process: missing, a file where a folder is meant, no permission to look,
// a link that leads nowhere.  Any other (a failing disk) says nothing
// about the entry.
bool MeansNotThere(int error);
// True for the error numbers that prove the entry absent: those of
// MeansNotThere but a look refused for want of permission, which says
// nothing of what is there (the folder's search permission may have been
// taken away for a while).
bool ProvesAbsent(int error);

// True when a regular file (not a folder) exists at the path.
bool FileExists(const std::string& path);
// The same, where a wrong "no" would be taken for a fact: raises EFOpenError
// with the platform's reason when a look fails for another reason than the
// file's absence (MeansNotThere).
bool FileExistsOrRaise(const std::string& path);
bool FolderExists(const std::string& path);
// Size in bytes of the file at the path, or -1 when there is none.
int64_t FileSize(const std::string& path);

// FileExists for a path that already is the exact name of the file meant
// (see FileMoves.h): nothing is looked up without regard to case.
bool FileExistsExact(const std::string& path);
// The same for a file whose absence the caller acts on (an installation's
// own files): raises EFOpenError with the platform's reason when the look
// fails without proving the file absent (ProvesAbsent), a refused look
// included.
bool FileExistsExactOrRaise(const std::string& path);
// True when anything, a symbolic link itself included, is under the exact
// path.
bool EntryExistsExact(const std::string& path);
// The last modification time of the regular file at the exact path (links
// followed); false when there is none (nothing, or something else).
bool RegularFileWrittenExact(const std::string& path, timespec& time);

}  // namespace platform
