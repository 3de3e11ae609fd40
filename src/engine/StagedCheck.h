#pragma once
// A staged file is checked again just before it is installed, at the end of
// Update or at a later start, against the record its companion keeps of what
// it was checked against when it was staged (CompanionFile.h).  One whose
// check fails, whose record is damaged, or which has no record in a build
// with a root, is discarded with its companions and never installed; the
// user is told which files went (FailedFilesText).  A file that this run
// staged and sealed (UpdaterContext's SealedStagedFiles) passes without a
// second read while it is provably the file that was checked.
#include <string>
#include <vector>

#include "engine/UpdaterContext.h"
#include "util/StringList.h"

namespace engine {

// Whether the staged file ("<bare>.{F}", exact name in the program folder)
// may be installed by the companion's lines.  A file that could not be read
// for a passing reason (a disk error) is neither: it stays staged and is
// checked again at the next attempt.  One that is no regular file, or a
// symbolic link, fails.
enum class TStagedCheck { kPasses, kFails, kUnreadable };
TStagedCheck CheckStagedFile(const TUpdaterContext& context, const std::string& stagedName,
                             const TStringList& companionLines);

// Deletes the staged file, then its companions, and adds its bare name to
// the context's list of discarded files.
void DiscardStagedFile(TUpdaterContext& context, const std::string& stagedName);

// kFailedFilesText and the names: "These files failed their check and were
// not installed: A.dll, B.dll." (the first ten names, then how many more),
// for a list that is not empty.
inline constexpr const char* kFailedFilesText =
    "These files failed their check and were not installed: ";
std::string FailedFilesText(const std::vector<std::string>& names);

}  // namespace engine
