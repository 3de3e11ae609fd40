#pragma once
// What a power cut may leave on disk.  A model of the folder tree below a
// root replays the file seam's record of a run (every file-system call of
// the platform layer, with its bytes and result) and builds, for any point
// of the run, the states that a power cut there may leave, under these
// rules:
//   - a file's data and mode are on disk for certain only once the file was
//     flushed (fsync), and then as they were at the flush;
//   - a folder's entries (names created, renamed in or out, deleted) are on
//     disk for certain only once the folder was flushed;
//   - anything not yet on disk for certain may be lost: all of it (the
//     state "flushed only"), or the operations not yet flushed reached the
//     disk in the order they were made, up to any one of them ("in order",
//     N operations), with or without the file data written meanwhile ("in
//     order without data": the names and modes reached the disk, the bytes
//     of files not yet flushed did not);
//   - a rename reaches the disk whole within one folder; across two folders
//     each folder's half goes with that folder;
//   - write-back (sync_file_range) makes nothing certain.
// These are the rules of ext4 in its default mode (data=ordered, delayed
// allocation: a renamed file whose data was never flushed may come back
// empty) and of XFS, and weaker: ext4 keeps every metadata change in order,
// which these rules do not count on.  States are told apart by what they
// hold, so each distinct state is counted and checked once.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/FileSeam.h"

namespace crash {

enum class TKept {
  FlushedOnly,        // everything not yet flushed is lost
  InOrder,            // the first N operations not yet flushed reached the disk
  InOrderWithoutData  // as InOrder, without the bytes written to files not yet flushed
};
const char* KeptName(TKept kept);

struct TCrashState {
  size_t Done = 0;  // operations of the record done when the power went
  TKept Kept = TKept::FlushedOnly;
  size_t Reached = 0;  // with InOrder*: how many operations not yet flushed reached the disk
};

class TDiskModel {
 public:
  // Takes the tree below `root` (ending in "/") as it is now: its folders
  // and regular files.  The updater creates no folders, so the folders
  // stay as they are.
  explicit TDiskModel(const std::string& root);

  // Replays a record made from the moment of construction.  Returns what
  // could not be replayed (a call the model does not know, a name it does
  // not hold), "" when all went well.
  std::string Replay(const std::vector<platform::TFileOpRecord>& record);
  // The tree after the whole record, in the form of Describe(): what the
  // disk holds when nothing is lost, so it must equal the real tree.
  std::string DescribeAfterAll() const;
  // Every file and folder below a real root, one per line: path, mode,
  // content.
  static std::string Describe(const std::string& root);

  // The points where a power cut may come: before the first operation and
  // after each one that changed the disk.
  std::vector<size_t> CrashPoints() const;
  // The states a power cut after `done` operations may leave (some may
  // hold the same; see Key).
  std::vector<TCrashState> StatesAt(size_t done) const;
  // What the state holds, in one text: equal texts, equal states.
  std::string Key(const TCrashState& state) const;
  // Lays the state out below `root`, which must exist and be empty.
  void LayOut(const TCrashState& state, const std::string& root) const;
  std::string Describe(const TCrashState& state) const;

  // Takes the flush of that operation out, as if the program had not made
  // it (to show that a check catches its absence).
  void DropFlush(size_t operation);
  // The operations that flush a file or a folder.
  std::vector<size_t> Flushes() const;
  const std::vector<platform::TFileOpRecord>& Record() const { return FRecord; }

 private:
  struct TInode {
    std::string Content;
    uint32_t Mode = 0;
  };
  enum class TChange { SetEntry, RemoveEntry, Truncate, Write, SetMode };
  struct TEffect {
    size_t Operation = 0;
    TChange Change = TChange::SetEntry;
    std::string Folder;  // of an entry change: relative, "" or ending in "/"
    std::string Name;
    int Inode = -1;
    uint64_t Offset = 0;  // of a write
    std::string Bytes;
    uint32_t Mode = 0;
    std::string Object() const;   // what a flush makes it certain with
    size_t FlushedAt = SIZE_MAX;  // the first flush of its object after it
  };
  struct TTree {
    std::map<std::string, std::map<std::string, int>> Folders;  // folder -> name -> inode
    std::vector<TInode> Inodes;
  };
  struct TOpen {
    int Inode = -1;
    uint64_t Position = 0;
  };

  std::string Relative(const std::string& path) const;
  bool SplitEntry(const std::string& path, std::string& folder, std::string& name) const;
  int EntryOf(const std::string& folder, const std::string& name) const;
  void Apply(TTree& tree, const TEffect& effect) const;
  static TEffect EntryChange(size_t operation, TChange change, const std::string& folder,
                             const std::string& name, int inode);
  static TEffect FileChange(size_t operation, TChange change, int inode);
  void Add(TEffect effect);
  void Settle();
  TTree Build(const TCrashState& state) const;
  static std::string Describe(const TTree& tree);
  std::string ReplayOne(size_t index, const platform::TFileOpRecord& op);

  std::string FRoot;
  mode_t FUmask = 022;
  TTree FInitial;
  TTree FNow;                 // the tree as the program sees it, while replaying
  std::vector<TInode> FBorn;  // each file as it was found or created
  std::map<int, TOpen> FOpen;
  std::vector<platform::TFileOpRecord> FRecord;
  std::vector<TEffect> FEffects;
  std::vector<std::pair<size_t, std::string>> FFlushes;  // operation, object
};

}  // namespace crash
