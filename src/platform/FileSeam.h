#pragma once
// The seam that every file-system call of the platform layer passes just
// before its system call.  In the program it costs one flag check and lets
// every call through.  A test arms it to make the Nth operation from then on
// fail with an error number, as a full disk (ENOSPC), a failing disk (EIO)
// or a permission taken away (EACCES) would make it fail, or to kill the
// process there (SIGKILL), as a crash of the program would.  A kill is not a
// power cut: what the process wrote stays in the page cache and reaches the
// disk all the same.  What a power cut may leave is built from the seam's
// record instead (tests/engine/faults/CrashStates.h).  A failed operation
// fails exactly as its system call would have, errno set, so the caller's
// own failure path runs.
//
// Operations are counted where they happen: every write() call of a file
// written in pieces is one, a whole-file write is several (create, write,
// flush, close, rename, folder flush).
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class TFileOp : uint8_t {
  Create,       // open for writing: create, or empty in place
  Write,        // one write() call
  Sync,         // flush a file's data to disk
  Close,        // close a file written (a delayed write error shows here)
  Rename,       // rename, the no-replace rename included
  Link,         // hard link (a move on file systems without no-replace rename)
  Unlink,       // delete a file
  ChangeMode,   // permission bits
  ChangeOwner,  // owner and group
  SyncFolder,   // flush a folder's entries to disk
  OpenToRead,   // open a file to read it whole
  Read,         // one read() call of such a file
  ListFolder,   // open a folder to list it
  Inspect,      // stat, lstat, fstat or access: what an entry is, its size, owner or mode
  OpenToWrite,  // open an existing file for writing without creating or emptying it
  WriteBack,    // start or wait for the write-back of a stretch of a file (sync_file_range)
  Lock,         // take a lock or a lease on an open file or folder
};
const char* FileOpName(TFileOp op);
// True for the operations that change something on disk; a kill before a
// read or a listing leaves what a kill before the next change leaves.
bool ChangesDisk(TFileOp op);

// What a test's record keeps of a call beyond its paths, so that the calls
// that change the disk can be replayed on a model of it.
struct TFileOpDetail {
  int Fd = -1;                 // the descriptor a call works on
  const void* Data = nullptr;  // the bytes of a write
  size_t Size = 0;
  int Flags = 0;      // of an open
  uint32_t Mode = 0;  // of an open that creates, or of a mode change
};

namespace seam {
extern std::atomic<bool> attending;  // false in the program
bool Attend(TFileOp op, const std::string& path, const std::string& to,
            const TFileOpDetail& detail);
void Finish(int64_t result);
extern const std::string kNoPath;
extern const TFileOpDetail kNoDetail;
}  // namespace seam

// Called just before the system call.  True: make the call.  False: the call
// must fail as the system's would, errno being set to the injected error.
// `to` is the second path of a rename or link.
inline bool PassFileOperation(TFileOp op, const std::string& path,
                              const std::string& to = seam::kNoPath,
                              const TFileOpDetail& detail = seam::kNoDetail) {
  if (!seam::attending.load(std::memory_order_relaxed)) return true;
  return seam::Attend(op, path, to, detail);
}

// Called just after a system call that was made, with its result: the call's
// return value, or -errno when it failed.  errno is left as it was.
inline void FinishFileOperation(int64_t result) {
  if (seam::attending.load(std::memory_order_relaxed)) seam::Finish(result);
}

// ---- For tests ----------------------------------------------------------

struct TFileFault {
  int64_t At = 0;           // the Nth operation counted from arming, from 1; 0 disarms
  int Error = 0;            // the error it fails with; 0 kills the process instead
  bool Persistent = false;  // every later counted operation fails too (a disk that stays full)
  // The operations counted (all when empty), so a test can aim at one kind.
  std::function<bool(TFileOp, const std::string& path)> Counts;
};
// Arming restarts the count.
void ArmFileFaultForTesting(TFileFault fault);
void DisarmFileFaultForTesting();
// Operations counted since arming, and how many of them were failed.
int64_t FileOperationsCountedForTesting();
int64_t FileFaultsInjectedForTesting();

struct TFileOpRecord {
  TFileOp Op = TFileOp::Create;
  std::string Path;
  std::string To;  // of a rename or link
  int Fd = -1;
  std::string Data;  // the bytes a write wrote
  int Flags = 0;
  uint32_t Mode = 0;
  // The call's return value (an open's descriptor, a write's count), or
  // -errno when it failed, an injected failure included.
  int64_t Result = 0;
};
// While recording, every operation is appended to the record (turning it on
// empties the record).
void RecordFileOperationsForTesting(bool on);
const std::vector<TFileOpRecord>& RecordedFileOperationsForTesting();
std::string DescribeFileOperation(const TFileOpRecord& record);

}  // namespace platform
