#pragma once
// An exclusive flock held on an open file or folder, taken without waiting
// and given up when the object goes or the process ends, however it ends;
// no child process inherits it.  It belongs to the open file description,
// so it meets every other holder, in this process too.
#include <string>

namespace platform {

class THeldLock {
 public:
  THeldLock() = default;
  ~THeldLock();
  THeldLock(const THeldLock&) = delete;
  THeldLock& operator=(const THeldLock&) = delete;

  // Takes the lock on the open descriptor (of `path`, for the file seam),
  // which the object keeps; on failure the descriptor is closed and errno
  // tells why (EWOULDBLOCK when another holds the lock).
  bool Hold(int fd, const std::string& path);
  bool Held() const { return FHandle >= 0; }

 private:
  int FHandle = -1;
};

}  // namespace platform
