// The soak: many updates of randomly made trees and catalogues, each run
// killed or failed at a random file operation, then started again with
// another random fault, then started and updated without one.  After every
// step the installation folders must hold old files with old versions or new
// files with new versions; the clean start must leave nothing pending and
// the clean update must install everything.
//
// The seed is printed first; QUORVIN_SOAK_SEED replays it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

#include "FaultRig.h"

namespace {

using faults::TOutcome;

constexpr int kUpdates = 200;

class TDice {
 public:
  explicit TDice(uint64_t seed) : FEngine(seed) {}
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(FEngine); }
  bool OneIn(int n) { return Between(1, n) == 1; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Between(0, static_cast<int>(items.size()) - 1))];
  }
  std::string Text(size_t length) {
    std::string text(length, ' ');
    for (char& c : text) c = static_cast<char>(Between('a', 'z'));
    return text;
  }

 private:
  std::mt19937_64 FEngine;
};

uint64_t SoakSeed() {
  if (const char* given = std::getenv("QUORVIN_SOAK_SEED"))
    return std::strtoull(given, nullptr, 10);
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

// Some letters of a name in the other case, as a user's copy may be named.
std::string CaseVariant(TDice& dice, std::string name) {
  for (char& c : name)
    if (dice.OneIn(3)) c = static_cast<char>(std::isupper(c) ? std::tolower(c) : std::toupper(c));
  return name;
}

std::string Version(TDice& dice, int major) {
  return std::to_string(major) + "." + std::to_string(dice.Between(0, 9)) + "." +
         std::to_string(dice.Between(100, 999));
}

// Up to four modules in one or two folders each, with up to three components;
// file names repeat across modules, so two modules may ship one name (and
// then one file: the server has one file of each name).
faults::TLayout RandomLayout(TDice& dice) {
  static const std::vector<std::string> kNames = {"Report.dll", "Lib.so", "Help.chm", "Data.bin",
                                                  "Tool.bin"};
  static const std::vector<std::string> kKeys = {"Main", "Help", "Lib"};
  static const std::vector<mode_t> kModes = {0644, 0600, 0755, 0640};
  // Now and then a file large enough to be written in several pieces.
  std::map<std::string, std::string> served;  // each name's content
  for (const std::string& name : kNames)
    served[name] = dice.Text(dice.OneIn(10) ? 300000 : dice.Between(1, 3000));
  faults::TLayout layout;
  layout.Signed = dice.OneIn(3);
  layout.Serial = static_cast<uint64_t>(dice.Between(1, 1000000));
  int folder = 0;
  const int moduleCount = dice.Between(1, 4);
  for (int m = 0; m < moduleCount; ++m) {
    faults::TModule module;
    module.Name = std::string("Mod") + static_cast<char>('A' + m);
    module.ProgramFile = module.Name + ".exe";
    for (int f = dice.Between(1, 2); f > 0; --f)
      module.Folders.push_back("P" + std::to_string(folder++));
    module.VersionFile = !dice.OneIn(5);
    module.VersionMode = dice.Pick(kModes);
    std::vector<std::string> names = kNames;
    std::shuffle(names.begin(), names.end(), std::mt19937(dice.Between(0, 1 << 30)));
    for (int c = dice.Between(1, 3) - 1; c >= 0; --c) {
      faults::TComponent component;
      component.Key = kKeys[static_cast<size_t>(c)];
      component.CatalogueName = (dice.OneIn(4) ? "Sub\\" : "") + names[static_cast<size_t>(c)];
      component.DiskName = dice.OneIn(4) ? CaseVariant(dice, names[static_cast<size_t>(c)])
                                         : names[static_cast<size_t>(c)];
      component.OldContent = "old " + component.DiskName;
      component.NewContent = served[names[static_cast<size_t>(c)]];
      component.OldVersion = !module.VersionFile || dice.OneIn(5) ? "" : Version(dice, 1);
      component.NewVersion = Version(dice, 2);
      component.Mode = dice.Pick(kModes);
      component.Digest = !dice.OneIn(3);
      module.Components.push_back(component);
    }
    layout.Modules.push_back(module);
  }
  return layout;
}

// A fault at a random operation: a kill, an error once or from then on, or
// none.  The error is one the operation may meet, where the operations are
// known (faults::ErrorsOf); else any.
std::optional<platform::TFileFault> RandomFault(
    TDice& dice, int64_t operations, const std::vector<platform::TFileOpRecord>& known = {}) {
  const int kind = dice.Between(0, 9);
  if (kind == 0 || operations == 0) return std::nullopt;
  const int at = dice.Between(1, static_cast<int>(operations));
  if (kind <= 4) return platform::TFileFault{at, 0, false, {}};  // a kill
  const std::vector<int> errors = static_cast<size_t>(at) <= known.size()
                                      ? faults::ErrorsOf(known[at - 1].Op)
                                      : std::vector<int>{ENOSPC, EIO, EACCES};
  const int error = dice.Pick(errors);
  const bool persistent = dice.OneIn(2);
  if (static_cast<size_t>(at) <= known.size())
    return faults::FaultAt(known, static_cast<size_t>(at), error, persistent);
  return platform::TFileFault{at, error, persistent, {}};
}

std::string Describe(const std::optional<platform::TFileFault>& fault) {
  if (!fault) return "no fault";
  if (fault->Error == 0) return "a kill at operation " + std::to_string(fault->At);
  return std::string(::strerrorname_np(fault->Error)) + " at operation " +
         std::to_string(fault->At) + (fault->Persistent ? " and after" : "");
}

// A start, then Next and Update when the start let the program go on.
TOutcome StartAndUpdate(faults::TProgramRun& run) {
  const TOutcome start = run.Start();
  return start == TOutcome::Plain ? run.NextAndUpdate() : start;
}

// How a step run in a child process ended.
struct TStepEnd {
  bool Killed = false;
  bool Injected = false;
  bool InUseShown = false;
  TOutcome Outcome = TOutcome::Plain;
};

// Runs the step in a child process with the fault armed; the child reports
// its outcome and whether the fault struck in its exit code.
template <class Step>
TStepEnd RunInChild(const TTempTree& tree, const faults::TLayout& layout,
                    const std::optional<platform::TFileFault>& fault, Step step) {
  const pid_t child = ::fork();
  if (child == 0) {
    int code = 255;
    try {
      ScriptedServer server;
      faults::Serve(server, layout);
      faults::TProgramRun run(tree, server, layout);
      std::optional<faults::TArmedFault> armed;
      if (fault) armed.emplace(*fault);
      const TOutcome outcome = step(run);
      code = static_cast<int>(outcome) + (platform::FileFaultsInjectedForTesting() > 0 ? 8 : 0) +
             (run.InUseShown() ? 16 : 0);
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  TStepEnd end;
  end.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  EXPECT_TRUE(end.Killed || code < 32) << "the step ended with status " << status;
  end.Injected = (code & 8) != 0;
  end.InUseShown = (code & 16) != 0;
  end.Outcome = static_cast<TOutcome>(code & 7);
  return end;
}

// The first run without faults, on a copy: what it leaves and how many file
// operations it makes.
struct TCleanRun {
  std::string Outcome;
  std::vector<platform::TFileOpRecord> Operations;
};
TCleanRun CleanRun(const TTempTree& tree, const faults::TLayout& layout) {
  TTempTree copy(true);
  CopyTree(tree, copy);
  ScriptedServer server;
  faults::Serve(server, layout);
  TCleanRun clean;
  {
    faults::TProgramRun run(copy, server, layout);
    platform::RecordFileOperationsForTesting(true);
    EXPECT_EQ(StartAndUpdate(run), TOutcome::Plain);
    clean.Operations = platform::RecordedFileOperationsForTesting();
    platform::RecordFileOperationsForTesting(false);
  }
  clean.Outcome = faults::Outcome(copy, layout);
  return clean;
}

// The folders after a step: a kill or a disk that stays broken may leave one
// installation under way for the next start.
void ExpectFoldersSound(const TTempTree& tree, const faults::TLayout& layout,
                        const std::optional<platform::TFileFault>& fault, const TStepEnd& end) {
  const bool mayWait = end.Killed || (fault && fault->Persistent);
  EXPECT_EQ(faults::CheckFolders(tree, layout, mayWait), "");
}

void SoakOnce(TDice& dice) {
  const faults::TLayout layout = RandomLayout(dice);
  SCOPED_TRACE(faults::CatalogueText(layout));
  TTempTree tree(true);
  faults::LayOut(tree, layout);
  const TCleanRun clean = CleanRun(tree, layout);

  const auto updateFault =
      RandomFault(dice, static_cast<int64_t>(clean.Operations.size()), clean.Operations);
  SCOPED_TRACE("update with " + Describe(updateFault));
  const TStepEnd update = RunInChild(tree, layout, updateFault, StartAndUpdate);
  if (!update.Killed) {
    EXPECT_NE(update.Outcome, TOutcome::Aborted);
    // The in-use probe answers "in use" when it cannot tell: the row says so.
    if (update.Outcome == TOutcome::Plain && !update.InUseShown) {
      EXPECT_EQ(faults::Outcome(tree, layout), clean.Outcome) << "a failure went unreported";
    }
  }
  ExpectFoldersSound(tree, layout, updateFault, update);

  const auto startFault = RandomFault(dice, 200);
  SCOPED_TRACE("next start with " + Describe(startFault));
  const TStepEnd start =
      RunInChild(tree, layout, startFault, [](faults::TProgramRun& run) { return run.Start(); });
  ExpectFoldersSound(tree, layout, startFault, start);

  ScriptedServer server;
  faults::Serve(server, layout);
  {
    faults::TProgramRun run(tree, server, layout);
    EXPECT_EQ(run.Start(), TOutcome::Plain);
  }
  EXPECT_EQ(faults::CheckFolders(tree, layout) + faults::CheckNothingPending(tree), "");
  {
    faults::TProgramRun run(tree, server, layout);
    EXPECT_EQ(StartAndUpdate(run), TOutcome::Plain);
  }
  EXPECT_EQ(faults::CheckFolders(tree, layout) + faults::CheckAllInstalled(tree, layout) +
                faults::CheckNothingPending(tree),
            "");
}

TEST(SoakTest, RandomUpdatesWithRandomKillsAndFailures) {
  const uint64_t seed = SoakSeed();
  std::printf("soak seed %llu (replay with QUORVIN_SOAK_SEED=%llu)\n",
              static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
  std::fflush(stdout);
  TDice dice(seed);
  for (int update = 1; update <= kUpdates && !::testing::Test::HasFailure(); ++update) {
    SCOPED_TRACE("update " + std::to_string(update) + " of seed " + std::to_string(seed));
    SoakOnce(dice);
  }
}

}  // namespace
