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
// by the real folder it was (device and inode): recovery reaches it by the
// contained walk (platform/ContainedFolder.h) and acts only when it finds
// that same folder.
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
  std::string StagedName;                    // the staged file, in the program folder
  std::string CompanionName;                 // its companion, in the program folder; may be empty
  std::string Folder;                        // full path of the installation folder, ending in "/"
  platform::TFolderIdentity FolderIdentity;  // the real folder it was when the journal was written
  std::string TargetName;                    // the file being replaced, in the installation folder
  std::string AsideName;      // the old copy kept aside there; empty when there was none
  std::string ModuleName;     // where the new version is recorded in the folder's Version.ini
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
bool InstallJournalExists(const std::string& programFolder);
void RemoveInstallJournal(const std::string& programFolder);

}  // namespace engine
