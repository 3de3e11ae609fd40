#pragma once
// Files and folders as the updater needs them on Linux.
//
// File names are matched without regard to letter case: every lookup of an
// existing file or folder resolves each path component exactly first, then
// case-insensitively.  A new file is created under the name given unless a
// file differing only in case exists, which is then used.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The folder of the running executable, ending in "/".  Tests may override it.
std::string ProgramFolder();
void SetProgramFolderForTesting(const std::string& folder);  // "" restores the real one

// Resolves an existing path component by component, exact match first, then
// without regard to case.  Components that do not exist are kept as given.
std::string ResolvePath(const std::string& path);

// True when a regular file (not a folder) exists at the path.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Size in bytes of the file at the path, or -1 when there is none.
int64_t FileSize(const std::string& path);

struct FolderEntry {
  std::string name;
  bool isFolder = false;
  uint64_t size = 0;
};
// Entries of a folder whose names match the pattern ("*" and "?" wildcards,
// compared without regard to case).  "." and ".." are never delivered.
// Returns false when the folder cannot be listed.
bool ListFolder(const std::string& folder, const std::string& pattern,
                std::vector<FolderEntry>& entries);

// The names in a folder named by its exact path (one found by a listing or
// the folder scan; nothing is looked up without regard to case), in the
// file system's order, without "." and "..".  Cheaper than ListFolder where
// only the names matter.  False when the folder cannot be listed.
bool ListNamesExact(const std::string& folder, std::vector<std::string>& names);

// Deletes a file; false when it could not (missing, in use, no permission).
bool DeleteFile(const std::string& path);
// Moves a file, never replacing an existing target: a rename within one file
// system, else copy, flush and remove the source.  A target that differs
// only in case counts as existing.  The moved file keeps its permission
// bits, owner and group (a copy takes them over where the process may).
// errno tells why on false.
bool MoveFileNoReplace(const std::string& from, const std::string& to);

// The same three for a path that already is the exact name of the file
// meant, one the caller found in a listing or created itself: nothing is
// looked up again, so a file whose name differs only in case is never taken
// for it.  What an installation renames, moves aside, restores or deletes
// is addressed this way.
bool FileExistsExact(const std::string& path);
bool DeleteFileExact(const std::string& path);
bool MoveFileNoReplaceExact(const std::string& from, const std::string& to);

// Gives the file `to` the owner, group and permission bits of the file
// `from` (both exact paths).  Owner and group are taken over where the
// process may set them; a set-user-ID or set-group-ID bit only with the
// owner or group it belongs to.  Neither name is followed: when `from` is a
// symbolic link nothing is taken over (true), and when `to` is not a
// regular file itself the call refuses (false, errno ELOOP).  False also
// when the bits could not be set.
bool CopyOwnerAndMode(const std::string& from, const std::string& to);

// True when the entry at the exact path (a symbolic link itself, not what
// it points at) belongs to another user than the one this process runs as,
// and the process is not root, which may give any file any owner.
bool OwnedByAnotherUser(const std::string& path);
// Replaces the regular file at the exact path by a copy of it that this
// process owns, with its permission bits (and group, where allowed): the
// copy is made beside it under a whole-file write's temporary name,
// flushed, and renamed over it, so the name holds the old file or the
// whole copy at every moment.  A symbolic link is refused (ELOOP).  errno
// tells why on false.
bool ReplaceWithOwnCopy(const std::string& path);

// Creates or replaces a whole file: the data is written beside the target,
// flushed to disk and renamed into place, so the target is never half
// written.  A symbolic link under the name is replaced, not written
// through.  A replaced file keeps its permission bits (and owner and group
// where allowed); when they cannot be set the write fails.  Raises
// EFCreateError with the platform's reason on failure.
void WriteWholeFile(const std::string& path, const void* data, size_t size);
// The hidden temporary file a whole-file write works in, beside its target:
// "." + name + ".{T}" + process id + "_" + counter.  One is left only when
// the process died in the middle of a write; the next run may delete it.
// True when `entry` is such a file, of a write to `name` when one is given
// (letter case ignored), else of a write to any name.
bool IsUnfinishedWrite(const std::string& entry, const std::string& name = "");
// Opens a file for writing from its start, as a download arriving piece by
// piece needs it: an existing file of that name (found without regard to
// case) is emptied in place and keeps its owner and permissions, else the
// file is created under the name given.  The same files are refused as by
// WriteWholeFile, and so is a symbolic link under the name (ELOOP): the
// file it points at is never emptied.  Returns the descriptor and the
// exact path opened; raises EFCreateError with the platform's reason.
int OpenForReplacing(const std::string& path, std::string& opened);
// Reads a whole file; raises EFOpenError with the platform's reason.
std::string ReadWholeFile(const std::string& path);

// Flushes a folder's entries to disk (after a rename or a create).
void SyncFolder(const std::string& folder);

}  // namespace platform
