#pragma once
// Start-up housekeeping: the work of the one-shot start-up timer's tick, run
// once the window has disabled the timer.  It first takes the program
// folder's run lock (platform/RunLock.h), held for the whole run: if another
// updater holds it, or it cannot be taken for another reason (the user is no
// member of the family's group, say), it says so in a box, requests
// termination and does nothing else.  It then finishes or undoes an
// installation that a crash interrupted, creates DirList and scans the
// folders below the program folder, removes the previous run's catalogue
// copy and partial downloads from the program folder (and nowhere else),
// discards staged files whose module is installed nowhere, installs the
// staged files that an earlier run left behind (announcing it in a box;
// naming in a box those that failed their check again and were discarded;
// and requesting termination after a second box when one could not be moved in,
// or when the interrupted installation could not be finished), and finally
// invites the user to press Next.
//
// An error that the installation does not absorb (a staged file whose
// companion is missing or short), or a folder that the scan cannot read
// for another reason than permission (a failing disk), ends the step
// before the final status line and goes to the error report.
#include <string>

#include "engine/StagedInstall.h"
#include "engine/UpdaterContext.h"

void Timer1Timer(TUpdaterContext& context);

inline constexpr const char* kPendingFilesText =
    "Some files were not installed from a previous update, all files must be installed before "
    "proceeding. Click OK to install files.";
inline constexpr const char* kAlreadyRunningText =
    "The Quorvin Program Updater is already running. Close it before starting it again.";
// "Cannot lock file "<program folder>quorvin-updater.lock". <reason>", when
// the run lock could not be taken for another reason than another run.
std::string RunLockFailureText(const std::string& programFolder, int error);
inline constexpr const char* kClickNextText = "Click NEXT to see what updates are available";
