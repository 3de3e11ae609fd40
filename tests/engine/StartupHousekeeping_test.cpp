// The start-up step: folder list, leftovers, pending staged files.
#include "engine/StartupHousekeeping.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "StagedInstallFixture.h"
#include "engine/InstallJournal.h"
#include "util/Errors.h"

namespace {

class StartupHousekeepingTest : public ::testing::Test {
 protected:
  void InstallModA(const std::string& folder) {
    tree.Write(folder + "/ModA.exe", "program");
    tree.Write(folder + "/Report.dll", "old");
    tree.Write(folder + "/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  }
  void StageReport() {
    tree.Write("Report.dll.{F}", "new");
    tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
  }

  TTempTree tree;
  TEngineRig rig{tree.Root};
};

TEST_F(StartupHousekeepingTest, WithoutLeftoversItScansAndInvitesTheUserToPressNext) {
  tree.Folder("A/X");
  tree.Folder("B");

  Timer1Timer(rig.Context);

  ASSERT_NE(rig.Context.DirList, nullptr);
  EXPECT_EQ(rig.Context.DirList->Count(), 3);
  EXPECT_TRUE(rig.Window.boxes.empty());
  EXPECT_EQ(rig.Window.terminationRequests, 0);
  EXPECT_EQ(rig.Window.StatusLine(), kClickNextText);
}

// Another updater on the same folder: this one touches nothing and ends.
TEST_F(StartupHousekeepingTest, AnotherRunOnTheFolderEndsThisOneUntouched) {
  tree.Write("Prog.exe.{S}", "still arriving in the other run");
  platform::TRunLock otherRun;
  ASSERT_TRUE(otherRun.Take(tree.Root));

  Timer1Timer(rig.Context);

  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{kAlreadyRunningText});
  EXPECT_EQ(rig.Window.terminationRequests, 1);
  EXPECT_EQ(rig.Context.DirList, nullptr);
  EXPECT_EQ(tree.Listing(), "Prog.exe.{S} quorvin-updater.lock");
}

// A lock that cannot be taken for another reason: this run ends too, and
// says why.
TEST_F(StartupHousekeepingTest, ALockThatCannotBeTakenEndsTheRunWithTheReason) {
  tree.Write("Prog.exe.{S}", "cut");
  tree.Folder("quorvin-updater.lock");

  Timer1Timer(rig.Context);

  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{"Cannot lock file \"" + tree.Root +
                                                       "quorvin-updater.lock\". Is a directory"});
  EXPECT_EQ(rig.Window.terminationRequests, 1);
  EXPECT_EQ(rig.Context.DirList, nullptr);
  EXPECT_EQ(tree.Listing(), "Prog.exe.{S} quorvin-updater.lock");
}

TEST_F(StartupHousekeepingTest, LeftoversGoFromTheProgramFolderOnlyInAnyLetterCase) {
  tree.Write("Prog.exe.{S}", "cut");
  tree.Write("prog2.exe.{s}", "cut");
  tree.Write("ALLFILES.INI", "[modules]\r\n");
  tree.Write("sub/Prog.exe.{S}", "kept");
  tree.Write("sub/allfiles.ini", "kept");
  tree.Write("Keep.txt", "kept");
  tree.Write(".Report.dll.V.2.1.005.{T}4242_0", "cut by a crash");
  tree.Write(".notes.tmp4242_0", "a user's hidden file");

  Timer1Timer(rig.Context);

  EXPECT_EQ(tree.Listing(), ".notes.tmp4242_0 Keep.txt quorvin-updater.lock sub");
  EXPECT_EQ(tree.Listing("sub"), "Prog.exe.{S} allfiles.ini");
  EXPECT_TRUE(rig.Window.boxes.empty());
}

// Killed while writing Version.ini: the journal names the folder, and the
// write's temporary file there goes while the installation is completed.
TEST_F(StartupHousekeepingTest, AnInterruptedVersionWriteLeavesNoTemporaryFile) {
  tree.Write("M/ModA.exe", "program");
  tree.Write("M/Report.dll", "new");
  tree.Write("M/.Version.ini.{T}4242_0", "[ModA]\r\nMa");
  tree.Write("M/.Version.ini.tmp4242_0", "a user's hidden file");
  engine::WriteInstallJournal(tree.Root, JournalOfInstall(tree, "Report.dll", "M", "2.1.005"));

  Timer1Timer(rig.Context);

  EXPECT_EQ(tree.Listing("M"), ".Version.ini.tmp4242_0 ModA.exe Report.dll Version.ini");
  EXPECT_EQ(RecordedVersion(tree, "M", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing(), "M quorvin-updater.lock");
}

TEST_F(StartupHousekeepingTest, PendingStagedFilesAreAnnouncedAndInstalled) {
  InstallModA("M");
  StageReport();

  Timer1Timer(rig.Context);

  ASSERT_EQ(rig.Window.boxes.size(), 1u);
  EXPECT_EQ(rig.Window.boxes[0], kPendingFilesText);
  EXPECT_EQ(tree.Read("M/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "M", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(rig.Window.terminationRequests, 0);
  EXPECT_EQ(rig.Window.StatusLine(), kClickNextText);
}

TEST_F(StartupHousekeepingTest, AFileInUseBringsTheSecondBoxAndTermination) {
  InstallModA("M");
  StageReport();
  THeldOpen running(tree.Path("M/Report.dll"));
  ASSERT_TRUE(running.Held);
  // The termination comes after the second box has been closed.
  int requestsWhileBoxOpen = -1;
  rig.Window.onInformation = [&](const std::string&) {
    requestsWhileBoxOpen = rig.Window.terminationRequests;
  };

  Timer1Timer(rig.Context);

  ASSERT_EQ(rig.Window.boxes.size(), 2u);
  EXPECT_EQ(rig.Window.boxes[0], kPendingFilesText);
  EXPECT_EQ(rig.Window.boxes[1], kFilesInUseText);
  EXPECT_EQ(requestsWhileBoxOpen, 0);
  EXPECT_EQ(rig.Window.terminationRequests, 1);
  EXPECT_EQ(rig.Window.StatusLine(), kClickNextText);
  EXPECT_EQ(tree.Read("M/Report.dll"), "old");
  EXPECT_TRUE(tree.Exists("Report.dll.{F}"));
}

TEST_F(StartupHousekeepingTest, ACompanionWithoutAStagedFileShowsNoBox) {
  InstallModA("M");
  tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));

  Timer1Timer(rig.Context);

  EXPECT_TRUE(rig.Window.boxes.empty());
  EXPECT_EQ(RecordedVersion(tree, "M", "ModA", "Main"), "1.0.001");
}

TEST_F(StartupHousekeepingTest, AStagedFileWithoutCompanionEndsTheStepWithTheError) {
  InstallModA("M");
  tree.Write("Report.dll.{F}", "new");

  EXPECT_THROW(Timer1Timer(rig.Context), EFOpenError);

  EXPECT_EQ(rig.Window.boxes.size(), 1u);
  EXPECT_NE(rig.Window.StatusLine(), kClickNextText);
}

// A FIFO under a companion's name, newer than the real companion, is no
// companion: reading it would wait for a writer that never comes, with the
// program folder locked.  The start runs in a child process that a
// deadline ends, so a start that hangs fails the test instead of hanging it.
TEST_F(StartupHousekeepingTest, AFifoNamedLikeACompanionCannotHangTheStart) {
  InstallModA("M");
  StageReport();
  tree.Age("Report.dll.V.2.1.005", 0);
  ASSERT_EQ(0, ::mkfifo(tree.Path("Report.dll.V.9.9.999").c_str(), 0644));

  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(60);
    Timer1Timer(rig.Context);
    ::_exit(rig.Window.boxes == std::vector<std::string>{kPendingFilesText} ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(tree.Read("M/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "M", "ModA", "Main"), "2.1.005");
}

// A staged file of a module installed nowhere goes before its companions;
// when its removal cannot be flushed, a power cut could bring it back, so
// the companions it needs stay.
TEST_F(StartupHousekeepingTest, AnOrphansCompanionsStayWhenItsRemovalCannotBeFlushed) {
  InstallModA("A");
  tree.Write("Orphan.dll.{F}", "orphan");
  tree.Write("Orphan.dll.V.1.0.000", CompanionText("ModZ", "Main", "1.0.000", "ModZ.exe"));
  platform::ArmFileFaultForTesting({1, EIO, true, [](platform::TFileOp op, const std::string&) {
                                      return op == platform::TFileOp::SyncFolder;
                                    }});
  rig.Context.DirList = std::make_unique<TStringList>();
  rig.Context.DirList->Add(tree.Path("A/"));
  DiscardOrphanedStagedFiles(rig.Context);
  platform::DisarmFileFaultForTesting();

  EXPECT_EQ(tree.Listing(), "A Orphan.dll.V.1.0.000");

  tree.Write("Orphan.dll.{F}", "orphan");
  DiscardOrphanedStagedFiles(rig.Context);
  EXPECT_EQ(tree.Listing(), "A");
}

}  // namespace
