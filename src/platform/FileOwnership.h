#pragma once
// Owners and permission bits of the files an update replaces.
#include <string>

namespace platform {

// Gives the file `to` the owner, group and permission bits of the file
// `from` (both exact paths).  Owner and group are taken over where the
// process may set them; a set-user-ID or set-group-ID bit only with the
// owner or group it belongs to.  Neither name is followed: when `from` is a
// symbolic link nothing is taken over (true), and when `to` is not a
// regular file itself the call refuses (false, errno ELOOP).  What was
// taken over is flushed to disk.  False also when the bits could not be set
// or flushed.
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
// tells why on false, also when only the folder's flush failed and the
// copy is in place.
bool ReplaceWithOwnCopy(const std::string& path);

}  // namespace platform
