#pragma once
// The family's tree of real folders, and the one road into it.
//
// Members of the family's group may write to its folders, so any of them can
// plant a symbolic link there, and then a journal or a staged file that
// names the link, hoping that the next updater (perhaps another member's, or
// root's) follows it and changes a file elsewhere.  The rule that keeps the
// updater inside, while a module folder the administrator linked in (on
// another disk, say) keeps working:
//
//   a symbolic link is followed only when it belongs to root or to the owner
//   of the program folder; a link of anybody else is never entered.
//
// It is the kernel's protected-symlinks idea applied to the family's folder:
// a link counts when its owner could have put the folder it leads to in
// place anyway.  The folder scan lists only folders reached this way, and an
// installation reaches its folder only this way: its path below the program
// folder is walked one component at a time, each opened without following a
// link, and the target of a link the rule allows is walked the same way.
// The folder then stays open, and every later call reaches it through its
// descriptor (the /proc/self/fd path), so a folder renamed or a link planted
// above it meanwhile changes nothing: the calls go to the folder that was
// reached, and to no other.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

// Which real folder a folder is, and when it was made: its device and inode
// (as TFolderIdentity of FolderListing.h), and its birth time (nanoseconds
// since 1970 at the file system's clock granularity, 0 where the file system
// does not say), since a folder made after another was removed may get the
// same inode.
struct TFolderStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint64_t Born = 0;
  bool operator==(const TFolderStamp&) const = default;
};

// The stamp of the folder at the path, links followed; all zero when there
// is no folder there.  For tests and tools: the updater takes a folder's
// stamp from the folder it reached.
TFolderStamp FolderStampOf(const std::string& path);

// The rule above: may a symbolic link owned by `linkOwner` be followed in a
// family whose program folder belongs to `familyOwner`?
bool MayFollowLink(uid_t linkOwner, uid_t familyOwner);
// The owner of the program folder; root when it cannot be told, so that
// only root's links are followed then.
uid_t FamilyOwner(const std::string& family);

class TContainedFolder {
 public:
  TContainedFolder() = default;
  ~TContainedFolder();
  TContainedFolder(TContainedFolder&& other) noexcept;
  TContainedFolder& operator=(TContainedFolder&& other) noexcept;
  TContainedFolder(const TContainedFolder&) = delete;
  TContainedFolder& operator=(const TContainedFolder&) = delete;

  // Opens the folder `relative` below the program folder `family` (both
  // ending in "/" or not; an empty `relative` is the program folder itself)
  // by the walk described above.  The relative path holds no "." or ".."
  // component (EINVAL).  False with errno on failure; FolderIsGone tells
  // whether the error means that there is no such folder in the family.
  bool Open(const std::string& family, const std::string& relative);
  bool IsOpen() const { return FHandle >= 0; }

  // The path that reaches the open folder and no other, ending in "/": a
  // file name appended to it names the file in this folder.
  const std::string& Path() const { return FPath; }
  // The folder's path as the user knows it (family + relative), ending in
  // "/", for messages.
  const std::string& Shown() const { return FShown; }
  TFolderStamp Stamp() const { return FStamp; }
  // The open descriptor (read-only), for a lock on the folder.
  int Handle() const { return FHandle; }

 private:
  void Close();

  int FHandle = -1;
  std::string FPath;
  std::string FShown;
  TFolderStamp FStamp;
};

// A path that leads through an open folder's descriptor (one of Path()) as
// the user knows it, the folder's shown path in its place; any other path
// as it is.  For the file seam, whose tests follow files by their names.
std::string ShownPath(const std::string& path);

// True when the error of a failed Open means that the family holds no such
// folder: it is missing, a component is no folder, or it is reached only
// through a link the rule does not follow.  Anything else (no permission, a
// disk error, no descriptor left) may pass.
bool FolderIsGone(int error);

}  // namespace platform
