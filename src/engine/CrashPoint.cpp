#include "engine/CrashPoint.h"

#include <csignal>

namespace engine {
namespace {

int armedAt = 0;
int passed = 0;
bool failNextMove = false;

}  // namespace

void CrashPoint() {
  ++passed;
  if (armedAt != 0 && passed == armedAt) ::raise(SIGKILL);
}

void ArmCrashPointForTesting(int n) {
  armedAt = n;
  passed = 0;
}

int CrashPointsPassedForTesting() { return passed; }

void FailNextMoveForTesting() { failNextMove = true; }

bool MoveFailureInjected() {
  const bool fail = failNextMove;
  failNextMove = false;
  return fail;
}

}  // namespace engine
