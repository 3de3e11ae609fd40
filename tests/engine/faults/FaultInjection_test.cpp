// Every file operation may fail.  A representative Next and Update (a signed
// catalogue, several modules, one in two folders, two shipping one file
// name, a file named in another letter case, an executable, a module
// without Version.ini), and a start with leftovers, a pending staged file,
// an interrupted installation and a staged file of a module installed
// nowhere, are run once to list their file operations; then again for each
// operation, which fails once only and from then on: with ENOSPC, EIO and
// EACCES where it changes the disk, with EIO where it only looks (a look
// refused with EACCES finds nothing by design, as a file not there).  Each
// time:
//   - a failure that changed what the run achieved is reported (an error
//     box, "Finished. " with a note, the start's in-use box, or a row shown
//     In Use), never a plain "Finished. ";
//   - every installation folder holds the old file with the old version or
//     the new file with the new version, with its mode, and nothing else
//     (a folder whose installation the journal says is under way is left to
//     the next start);
//   - the next start, without faults, ends without a box of failure and
//     leaves nothing pending, every folder as above;
//   - a further Next and Update then install everything: each module's first
//     folder holds the new files with the new versions.
#include <cerrno>
#include <cstring>
#include <map>
#include <sstream>

#include "FaultRig.h"

namespace {

using faults::TOutcome;

enum class TPhase { Update, Start };

// One procedure: the tree laid out, the phase under test run (with the
// fault armed, when one is given), the next start, then Next and Update.
struct TProcedure {
  TOutcome PhaseOutcome = TOutcome::Plain;
  bool InUseShown = false;  // Next showed a row In Use, which is left alone
  int64_t Injected = 0;
  std::vector<platform::TFileOpRecord> Operations;  // of the phase
  std::string AfterPhase, FoldersAfterPhase;
  TOutcome NextStart = TOutcome::Plain;
  std::string FoldersAfterNextStart, PendingAfterNextStart;
  std::string Final;  // what is not installed after a further Next and Update
};

TProcedure Run(TPhase phase, const std::optional<platform::TFileFault>& fault) {
  const faults::TLayout layout = faults::RepresentativeLayout();
  TTempTree tree(true);
  faults::LayOut(tree, layout);
  if (phase == TPhase::Start) faults::LeaveLeftovers(tree, layout);
  ScriptedServer server;
  faults::Serve(server, layout);
  TProcedure result;
  {
    faults::TProgramRun run(tree, server, layout);
    if (phase == TPhase::Update) run.Start();
    std::optional<faults::TArmedFault> armed;
    if (fault) armed.emplace(*fault);
    platform::RecordFileOperationsForTesting(true);
    result.PhaseOutcome = phase == TPhase::Update ? run.NextAndUpdate() : run.Start();
    result.InUseShown = run.InUseShown();
    result.Injected = platform::FileFaultsInjectedForTesting();
    result.Operations = platform::RecordedFileOperationsForTesting();
    platform::RecordFileOperationsForTesting(false);
  }
  result.AfterPhase = faults::Outcome(tree, layout);
  result.FoldersAfterPhase =
      faults::CheckFolders(tree, layout, fault.has_value() && fault->Persistent);
  {
    faults::TProgramRun next(tree, server, layout);
    result.NextStart = next.Start();
  }
  result.FoldersAfterNextStart = faults::CheckFolders(tree, layout);
  result.PendingAfterNextStart = faults::CheckNothingPending(tree);
  {
    faults::TProgramRun later(tree, server, layout);
    later.Start();
    later.NextAndUpdate();
  }
  result.Final = faults::CheckFolders(tree, layout) + faults::CheckAllInstalled(tree, layout) +
                 faults::CheckNothingPending(tree);
  return result;
}

std::string Describe(const platform::TFileOpRecord& record, size_t index, size_t count) {
  return "operation " + std::to_string(index) + " of " + std::to_string(count) + ": " +
         platform::DescribeFileOperation(record);
}

// How the faulty runs of one error ended, for the test's output.
struct TTally {
  int Runs = 0;
  std::map<TOutcome, int> Outcomes;
};

void PrintTallies(const char* phase, size_t operations, const std::map<int, TTally>& tallies) {
  for (const auto& [error, tally] : tallies) {
    std::printf("%s, %zu operations failing with %s once and from then on: %d runs;", phase,
                operations, ::strerrorname_np(error), tally.Runs);
    for (const auto& [outcome, count] : tally.Outcomes)
      std::printf(" %s %d", faults::OutcomeName(outcome), count);
    std::printf("\n");
  }
}

// Runs the phase once cleanly, then once per operation, error and mode.
void FailEachOperation(TPhase phase, const char* name) {
  const TProcedure clean = Run(phase, std::nullopt);
  EXPECT_EQ(clean.PhaseOutcome, TOutcome::Plain);
  EXPECT_EQ(clean.FoldersAfterPhase, "");
  EXPECT_EQ(clean.Final, "");
  const size_t count = clean.Operations.size();
  EXPECT_GT(count, 20u);
  std::map<int, TTally> tallies;
  for (size_t index = 1; index <= count && !::testing::Test::HasFailure(); ++index) {
    for (const int error : faults::ErrorsOf(clean.Operations[index - 1].Op)) {
      for (const bool persistent : {false, true}) {
        SCOPED_TRACE(Describe(clean.Operations[index - 1], index, count) + " fails with " +
                     ::strerrorname_np(error) + (persistent ? " from then on" : " once"));
        const TProcedure faulty =
            Run(phase, faults::FaultAt(clean.Operations, index, error, persistent));
        ++tallies[error].Runs;
        ++tallies[error].Outcomes[faulty.PhaseOutcome];
        EXPECT_GT(faulty.Injected, 0);
        EXPECT_NE(faulty.PhaseOutcome, TOutcome::Aborted);
        // The in-use probe answers "in use" when it cannot tell: the row
        // says so, and is left alone.
        if (faulty.PhaseOutcome == TOutcome::Plain && !faulty.InUseShown) {
          EXPECT_EQ(faulty.AfterPhase, clean.AfterPhase) << "a failure with effect went unreported";
        }
        EXPECT_EQ(faulty.FoldersAfterPhase, "");
        EXPECT_EQ(faulty.NextStart, TOutcome::Plain) << faults::OutcomeName(faulty.NextStart);
        EXPECT_EQ(faulty.FoldersAfterNextStart, "");
        EXPECT_EQ(faulty.PendingAfterNextStart, "");
        EXPECT_EQ(faulty.Final, "");
      }
    }
  }
  PrintTallies(name, count, tallies);
}

TEST(FaultInjectionTest, EveryFileOperationOfNextAndUpdateMayFail) {
  FailEachOperation(TPhase::Update, "Next and Update");
}

TEST(FaultInjectionTest, EveryFileOperationOfAStartWithLeftoversMayFail) {
  FailEachOperation(TPhase::Start, "Start with leftovers");
}

}  // namespace
