#pragma once
// One updater at a time per program folder: two runs on the same folder
// would race on its staged files and its install journal.
//
// The lock is an exclusive flock on the program folder itself.  Nothing is
// created for it, so a read-only folder needs nothing it cannot have, and
// nothing is left behind for start-up housekeeping to tell from a user's
// file.  It belongs to the open folder: it goes when the object goes or the
// process ends, however it ends, and no child process inherits it.
#include <string>

namespace platform {

class TRunLock {
 public:
  TRunLock() = default;
  ~TRunLock();
  TRunLock(const TRunLock&) = delete;
  TRunLock& operator=(const TRunLock&) = delete;

  // Takes the lock on the folder without waiting.  False only when another
  // run holds it; a folder that cannot be opened or locked for any other
  // reason has nothing to guard against, and gives true without the lock.
  bool Take(const std::string& folder);
  bool Held() const { return FHandle >= 0; }

 private:
  int FHandle = -1;
};

}  // namespace platform
