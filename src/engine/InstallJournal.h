#pragma once
// The install journal: one small file in the program folder that says which
// staged file is being moved into which folder, so that a run that dies in
// the middle can be finished or undone at the next start.  It is written,
// flushed, before the first file of an installation is touched, and removed
// after the last.
//
// Anyone who may write the program folder may also write a journal, so it
// can name no more than an installation does: two files in the program
// folder, and two in one installation folder below it, each by a bare name.
// The installation folder is named by its path below the program folder and
// by the real folder it was (its stamp: device, inode and birth): recovery
// reaches it by the contained walk (platform/ContainedFolder.h) and acts only
// when it finds that same folder.
#include <optional>
#include <string>

#include "platform/ContainedFolder.h"

namespace engine {

enum class TInstallPhase {
  Replacing,    // the old copy goes aside, the staged file moves in, the version is recorded
  RollingBack,  // the version could not be recorded: the new copy goes, the old one comes back
};

struct TInstallJournal {
  TInstallPhase Phase = TInstallPhase::Replacing;
  // In the program folder: the staged file and its companion (which may be
  // missing: empty).
  std::string StagedName;
  std::string CompanionName;
  // The installation folder: its full path, ending in "/", and the real
  // folder it was when the journal was written.
  std::string Folder;
  platform::TFolderStamp FolderStamp;
  // In the installation folder: the file being replaced, and the old copy
  // kept aside (empty when there was none).
  std::string TargetName;
  std::string AsideName;
  // Where the new version is recorded in the folder's Version.ini.
  std::string ModuleName;
  std::string ComponentKey;
  std::string AvailableVersion;
};

// "InstallJournal.{J}" in the program folder.
std::string InstallJournalPath(const std::string& programFolder);

// True when the journal keeps to the rules above: the installation folder
// lies below the program folder with no ".", ".." or empty component on the
// way, every file is a bare name (none empty but the companion and the old
// copy, none "." or ".."), and every text fits on one line.  The reader
// holds a journal to the same rules and discards one that breaks them,
// touching nothing it names.
bool Journallable(const std::string& programFolder, const TInstallJournal& journal);

// Writes the program folder's journal whole and flushed; raises
// EFCreateError.  The folder is kept relative to the program folder, so a
// tree moved within its file system between a crash and the next start is
// still recovered.
void WriteInstallJournal(const std::string& programFolder, const TInstallJournal& journal);
// The journal, or nothing when there is none or it cannot be made sense of
// (a file larger than any journal is not read).
// Raises EFOpenError when the file is there but cannot be read: it is still
// the only record of what to finish or undo, so it must stay.
std::optional<TInstallJournal> ReadInstallJournal(const std::string& programFolder);
// Raises EFOpenError when the journal cannot be looked at (a failing disk):
// taken for absent, it would be overwritten by the next installation's.
bool InstallJournalExists(const std::string& programFolder);
// Deletes the journal and flushes the program folder; false when the
// journal is still there, or its deletion could not be flushed (a power cut
// could bring it back).
bool RemoveInstallJournal(const std::string& programFolder);

}  // namespace engine
