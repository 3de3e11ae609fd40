#pragma once
// Deleting and moving files.
//
// The plain functions look their paths up without regard to letter case
// (PathLookup.h).  The Exact ones take a path that already is the exact
// name of the file meant, one the caller found in a listing or created
// itself: nothing is looked up again, so a file whose name differs only in
// case is never taken for it.  What an installation renames, moves aside,
// restores or deletes is addressed this way.
#include <string>

namespace platform {

// Deletes a file; false when it could not (missing, in use, no permission).
bool DeleteFile(const std::string& path);
// Moves a file, never replacing an existing target: a rename within one file
// system, else copy and flush it, flush the target's folder, and remove the
// source.  A target that differs only in case counts as existing.  The
// moved file keeps its permission bits, owner and group (a copy takes them
// over where the process may).  The move is on disk when this returns true
// (both folders are flushed); when a flush fails the move is taken back and
// the call returns false.  errno tells why on false.
bool MoveFileNoReplace(const std::string& from, const std::string& to);

bool DeleteFileExact(const std::string& path);
bool MoveFileNoReplaceExact(const std::string& from, const std::string& to);

}  // namespace platform
