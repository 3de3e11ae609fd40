#pragma once
// An installation's hold on its installation folder.  Two program folders
// may share an installation folder (one reaches it through a link), and so
// two updaters, each holding its own run lock, could work in it at the same
// moment and undo each other's installation.  Each installation into a
// folder, and each recovery of one, holds this lock for its whole length.
//
// It is an exclusive flock on the folder itself.  Anyone who may read the
// folder could hold it, but anyone who may read the folder can already keep
// its files from being replaced by holding one open (the in-use probe), so
// it gives nobody a new way to stop an update.  It is taken without waiting:
// a folder another installation works in counts as in use.
#include "platform/ContainedFolder.h"
#include "platform/HeldLock.h"

namespace platform {

class TFolderLock {
 public:
  // Takes the lock on the open folder; false with errno (EWOULDBLOCK when
  // another installation holds it).
  bool Take(const TContainedFolder& folder);
  bool Held() const { return FLock.Held(); }

 private:
  THeldLock FLock;
};

}  // namespace platform
