#pragma once
// Copying a file's bytes and its owner and mode, as moves across file
// systems and own copies need it.  Only the platform layer includes this.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

// An open file: its descriptor, and its path for the file seam.  Owner and
// mode are changed through the descriptor only, as a path may be a symbolic
// link to a file elsewhere.
struct TOpenFile {
  int fd;
  const std::string& path;
};

// Writes all the bytes, going on after a short write or an interruption.
// False with errno on failure.
bool WriteAll(int fd, const char* data, size_t size, const std::string& path);

// Gives the file the owner, group and permission bits described by `from`.
// Owner and group go first, as changing them clears the set-ID bits; what
// the process may not change stays, and a set-ID bit whose owner or group
// could not be taken over is dropped rather than granted to someone else.
// False when the bits could not be set.
bool TakeOverOwnerAndMode(TOpenFile file, const struct stat& from);

// Copies a regular file to a target that must not exist yet, flushing the
// copy to disk; the copy takes over the source's owner and mode as a rename
// would keep them.  A source that is a symbolic link is refused (ELOOP): a
// rename would move the link, and a copy must not fetch what it points at.
// On failure the partial copy is removed and errno kept.
bool CopyToNewFile(const std::string& from, const std::string& to);

}  // namespace platform
