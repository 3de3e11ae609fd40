#include "engine/FolderInstall.h"

#include <cerrno>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/InUseProbe.h"
#include "engine/InstallJournal.h"
#include "engine/StagingNames.h"
#include "platform/ContainedFolder.h"
#include "platform/Files.h"
#include "platform/FolderLock.h"
#include "util/Errors.h"
#include "util/IniFiles.h"

namespace engine {
namespace {

// An installation as its journal describes it, with its folder open by the
// contained walk and locked.  Every file of it is reached through the paths
// below: the program folder's own by their names in it, the installation
// folder's through the open folder, so nothing renamed or linked above that
// folder meanwhile can send a call elsewhere.
struct TOpenInstall {
  std::string ProgramFolder;
  TInstallJournal Journal;
  platform::TContainedFolder Folder = {};
  platform::TFolderLock Lock = {};

  std::string Staged() const { return ProgramFolder + Journal.StagedName; }
  std::string Target() const { return Folder.Path() + Journal.TargetName; }
  std::string Aside() const {
    return Journal.AsideName.empty() ? std::string() : Folder.Path() + Journal.AsideName;
  }
};

enum class TReach {
  Reached,  // open, the same folder as the journal's, and locked
  Gone,     // the family holds no such folder any more, or another one stands in its place
  Failed,   // not now: no permission, a disk error, or another installation works in it
};

// Opens the journal's installation folder by the contained walk and locks
// it.  With `sameFolderAsBefore` (a journal from before), only the very
// folder it names will do.
TReach Reach(TOpenInstall& install, bool sameFolderAsBefore) {
  const std::string relative = install.Journal.Folder.substr(install.ProgramFolder.size());
  if (!install.Folder.Open(install.ProgramFolder, relative))
    return platform::FolderIsGone(errno) ? TReach::Gone : TReach::Failed;
  if (sameFolderAsBefore && install.Folder.Stamp() != install.Journal.FolderStamp)
    return TReach::Gone;
  return install.Lock.Take(install.Folder) ? TReach::Reached : TReach::Failed;
}

// A free name for the old copy within the installation folder.
std::string FreeAsideName(const platform::TContainedFolder& folder, const std::string& bare) {
  for (int attempt = 0;; ++attempt) {
    const std::string name = AsideName(bare, attempt);
    if (!platform::FileExists(folder.Path() + name) &&
        !platform::FolderExists(folder.Path() + name))
      return name;
  }
}

// Puts the old copy back under the component's name; a copy that a partial
// move left under that name goes first.  Both are addressed by the exact
// names in the journal: a file whose name differs only in case is another
// file of the user's.  False when the old copy is still aside and may yet
// come back, in which case the journal must stay for a later attempt;
// raises EFOpenError when it cannot be told whether it is.  A folder that
// has taken the component's name keeps the old copy out for good: it stays
// aside, and no start waits for it.
bool RestoreAside(const TOpenInstall& install) {
  if (install.Journal.AsideName.empty() || !platform::FileExistsExactOrRaise(install.Aside()))
    return true;
  platform::DeleteFileExact(install.Target());
  if (platform::MoveFileNoReplaceExact(install.Aside(), install.Target())) return true;
  return errno == EEXIST && platform::FolderExists(install.Target());
}

// Deletes the file; true when it is gone, also when it was gone before.
bool Gone(const std::string& path) { return platform::DeleteFileExact(path) || errno == ENOENT; }

// Undoes an installation whose staged file may have moved in: without an
// old copy, whatever is under the component's name is the new copy (or an
// unfinished one) and goes; with one, the old copy comes back.  False when
// that did not happen, in which case the journal must stay.
bool Undo(const TOpenInstall& install) {
  return install.Journal.AsideName.empty() ? Gone(install.Target()) : RestoreAside(install);
}

// Removes the new copy and brings the old one back.
void RollBack(TOpenInstall& install) {
  install.Journal.Phase = TInstallPhase::RollingBack;
  WriteInstallJournal(install.ProgramFolder, install.Journal);
  if (Undo(install)) RemoveInstallJournal(install.ProgramFolder);
}

// True when the folder's Version.ini records the journal's version: an
// earlier attempt recorded it and stopped before its journal was removed.
// Raises EFOpenError when the file is there but cannot be read.
bool VersionRecorded(const TOpenInstall& install) {
  const TIniSnapshot versionFile(install.Folder.Path() + kVersionFileName, true);
  const TInstallJournal& journal = install.Journal;
  return versionFile.ReadString(journal.ModuleName, journal.ComponentKey, "") ==
         journal.AvailableVersion;
}

// False only when Version.ini can be read and does not record the version.
bool MayBeRecorded(const TOpenInstall& install) {
  try {
    return VersionRecorded(install);
  } catch (const std::exception&) {
    return true;
  }
}

// The steps after the version is recorded: the old copy goes and the
// installation folder is flushed, then the companion and the journal go.
// The folder's flush puts the version's record and the old copy's removal
// on disk before the journal goes: after a power cut, nothing else would
// ever record the version again or find the old copy.  False when the
// journal has to stay for the next start to finish.
bool ClearUp(const TOpenInstall& install) {
  if (!install.Journal.AsideName.empty() && !Gone(install.Aside())) return false;
  if (!platform::SyncFolder(install.Folder.Path())) return false;
  if (!install.Journal.CompanionName.empty())
    platform::DeleteFileExact(install.ProgramFolder + install.Journal.CompanionName);
  return RemoveInstallJournal(install.ProgramFolder);
}

// The last steps, the same for a fresh installation and a recovered one:
// the version is recorded, then the leftovers go.  Raises when the version
// could not be recorded, and the folder's Version.ini shows it is not: a
// Version.ini is replaced whole or not at all.  False when the journal has
// to stay: the leftovers could not go, or the record's write failed after
// the new Version.ini was in place (its folder could not be flushed), and
// taking the new copy out would leave the old copy with the new version.
bool Complete(const TOpenInstall& install) {
  const TInstallJournal& journal = install.Journal;
  try {
    RecordInstalledVersion(install.Folder.Path(), journal.ModuleName, journal.ComponentKey,
                           journal.AvailableVersion);
  } catch (const std::exception&) {
    if (!MayBeRecorded(install)) throw;
    return false;
  }
  return ClearUp(install);
}

// The temporary file of a Version.ini write that the process died in: it
// can only be in the folder of the installation the journal names, since
// the installed version is written nowhere else.  Raises EFOpenError when
// the folder cannot be listed or such a file stays: the journal is the only
// record of it.
void RemoveUnfinishedVersionWrites(const platform::TContainedFolder& folder) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(folder.Path(), "*", entries)) RaiseOpenError(folder.Shown(), errno);
  for (const auto& entry : entries)
    if (!entry.isFolder && platform::IsUnfinishedWrite(entry.name, kVersionFileName) &&
        !Gone(folder.Path() + entry.name))
      RaiseOpenError(folder.Shown() + entry.name, errno);
}

