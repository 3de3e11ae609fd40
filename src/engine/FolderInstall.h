#pragma once
// Installing one staged file into one installation folder, so that a failure
// or a crash at any moment leaves the folder with either the old file and
// the old version or the new file and the new version:
//   0. a staged file of another user's is replaced by a copy of our own;
//   1. the installation folder is reached by the contained walk from the
//      program folder (platform/ContainedFolder.h) and locked for the
//      length of the installation (platform/FolderLock.h);
//   2. the install journal is written (and flushed);
//   3. the staged file takes over the old copy's owner and mode, if any;
//   4. the old copy, if any, is renamed aside within its folder;
//   5. the staged file is moved in under the component's name;
//   6. the new version is recorded in the folder's Version.ini;
//   7. the old copy and the companion are deleted, then the journal.
// Every file of these steps is addressed by the exact name found or
// created, never looked up again without regard to case, so a user's file
// whose name differs only in case is never touched; and every file of the
// installation folder through the folder reached in step 1, so a link
// planted on the way meanwhile sends nothing elsewhere.
// A failed move brings the old copy back; a version that cannot be recorded
// takes the new copy out again and brings the old one back.  A process that
// dies midway leaves the journal, and the next start finishes or undoes the
// installation from it (RecoverInterruptedInstall).
#include <string>

#include "engine/CompanionFile.h"

namespace engine {

struct TFolderInstall {
  std::string ProgramFolder;  // ends in "/"
  std::string StagedName;     // "<bare>.{F}", in the program folder
  std::string CompanionName;  // in the program folder
  std::string Folder;         // the installation folder, ends in "/"
  TCompanion Companion;
};

// True when the staged file is now the folder's copy and its version is
// recorded; false when the folder keeps its old copy and old version (the
// copy is in use, a file could not be moved, the version could not be
// recorded, or an earlier installation still waits to be recovered).
// Raises nothing.
bool InstallIntoFolder(const TFolderInstall& install);

// Finishes or undoes an installation that a crash interrupted, and removes
// the temporary file of a Version.ini write that the crash cut short.  True
// when there was none, when it was finished, or when it was undone before
// its staged file had moved (the file stays staged).  A journal whose
// installation folder is gone (missing, no folder, reached only through a
// link not followed, or another folder than the journal's) is dropped
// without a word and gives true: nothing is left there to finish or undo.
// False when the journal has to wait for a later start (a failure that may
// pass: no permission, a disk error, a file in use, another installation in
// the folder), and when a copy that had moved in had to be taken out again
// or has vanished (its version could not be recorded, a power cut lost its
// move): that update is lost and has to be fetched again.
bool RecoverInterruptedInstall(const std::string& programFolder);

// Writes the installed version into the folder's Version.ini (through the
// INI writer); raises its errors.
void RecordInstalledVersion(const std::string& folder, const std::string& module,
                            const std::string& key, const std::string& version);

}  // namespace engine
