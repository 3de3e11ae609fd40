// Every file operation may fail.  A representative Next and Update (a signed
// catalogue, several modules, one in two folders, two shipping one file
// name, a file named in another letter case, an executable, a module
// without Version.ini), and a start with leftovers, a pending staged file,
// an interrupted installation and a staged file of a module installed
// nowhere, are run once to list their file operations; then again for each
// operation, which fails with ENOSPC, EIO and EACCES, once only and from
// then on.  Each time:
//   - a failure that changed what the run achieved is reported (an error
//     box, "Finished. " with a note, or the start's in-use box), never a
//     plain "Finished. ";
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

faults::TComponent Component(std::string key, std::string catalogueName, std::string diskName,
                             std::string oldVersion, std::string newVersion, std::string newContent,
                             mode_t mode = 0644) {
  faults::TComponent component;
  component.Key = std::move(key);
  component.CatalogueName = std::move(catalogueName);
  component.DiskName = std::move(diskName);
  component.OldContent = "old " + component.DiskName;
  component.NewContent = std::move(newContent);
  component.OldVersion = std::move(oldVersion);
  component.NewVersion = std::move(newVersion);
  component.Mode = mode;
  return component;
}

faults::TLayout RepresentativeLayout() {
  faults::TLayout layout;
  layout.Signed = true;
  layout.Serial = 20250301;
  layout.Modules = {
      {"ModA",
       "ModA.exe",
       {"A"},
       {Component("Main", "Report.dll", "Report.dll", "1.0.001", "2.0.000", "new Report"),
        Component("Help", "Docs\\Help.chm", "Help.chm", "1.0.001", "2.0.001", "new Help")}},
      {"ModB",
       "ModB.exe",
       {"B"},
       {Component("Main", "Lib.so", "Lib.so", "", "3.0.000", "new Lib", 0755)},
       false},
      {"ModC",
       "ModC.exe",
       {"C"},
       {Component("Main", "Report.dll", "Report.dll", "1.0.001", "7.0.000", "new Report")},
       true,
       0640},
      {"ModD",
       "ModD.exe",
       {"D1", "D2"},
       {Component("Main", "Data.bin", "Data.bin", "1.0.001", "4.0.000", "new Data", 0600)}},
      {"ModE",
       "ModE.exe",
       {"E"},
       {Component("Main", "Tool.bin", "tool.BIN", "1.0.001", "5.0.000", "new Tool", 0750)}},
  };
  return layout;
}

// What an earlier run left for a start: a catalogue copy, a partial
// download, an unfinished write, ModB's Lib.so staged, ModA's Report.dll
// moved in but its version not yet recorded, and a staged file of a module
// installed nowhere.
void LeaveLeftovers(const TTempTree& tree, const faults::TLayout& layout) {
  tree.Write("AllFiles.ini", faults::CatalogueText(layout));
  tree.Write("Gone.dll.{S}", "cut");
  tree.Write(".AllFiles.ini.{T}4242_0", "[mod");
  tree.Write("Lib.so.{F}", "new Lib");
  // Staged as this updater stages: with the record of what was checked.
  tree.Write("Lib.so.V.3.0.000", CompanionText("ModB", "Main", "3.0.000", "ModB.exe") +
                                     Sha256FieldOf("new Lib") + "\r\nsize=7\r\n");
  tree.Write("Orphan.dll.{F}", "orphan");
  tree.Write("Orphan.dll.V.1.0.000", CompanionText("ModZ", "Main", "1.0.000", "ModZ.exe"));

  tree.Write("Report.dll.V.2.0.000", CompanionText("ModA", "Main", "2.0.000", "ModA.exe"));
  std::filesystem::rename(tree.Path("A/Report.dll"), tree.Path("A/Report.dll.{O}"));
  tree.Write("A/Report.dll", "new Report");
  engine::WriteInstallJournal(tree.Root,
                              JournalOfInstall(tree, "Report.dll", "A", "2.0.000", "Report.dll.{O}"));
}

enum class TPhase { Update, Start };

// One procedure: the tree laid out, the phase under test run (with the
// fault armed, when one is given), the next start, then Next and Update.
struct TProcedure {
  TOutcome PhaseOutcome = TOutcome::Plain;
  int64_t Injected = 0;
  std::vector<platform::TFileOpRecord> Operations;  // of the phase
  std::string AfterPhase, FoldersAfterPhase;
  TOutcome NextStart = TOutcome::Plain;
  std::string FoldersAfterNextStart, PendingAfterNextStart;
  std::string Final;  // what is not installed after a further Next and Update
};

TProcedure Run(TPhase phase, const std::optional<platform::TFileFault>& fault) {
  const faults::TLayout layout = RepresentativeLayout();
  TTempTree tree(true);
  faults::LayOut(tree, layout);
  if (phase == TPhase::Start) LeaveLeftovers(tree, layout);
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
    for (const int error : {ENOSPC, EIO, EACCES}) {
      for (const bool persistent : {false, true}) {
        SCOPED_TRACE(Describe(clean.Operations[index - 1], index, count) + " fails with " +
                     ::strerrorname_np(error) + (persistent ? " from then on" : " once"));
        const TProcedure faulty =
            Run(phase, platform::TFileFault{static_cast<int64_t>(index), error, persistent, {}});
        ++tallies[error].Runs;
        ++tallies[error].Outcomes[faulty.PhaseOutcome];
        EXPECT_GT(faulty.Injected, 0);
        EXPECT_NE(faulty.PhaseOutcome, TOutcome::Aborted);
        if (faulty.PhaseOutcome == TOutcome::Plain) {
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
