#pragma once
// The install journal: one small file in the program folder that says which
// staged file is being moved into which folder, so that a run that dies in
// the middle can be finished or undone at the next start.  It is written,
// flushed, before the first file of an installation is touched, and removed
// after the last.
#include <optional>
#include <string>

namespace engine {

enum class TInstallPhase {
  Replacing,    // the old copy goes aside, the staged file moves in, the version is recorded
  RollingBack,  // the version could not be recorded: the new copy goes, the old one comes back
};

struct TInstallJournal {
  TInstallPhase Phase = TInstallPhase::Replacing;
  std::string StagedFile;     // full path of the staged file in the program folder
  std::string CompanionFile;  // full path of its companion
  std::string Target;         // full path of the file being replaced
  std::string Aside;          // full path of the old copy kept aside; empty when there was none
  std::string ModuleName;     // where the new version is recorded in the folder's Version.ini
  std::string ComponentKey;
  std::string AvailableVersion;
};

// "InstallJournal.{J}" in the program folder.
std::string InstallJournalPath(const std::string& programFolder);

// True when every path of the journal lies below the program folder (with
// no ".", ".." or empty component on the way) and every text fits on one
// line, as the journal keeps them; the reader holds a journal to the same
// rule and discards one that breaks it, touching nothing it names.
bool Journallable(const std::string& programFolder, const TInstallJournal& journal);

// Writes the program folder's journal whole and flushed; raises
// EFCreateError.  Paths are kept relative to the program folder, so a tree
// that was moved between a crash and the next start is still recovered.
void WriteInstallJournal(const std::string& programFolder, const TInstallJournal& journal);
// The journal, or nothing when there is none or it cannot be made sense of.
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
