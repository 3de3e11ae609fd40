// Every file operation may fail.  A representative Next and Update (a signed
// catalogue, several modules, one in two folders, two shipping one file
// name, a file named in another letter case, an executable, a module
// without Version.ini), here with a module folder an administrator linked
// in and a second program folder that shares an installation folder
// through a link and has a file of its own staged for it; a start with
// leftovers (a pending staged file, an interrupted installation whose
// journal another user wrote, and a staged file of a module installed
// nowhere); and a start after an application was uninstalled in the middle
// of its installation (its journal names a folder that is gone), are run
// once to list their file operations; then again for each operation, which
// fails once only and from then on: with ENOSPC, EIO and EACCES where it
// changes the disk, with EIO where it only looks (a look refused with
// EACCES finds nothing by design, as a file not there).  In every tree a
// member has planted a link to a folder outside that looks like the first
// installation of a module.  Each time:
//   - a failure that changed what the run achieved is reported (an error
//     box, "Finished. " with a note, the start's in-use box, or a row shown
//     In Use), never a plain "Finished. ";
//   - every installation folder holds the old file with the old version or
//     the new file with the new version, with its mode, and nothing else
//     (a folder whose installation the journal says is under way is left to
//     the next start);
//   - the next start, without faults, ends without a box of failure and
//     leaves nothing pending, every folder as above;
//   - the second program folder's start then installs its staged file,
//     every folder as above;
//   - a further Next and Update then install everything: each module's first
//     folder holds the new files with the new versions;
//   - nothing outside the program folder has changed.
#include <cerrno>
#include <cstring>
#include <map>
#include <sstream>

#include "FaultRig.h"
#include "engine/StartupHousekeeping.h"

