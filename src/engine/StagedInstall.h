#pragma once
// Applying staged updates: every staged file of the program folder ("*.{F}")
// moves into the first folder of DirList that holds its module's program
// file and takes it, replacing the old copy, and the new version is recorded
// in that folder's Version.ini.  Runs at the end of an Update run and at
// start-up when an earlier run left staged files behind.
#include <string>

#include "engine/UpdaterContext.h"

// Installs every staged file that passes its check again (StagedCheck.h);
// one that does not is discarded, and its name added to the context's
// DiscardedStagedFiles.  False when any attempt to move a staged file
// into a folder failed (for example because the old copy is in use), when
// the program folder could not be listed, or when an installation is left
// unfinished (its journal could not be removed or recovered); true
// otherwise.  A staged file whose companion file is missing, unreadable or
// short raises EFOpenError or the list index error, which end the call, and
// so does a staged file that cannot be looked at (a failing disk).
bool InstallStagedFiles(TUpdaterContext& context);
// What the user is told when InstallStagedFiles returned false.
inline constexpr const char* kFilesInUseText =
    "Some files could not be installed because they are currently in use. Please close your "
    "Computer QUORVIN applications, and try again.";

// Installs the one staged file of that name ("<bare>.{F}") in the same way;
// false when a move into a folder failed.  Used before a new download is
// staged under a name that is still taken.
bool InstallStagedFile(TUpdaterContext& context, const std::string& stagedName);

// Discards every staged file, with its companions, whose module's program
// file is in no folder of DirList: it could never be installed, and left in
// place it would be announced at every start and keep its name from being
// staged again.  A staged file without a readable companion of four lines
// is left for the installation to report; nothing is discarded while an
// interrupted installation still waits to be recovered.
void DiscardOrphanedStagedFiles(TUpdaterContext& context);
