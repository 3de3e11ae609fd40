#include "engine/FolderInstall.h"

#include <cerrno>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/InUseProbe.h"
#include "engine/InstallJournal.h"
#include "engine/StagingNames.h"
#include "platform/Files.h"
#include "util/Errors.h"
#include "util/IniFiles.h"

namespace engine {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// A free name for the old copy within the target's folder.
std::string FreeAsideName(const std::string& folder, const std::string& bare) {
  for (int attempt = 0;; ++attempt) {
    const std::string aside = folder + AsideName(bare, attempt);
    if (!platform::FileExists(aside) && !platform::FolderExists(aside)) return aside;
  }
}

// Puts the old copy back under the component's name; a copy that a partial
// move left under that name goes first.  Both are addressed by the exact
// names in the journal: a file whose name differs only in case is another
// file of the user's.  False when the old copy is still aside, in which case
// the journal must stay for a later attempt; raises EFOpenError when it
// cannot be told whether it is.
bool RestoreAside(const TInstallJournal& journal) {
  if (journal.Aside.empty() || !platform::FileExistsExactOrRaise(journal.Aside)) return true;
  platform::DeleteFileExact(journal.Target);
  return platform::MoveFileNoReplaceExact(journal.Aside, journal.Target);
}

// Deletes the file; true when it is gone, also when it was gone before.
bool Gone(const std::string& path) { return platform::DeleteFileExact(path) || errno == ENOENT; }

// Undoes an installation whose staged file may have moved in: without an
// old copy, whatever is under the component's name is the new copy (or an
// unfinished one) and goes; with one, the old copy comes back.  False when
// that did not happen, in which case the journal must stay.
bool Undo(const TInstallJournal& journal) {
  return journal.Aside.empty() ? Gone(journal.Target) : RestoreAside(journal);
}

// Removes the new copy and brings the old one back.
void RollBack(const std::string& programFolder, TInstallJournal journal) {
  journal.Phase = TInstallPhase::RollingBack;
  WriteInstallJournal(programFolder, journal);
  if (Undo(journal)) RemoveInstallJournal(programFolder);
}

// True when the target's Version.ini records the journal's version: an
// earlier attempt recorded it and stopped before its journal was removed.
// Raises EFOpenError when the file is there but cannot be read.
bool VersionRecorded(const TInstallJournal& journal) {
  const TIniSnapshot versionFile(FolderOf(journal.Target) + kVersionFileName, true);
  return versionFile.ReadString(journal.ModuleName, journal.ComponentKey, "") ==
         journal.AvailableVersion;
}

// False only when Version.ini can be read and does not record the version.
bool MayBeRecorded(const TInstallJournal& journal) {
  try {
    return VersionRecorded(journal);
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
bool ClearUp(const std::string& programFolder, const TInstallJournal& journal) {
  if (!journal.Aside.empty() && !Gone(journal.Aside)) return false;
  if (!platform::SyncFolder(FolderOf(journal.Target))) return false;
  if (!journal.CompanionFile.empty()) platform::DeleteFileExact(journal.CompanionFile);
  return RemoveInstallJournal(programFolder);
}

// The last steps, the same for a fresh installation and a recovered one:
// the version is recorded, then the leftovers go.  Raises when the version
// could not be recorded, and the folder's Version.ini shows it is not: a
// Version.ini is replaced whole or not at all.  False when the journal has
// to stay: the leftovers could not go, or the record's write failed after
// the new Version.ini was in place (its folder could not be flushed), and
// taking the new copy out would leave the old copy with the new version.
bool Complete(const std::string& programFolder, const TInstallJournal& journal) {
  try {
    RecordInstalledVersion(FolderOf(journal.Target), journal.ModuleName, journal.ComponentKey,
                           journal.AvailableVersion);
  } catch (const std::exception&) {
    if (!MayBeRecorded(journal)) throw;
    return false;
  }
  return ClearUp(programFolder, journal);
}

// The temporary file of a Version.ini write that the process died in: it
// can only be in the folder of the installation the journal names, since
// the installed version is written nowhere else.  Raises EFOpenError when
// the folder cannot be listed or such a file stays: the journal is the only
// record of it.
void RemoveUnfinishedVersionWrites(const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(folder, "*", entries)) RaiseOpenError(folder, errno);
  for (const auto& entry : entries)
    if (!entry.isFolder && platform::IsUnfinishedWrite(entry.name, kVersionFileName) &&
        !Gone(folder + entry.name))
      RaiseOpenError(folder + entry.name, errno);
}

TInstallJournal JournalFor(const TFolderInstall& install) {
  TInstallJournal journal;
  journal.StagedFile = install.ProgramFolder + install.StagedName;
  journal.CompanionFile = install.ProgramFolder + install.CompanionName;
  // An existing copy keeps the letter case of its name.
  journal.Target = platform::ResolvePath(install.Folder + BareNameOfStaged(install.StagedName));
  if (platform::FileExists(journal.Target))
    journal.Aside = FreeAsideName(install.Folder, BareNameOfStaged(install.StagedName));
  journal.ModuleName = install.Companion.ModuleName;
  journal.ComponentKey = install.Companion.ComponentKey;
  journal.AvailableVersion = install.Companion.AvailableVersion;
  return journal;
}

// The new copy takes over the old copy's owner and mode before it moves
// in, so an executable stays executable and a private file private from
// the moment it carries the component's name.  An old "copy" that is a
// symbolic link lends nothing: the new file keeps the mode it was made with.
bool TakeOverOldCopysMode(const TInstallJournal& journal) {
  if (journal.Aside.empty()) return true;
  return platform::CopyOwnerAndMode(journal.Target, journal.StagedFile);
}

// After a move that failed.  A failed move is taken back, but taking it
// back may fail too, so the folder is put as it was by the journal, and the
// journal goes only once it is.  While the staged file is still there,
// nothing of ours is under the component's name.
void GiveUp(const std::string& programFolder, const TInstallJournal& journal) {
  const bool stagedStayed = platform::FileExistsExact(journal.StagedFile);
  if (stagedStayed ? RestoreAside(journal) : Undo(journal)) RemoveInstallJournal(programFolder);
}

bool Replace(const std::string& programFolder, const TInstallJournal& journal) {
  WriteInstallJournal(programFolder, journal);
  if (!TakeOverOldCopysMode(journal)) {
    RemoveInstallJournal(programFolder);
    return false;
  }
  if (!journal.Aside.empty() && !platform::MoveFileNoReplaceExact(journal.Target, journal.Aside)) {
    GiveUp(programFolder, journal);
    return false;
  }
  if (!platform::MoveFileNoReplaceExact(journal.StagedFile, journal.Target)) {
    GiveUp(programFolder, journal);
    return false;
  }
  try {
    return Complete(programFolder, journal);
  } catch (const std::exception&) {
    RollBack(programFolder, journal);
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

}  // namespace

bool InstallIntoFolder(const TFolderInstall& install) {
  const std::string& programFolder = install.ProgramFolder;
  if (!RecoverInterruptedInstall(install.ProgramFolder)) return false;
  if (!platform::FileExistsExact(install.ProgramFolder + install.StagedName)) return false;
  if (!StagedFileIsOurs(install.ProgramFolder + install.StagedName)) return false;
  const TInstallJournal journal = JournalFor(install);
  // A copy in use is never deleted or replaced: the installation fails here
  // just as the probe of update detection predicted.
  if (!journal.Aside.empty() && FileInUse(journal.Target)) return false;
  if (!Journallable(programFolder, journal)) return false;
  try {
    return Replace(programFolder, journal);
  } catch (const std::exception&) {
    return false;
  }
}

bool RecoverInterruptedInstall(const std::string& programFolder) {
  bool finished = true;  // false once a copy that had moved in is taken out again
  try {
    if (!InstallJournalExists(programFolder)) return true;
    const auto journal = ReadInstallJournal(programFolder);
    if (!journal) {
      // Written whole or not at all: this is no journal of ours.
      RemoveInstallJournal(programFolder);
      return !InstallJournalExists(programFolder);
    }
    RemoveUnfinishedVersionWrites(FolderOf(journal->Target));
    // A look that fails raises: a staged file taken for moved would have its
    // version recorded for the old copy.
    const bool moved = !platform::FileExistsExactOrRaise(journal->StagedFile);
    // A new copy that has vanished since cannot be completed, only undone.
    if (journal->Phase == TInstallPhase::RollingBack ||
        (moved && !platform::FileExistsExactOrRaise(journal->Target))) {
      finished = false;
      RollBack(programFolder, *journal);
    } else if (moved && VersionRecorded(*journal)) {
      // Recorded already: undone now, the old copy would carry the new
      // version.  Only the leftovers remain.
      finished = ClearUp(programFolder, *journal);
    } else if (moved) {
      try {
        finished = Complete(programFolder, *journal);
      } catch (const std::exception&) {
        finished = false;
        RollBack(programFolder, *journal);
      }
    } else if (Undo(*journal)) {
      // The staged file never left, so anything under the component's name
      // other than the old copy is an unfinished copy of it.
      RemoveInstallJournal(programFolder);
    }
    return finished && !InstallJournalExists(programFolder);
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