namespace {

using faults::TOutcome;

// The representative layout with a module whose folder an administrator
// linked in.
faults::TLayout LayoutWithALinkedFolder() {
  faults::TLayout layout = faults::RepresentativeLayout();
  layout.Modules.push_back(
      {"ModF",
       "ModF.exe",
       {"F"},
       {faults::Component("Main", "Fun.bin", "Fun.bin", "1.0.001", "6.0.000", "new Fun")}});
  layout.FolderLinks = {{"F", ".disk2/F"}};
  return layout;
}

// A member of the group (not root, not the owner of the program folder).
constexpr uid_t kMember = 4242;

// What a member planted: a link to a folder outside that holds ModA's
// program file, an old Report.dll and a Version.ini, as if it were an
// installation, named to come before A.  The updater must never enter it.
// Only root can make a link of another user; run by anyone else, the tree
// has none.
void PlantMembersLink(const TTempTree& tree, const TTempTree& outside) {
  if (::geteuid() != 0) return;
  outside.Write("ModA.exe", "program");
  outside.Write("Report.dll", "the member's neighbour's");
  outside.Write("Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  std::filesystem::create_symlink(outside.Root, tree.Path("0Lure"));
  ::lchown(tree.Path("0Lure").c_str(), kMember, kMember);
}

// A second program folder, hidden from the first one's scan, that reaches
// A through a link and has ModA's Help.chm staged for it, as the first's
// catalogue offers it.
constexpr const char* kSecondProgramFolder = ".second/";

void LayOutSecondProgramFolder(const TTempTree& tree) {
  tree.Folder(kSecondProgramFolder);
  std::filesystem::create_symlink(tree.Path("A"),
                                  tree.Path(std::string(kSecondProgramFolder) + "A"));
  tree.Write(std::string(kSecondProgramFolder) + "Help.chm.{F}", "new Help");
  tree.Write(std::string(kSecondProgramFolder) + "Help.chm.V.2.0.001",
             CompanionText("ModA", "Help", "2.0.001", "ModA.exe"));
}

// The second program folder's start; false when it did not end as it should.
bool StartSecondProgramFolder(const TTempTree& tree) {
  TEngineRig second(tree.Path(kSecondProgramFolder));
  try {
    Timer1Timer(second.Context);
  } catch (const std::exception&) {
    return false;
  }
  return second.Window.StatusLine() == kClickNextText && second.Window.terminationRequests == 0 &&
         !tree.Exists(std::string(kSecondProgramFolder) + "Help.chm.{F}");
}

// A journal another user's run left: it belongs to that user.
void GiveToAnotherUser(const TTempTree& tree, const std::string& file) {
  if (::geteuid() == 0) ::chown(tree.Path(file).c_str(), kMember, kMember);
}

// What an installation into ModG's folder left when ModG was uninstalled
// meanwhile: a journal naming a folder that is gone, and the staged file of
// a module installed nowhere.
void LeaveUninstalledInstallation(const TTempTree& tree) {
  tree.Write("Gone/ModG.exe", "program");
  tree.Write("Gone.dll.{F}", "new Gone");
  tree.Write("Gone.dll.V.2.0.000", CompanionText("ModG", "Main", "2.0.000", "ModG.exe"));
  engine::TInstallJournal journal =
      JournalOfInstall(tree, "Gone.dll", "Gone", "2.0.000", "Gone.dll.{O}");
  journal.ModuleName = "ModG";
  engine::WriteInstallJournal(tree.Root, journal);
  GiveToAnotherUser(tree, "InstallJournal.{J}");
  std::filesystem::remove_all(tree.Path("Gone"));
}

enum class TPhase { Update, Start, StartAfterUninstall };

// One procedure: the tree laid out, the phase under test run (with the
// fault armed, when one is given), the next start, then Next and Update.
struct TProcedure {
  TOutcome PhaseOutcome = TOutcome::Plain;
  bool InUseShown = false;        // Next showed a row In Use, which is left alone
  bool StoppedAtTheLock = false;  // the phase was a start that could not take the run lock
  int64_t Injected = 0;
  std::vector<platform::TFileOpRecord> Operations;  // of the phase
  std::string AfterPhase, FoldersAfterPhase;
  TOutcome NextStart = TOutcome::Plain;
  std::string FoldersAfterNextStart, PendingAfterNextStart;
  bool SecondStarted = true;  // the second program folder's start ended as it should
  std::string FoldersAfterSecond;
  std::string Final;    // what is not installed after a further Next and Update
  bool Outside = true;  // nothing outside the program folder changed
};

TProcedure Run(TPhase phase, const std::optional<platform::TFileFault>& fault) {
  const faults::TLayout layout = LayoutWithALinkedFolder();
  TTempTree tree(true), outside(true);
  faults::LayOut(tree, layout);
  PlantMembersLink(tree, outside);
  const std::string outsideBefore = faults::Snapshot(outside);
  if (phase == TPhase::Update) LayOutSecondProgramFolder(tree);
  if (phase == TPhase::Start) {
    faults::LeaveLeftovers(tree, layout);
    GiveToAnotherUser(tree, "InstallJournal.{J}");
  }
  if (phase == TPhase::StartAfterUninstall) LeaveUninstalledInstallation(tree);
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
    result.StoppedAtTheLock =
        run.Window().boxes.size() == 1 && run.Window().boxes[0].starts_with("Cannot lock file ");
    result.Injected = platform::FileFaultsInjectedForTesting();
    result.Operations = platform::RecordedFileOperationsForTesting();
    platform::RecordFileOperationsForTesting(false);
  }
  result.AfterPhase = faults::Outcome(tree, layout);
  // A start that could not take its lock did nothing, so an installation
  // that was under way still is.
  result.FoldersAfterPhase = faults::CheckFolders(
      tree, layout, (fault.has_value() && fault->Persistent) || result.StoppedAtTheLock);
  {
    faults::TProgramRun next(tree, server, layout);
    result.NextStart = next.Start();
  }
  result.FoldersAfterNextStart = faults::CheckFolders(tree, layout);
  result.PendingAfterNextStart = faults::CheckNothingPending(tree);
  if (phase == TPhase::Update) {
    result.SecondStarted = StartSecondProgramFolder(tree);
    result.FoldersAfterSecond = faults::CheckFolders(tree, layout);
  }
  {
    faults::TProgramRun later(tree, server, layout);
    later.Start();
    later.NextAndUpdate();
  }
  result.Final = faults::CheckFolders(tree, layout) + faults::CheckAllInstalled(tree, layout) +
                 faults::CheckNothingPending(tree);
  result.Outside = faults::Snapshot(outside) == outsideBefore;
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
  EXPECT_TRUE(clean.SecondStarted);
  EXPECT_EQ(clean.FoldersAfterSecond, "");
  EXPECT_EQ(clean.Final, "");
  EXPECT_TRUE(clean.Outside);
  const size_t count = clean.Operations.size();
  EXPECT_GT(count, 10u);
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
        EXPECT_TRUE(faulty.SecondStarted);
        EXPECT_EQ(faulty.FoldersAfterSecond, "");
        EXPECT_EQ(faulty.Final, "");
        EXPECT_TRUE(faulty.Outside) << "something outside the program folder changed";
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

TEST(FaultInjectionTest, EveryFileOperationOfAStartAfterAnUninstallMayFail) {
  FailEachOperation(TPhase::StartAfterUninstall, "Start after an uninstall");
}

}  // namespace