// The journal of a new installation into the open folder: an existing copy
// keeps the letter case of its name, and gets a free name to wait under.
void PlanInstall(TOpenInstall& install, const TFolderInstall& what) {
  TInstallJournal& journal = install.Journal;
  const std::string bare = BareNameOfStaged(what.StagedName);
  const std::string found = platform::ResolvePath(install.Folder.Path() + bare);
  journal.TargetName =
      found.starts_with(install.Folder.Path()) ? found.substr(install.Folder.Path().size()) : bare;
  journal.FolderStamp = install.Folder.Stamp();
  if (platform::FileExists(install.Target()))
    journal.AsideName = FreeAsideName(install.Folder, bare);
}

TInstallJournal JournalStart(const TFolderInstall& install) {
  TInstallJournal journal;
  journal.StagedName = install.StagedName;
  journal.CompanionName = install.CompanionName;
  journal.Folder = install.Folder;
  journal.ModuleName = install.Companion.ModuleName;
  journal.ComponentKey = install.Companion.ComponentKey;
  journal.AvailableVersion = install.Companion.AvailableVersion;
  return journal;
}

// The new copy takes over the old copy's owner and mode before it moves
// in, so an executable stays executable and a private file private from
// the moment it carries the component's name.  An old "copy" that is a
// symbolic link lends nothing: the new file keeps the mode it was made with.
bool TakeOverOldCopysMode(const TOpenInstall& install) {
  if (install.Journal.AsideName.empty()) return true;
  return platform::CopyOwnerAndMode(install.Target(), install.Staged());
}

// After a move that failed.  A failed move is taken back, but taking it
// back may fail too, so the folder is put as it was by the journal, and the
// journal goes only once it is.  While the staged file is still there,
// nothing of ours is under the component's name.
void GiveUp(const TOpenInstall& install) {
  const bool stagedStayed = platform::FileExistsExact(install.Staged());
  if (stagedStayed ? RestoreAside(install) : Undo(install))
    RemoveInstallJournal(install.ProgramFolder);
}

