#pragma once
// Crash points mark the moments between two file operations of staging and
// installing at which the process may die without losing anything.  In the
// program they only count; a crash test arms them so that the Nth one kills
// the process on the spot, as a power cut or a kill would.
namespace engine {

void CrashPoint();

// Kills the process (SIGKILL) at the Nth crash point from now; 0 disarms.
void ArmCrashPointForTesting(int n);
// Crash points passed since the last arming.
int CrashPointsPassedForTesting();

// Makes the next move of a staged file into an installation folder fail, as
// a full disk or a vanished file would; tests use it to check what a failed
// move leaves behind.  MoveFailureInjected consumes the request.
void FailNextMoveForTesting();
bool MoveFailureInjected();

}  // namespace engine
