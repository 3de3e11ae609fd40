#pragma once
// One updater at a time per program folder: two runs on the same folder
// would race on its staged files and its install journal.
//
// The lock is an exclusive flock on a file of its own in the program
// folder, "quorvin-updater.lock", that only the family's members can open:
// its owner may read and write it, and in a folder shared by a group the
// group too, nobody else.  A lock on something anybody may open (the folder
// itself) would let any local user stop every update by holding it.  The
// file is opened for writing, so that on NFS, where a flock is a lock on the
// whole file that needs a descriptor open for writing, two machines exclude
// each other as well.
//
// The lock goes with the object or the process (HeldLock.h).  The file
// stays; start-up housekeeping never takes it for a leftover.
#include <string>

#include "platform/HeldLock.h"

namespace platform {

inline constexpr const char* kRunLockFileName = "quorvin-updater.lock";

class TRunLock {
 public:
  // Takes the lock of the program folder (ending in "/") without waiting,
  // making the lock file where it is missing.  True when the lock is held.
  // False with errno: EWOULDBLOCK when another run holds it, else why it
  // could not be taken (the file may not be opened or made, the file system
  // refuses locks, something else than a regular file has its name, EINVAL).
  bool Take(const std::string& folder);
  bool Held() const { return FLock.Held(); }

 private:
  THeldLock FLock;
};

}  // namespace platform