bool Replace(TOpenInstall& install) {
  const std::string& programFolder = install.ProgramFolder;
  WriteInstallJournal(programFolder, install.Journal);
  if (!TakeOverOldCopysMode(install)) {
    RemoveInstallJournal(programFolder);
    return false;
  }
  if (!install.Journal.AsideName.empty() &&
      !platform::MoveFileNoReplaceExact(install.Target(), install.Aside())) {
    GiveUp(install);
    return false;
  }
  if (!platform::MoveFileNoReplaceExact(install.Staged(), install.Target())) {
    GiveUp(install);
    return false;
  }
  try {
    return Complete(install);
  } catch (const std::exception&) {
    RollBack(install);
    return false;
  }
}

// In a folder shared by a group, a staged file may belong to another
// member, and so would the installed copy: its owner could still change it
// after we installed it.  It is replaced by a copy of our own first, before
// the journal is written; a crash in the middle leaves the staged file as
// it was and a temporary copy that the next start removes.
bool StagedFileIsOurs(const std::string& stagedFile) {
  return !platform::OwnedByAnotherUser(stagedFile) || platform::ReplaceWithOwnCopy(stagedFile);
}

// Finishes or undoes the installation of a journal whose folder is open and
// locked; false when a copy that had moved in had to be taken out again, or
// the journal has to stay.  Raises what the steps raise; the journal then
// stays.
bool FinishOrUndo(TOpenInstall& install) {
  RemoveUnfinishedVersionWrites(install.Folder);
  // A look that fails raises: a staged file taken for moved would have its
  // version recorded for the old copy.
  const bool moved = !platform::FileExistsExactOrRaise(install.Staged());
  if (install.Journal.Phase == TInstallPhase::RollingBack) {
    RollBack(install);
    return false;
  }
  if (moved && !platform::FileExistsExactOrRaise(install.Target())) {
    // The new copy has vanished since (a power cut took its move into the
    // folder, say): there is nothing to complete, only the old copy to bring
    // back, and an update lost to tell of.
    RollBack(install);
    return false;
  } else if (moved && VersionRecorded(install)) {
    // Recorded already: undone now, the old copy would carry the new
    // version.  Only the leftovers remain.
    return ClearUp(install);
  } else if (moved) {
    try {
      return Complete(install);
    } catch (const std::exception&) {
      RollBack(install);
      return false;
    }
  } else if (Undo(install)) {
    // The staged file never left, so anything under the component's name
    // other than the old copy is an unfinished copy of it.
    RemoveInstallJournal(install.ProgramFolder);
  }
  return true;
}

}  // namespace

bool InstallIntoFolder(const TFolderInstall& install) {
  const std::string& programFolder = install.ProgramFolder;
  if (!RecoverInterruptedInstall(programFolder)) return false;
  if (!platform::FileExistsExact(programFolder + install.StagedName)) return false;
  if (!StagedFileIsOurs(programFolder + install.StagedName)) return false;
  if (!install.Folder.starts_with(programFolder)) return false;
  TOpenInstall open{programFolder, JournalStart(install)};
  if (Reach(open, false) != TReach::Reached) return false;
  PlanInstall(open, install);
  // A copy in use is never deleted or replaced: the installation fails here
  // just as the probe of update detection predicted.
  if (!open.Journal.AsideName.empty() && FileInUse(open.Target())) return false;
  if (!Journallable(programFolder, open.Journal)) return false;
  try {
    return Replace(open);
  } catch (const std::exception&) {
    return false;
  }
}

bool RecoverInterruptedInstall(const std::string& programFolder) {
  try {
    if (!InstallJournalExists(programFolder)) return true;
    const auto journal = ReadInstallJournal(programFolder);
    if (!journal) {
      // Written whole or not at all: this is no journal of ours.
      RemoveInstallJournal(programFolder);
      return !InstallJournalExists(programFolder);
    }
    TOpenInstall install{programFolder, *journal};
    switch (Reach(install, true)) {
      case TReach::Failed:
        return false;
      case TReach::Gone:
        // Nothing is left there to finish or undo (the application was
        // uninstalled, say): the journal goes without a word, and nothing
        // it names is touched.
        RemoveInstallJournal(programFolder);
        return !InstallJournalExists(programFolder);
      case TReach::Reached:
        break;
    }
    return FinishOrUndo(install) && !InstallJournalExists(programFolder);
  } catch (const std::exception&) {
    return false;
  }
}

void RecordInstalledVersion(const std::string& folder, const std::string& module,
                            const std::string& key, const std::string& version) {
  TIniFile versionFile(folder + kVersionFileName);
  versionFile.WriteString(module, key, version);
  versionFile.UpdateFile();
}

}  // namespace engine
