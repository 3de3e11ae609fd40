// Installing staged files into the first folder that holds their program.
#include "engine/StagedInstall.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "StagedInstallFixture.h"
#include "engine/FolderInstall.h"
#include "engine/FolderScan.h"
#include "engine/InstallJournal.h"
#include "platform/ContainedFolder.h"
#include "platform/FolderLock.h"
#include "util/Errors.h"

namespace {

class StagedInstallTest : public ::testing::Test {
 protected:
  // Module ModA, program file ModA.exe, installed in the named folders with
  // an old Report.dll and version 1.0.001; Report.dll 2.1.005 staged.
  void InstallModA(std::initializer_list<std::string> folders) {
    for (const auto& folder : folders) {
      tree.Write(folder + "/ModA.exe", "program");
      tree.Write(folder + "/Report.dll", "old " + folder);
      tree.Write(folder + "/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
    }
  }
  void Stage(const std::string& bare, const std::string& content, const std::string& module,
             const std::string& version, const std::string& programFile) {
    tree.Write(bare + ".{F}", content);
    tree.Write(bare + ".V." + version, CompanionText(module, "Main", version, programFile));
  }
  // Folder i of DirList is "f<i>".
  void FoldersUpTo(int last) {
    rig.Context.DirList = std::make_unique<TStringList>();
    for (int i = 0; i <= last; ++i) {
      tree.Folder("f" + std::to_string(i));
      rig.Context.DirList->Add(tree.Path("f" + std::to_string(i) + "/"));
    }
  }

  void TearDown() override { platform::DisarmFileFaultForTesting(); }

  TTempTree tree;
  TEngineRig rig{tree.Root};
};

TEST_F(StagedInstallTest, InstallsIntoTheFolderHoldingTheProgramAndRecordsTheVersion) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing(), "f0");
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
}

TEST_F(StagedInstallTest, OnlyTheFirstInstallationFolderReceivesTheFile) {
  FoldersUpTo(5);
  InstallModA({"f2", "f5"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f2/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f2", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Read("f5/Report.dll"), "old f5");
  EXPECT_EQ(RecordedVersion(tree, "f5", "ModA", "Main"), "1.0.001");
}

TEST_F(StagedInstallTest, ACopyInUseIsKeptAndTheNextFolderReceivesTheFile) {
  FoldersUpTo(5);
  InstallModA({"f2", "f5"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  THeldOpen running(tree.Path("f2/Report.dll"));
  ASSERT_TRUE(running.Held);

  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f2/Report.dll"), "old f2");
  EXPECT_EQ(RecordedVersion(tree, "f2", "ModA", "Main"), "1.0.001");
  EXPECT_EQ(tree.Listing("f2"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Read("f5/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f5", "ModA", "Main"), "2.1.005");
}

TEST_F(StagedInstallTest, TheOnlyCopyInUseLeavesEverythingStagedForLater) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  THeldOpen running(tree.Path("f0/Report.dll"));
  ASSERT_TRUE(running.Held);

  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");
  EXPECT_EQ(tree.Listing(), "Report.dll.V.2.1.005 Report.dll.{F} f0");
}

TEST_F(StagedInstallTest, TwoStagedFilesAreBothInstalledInOneCall) {
  FoldersUpTo(1);
  InstallModA({"f0"});
  tree.Write("f1/ModB.exe", "program");
  Stage("Report.dll", "new report", "ModA", "2.1.005", "ModA.exe");
  Stage("Lib.so", "new lib", "ModB", "3.0.000", "ModB.exe");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "new report");
  EXPECT_EQ(tree.Read("f1/Lib.so"), "new lib");
  EXPECT_EQ(RecordedVersion(tree, "f1", "ModB", "Main"), "3.0.000");
  EXPECT_EQ(tree.Listing(), "f0 f1");
}

TEST_F(StagedInstallTest, AProgramFoundNowhereLeavesTheFileStagedWithoutFailing) {
  FoldersUpTo(0);
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  EXPECT_TRUE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(tree.Listing(), "Report.dll.V.2.1.005 Report.dll.{F} f0");
}

TEST_F(StagedInstallTest, AMissingOrShortCompanionRaisesAndLeavesTheFileStaged) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  tree.Write("Report.dll.{F}", "new");
  EXPECT_THROW(InstallStagedFiles(rig.Context), EFOpenError);

  tree.Write("Report.dll.V.2.1.005", "ModA\r\nMain\r\n2.1.005\r\n");
  EXPECT_THROW(InstallStagedFiles(rig.Context), EStringListError);
  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");

  // With no folders to look at, line 4 is never read.
  rig.Context.DirList = std::make_unique<TStringList>();
  EXPECT_TRUE(InstallStagedFiles(rig.Context));
}

TEST_F(StagedInstallTest, CompanionLinesMayEndInAnyWayAndCarryAByteOrderMark) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  tree.Write("Report.dll.{F}", "new");
  tree.Write("Report.dll.V.2.1.005", "\xEF\xBB\xBFModA\nMain\r2.1.005\r\nModA.exe");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
}

TEST_F(StagedInstallTest, AStaleCompanionIsNeverTakenForTheCurrentOne) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  // Left by an earlier run: a later version, so it would come first by name.
  tree.Write("Report.dll.V.9.0.000", CompanionText("ModA", "Main", "9.0.000", "ModA.exe"));
  tree.Age("Report.dll.V.9.0.000", 0);
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing(), "f0");  // the stale companion went too
}

TEST_F(StagedInstallTest, AFailedMoveBringsTheOldCopyBack) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  FailNextMoveOfAStagedFile();

  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "1.0.001");
  EXPECT_EQ(tree.Listing(), "Report.dll.V.2.1.005 Report.dll.{F} f0");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));  // and a later call installs it
  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
}

TEST_F(StagedInstallTest, AVersionThatCannotBeRecordedUndoesTheReplacement) {
  FoldersUpTo(0);
  tree.Write("f0/ModA.exe", "program");
  tree.Write("f0/Report.dll", "old");
  tree.Folder("f0/Version.ini");  // a folder where the file should be
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");

  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "old");
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_FALSE(tree.Exists("InstallJournal.{J}"));
}

// What an installation stopped after recording its version leaves: the new
// copy in place, the old one aside, companion and journal.
void LeaveRecordedInstallation(const TTempTree& tree) {
  std::filesystem::rename(tree.Path("f0/Report.dll"), tree.Path("f0/Report.dll.{O}"));
  tree.Write("f0/Report.dll", "new");
  tree.Write("f0/Version.ini", "[ModA]\r\nMain=2.1.005\r\n");
  tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
  engine::WriteInstallJournal(
      tree.Root, JournalOfInstall(tree, "Report.dll", "f0", "2.1.005", "Report.dll.{O}"));
}

// Makes every change of a file whose path holds the text fail with EIO.
void FailChangesOf(const std::string& text) {
  platform::ArmFileFaultForTesting(
      {1, EIO, true, [text](platform::TFileOp op, const std::string& path) {
         return platform::ChangesDisk(op) && path.find(text) != std::string::npos;
       }});
}

// Recovery finishes it without writing Version.ini again: a write failing
// then must not undo it and leave the old copy with the new version.
TEST_F(StagedInstallTest, ARecordedInstallationIsFinishedNotUndone) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  LeaveRecordedInstallation(tree);
  FailChangesOf("Version.ini");

  EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Listing(), "f0");
}

// The journal is the only record of an old copy kept aside: while the copy
// cannot be deleted, the journal stays and the installation is unfinished.
TEST_F(StagedInstallTest, AnOldCopyThatCannotBeDeletedKeepsTheJournal) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  FailChangesOf("Report.dll.{O}");

  EXPECT_FALSE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Report.dll.{O} Version.ini");
  EXPECT_TRUE(tree.Exists("InstallJournal.{J}"));

  platform::DisarmFileFaultForTesting();
  EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing(), "f0");
}

// Makes the Nth flush of the installation folder f0 fail with EIO, once.
void FailFlushOfF0(int64_t nth) {
  platform::ArmFileFaultForTesting(
      {nth, EIO, false, [](platform::TFileOp op, const std::string& path) {
         return op == platform::TFileOp::SyncFolder && path.ends_with("/f0/");
       }});
}

// An installation's flushes of its folder: the old copy moved aside, the
// new one moved in, the version recorded, the old copy gone.  Each that
// fails fails the installation, and the folder stays whole.
TEST_F(StagedInstallTest, AFailedFlushOfTheMoveInTakesTheMoveBack) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  FailFlushOfF0(2);

  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "1.0.001");
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Listing(), "Report.dll.V.2.1.005 Report.dll.{F} f0");
}

// Version.ini is in place but its folder could not be flushed: taking the
// new copy out would leave the old copy with the new version, so the
// journal stays, and the next recovery finishes the installation.
TEST_F(StagedInstallTest, AFailedFlushOfTheVersionsRecordKeepsTheJournal) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  FailFlushOfF0(3);

  EXPECT_FALSE(engine::InstallIntoFolder({tree.Root,
                                          "Report.dll.{F}",
                                          "Report.dll.V.2.1.005",
                                          tree.Path("f0/"),
                                          {"ModA", "Main", "2.1.005", "ModA.exe"}}));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_TRUE(tree.Exists("InstallJournal.{J}"));
  EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Listing(), "f0");
}

// The old copy's removal could not be flushed: a power cut could bring it
// back with no journal left to find it, so the journal stays for the
// recovery that ends the run, which finishes the installation; the run
// still reports the failure.
TEST_F(StagedInstallTest, AFailedFlushOfTheOldCopysRemovalKeepsTheJournal) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  FailFlushOfF0(4);

  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Listing(), "f0");
}

// A journal written just before the old copy went aside: the staged file
// has not moved.  When it cannot be looked at, recovery must not take it
// for moved (it would record the new version for the old copy): nothing
// changes and the journal waits.
TEST_F(StagedInstallTest, AStagedFileThatCannotBeLookedAtIsNotTakenForMoved) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  engine::WriteInstallJournal(
      tree.Root, JournalOfInstall(tree, "Report.dll", "f0", "2.1.005", "Report.dll.{O}"));
  platform::ArmFileFaultForTesting(
      {1, EIO, false, [](platform::TFileOp op, const std::string& path) {
         return op == platform::TFileOp::Inspect && path.ends_with("Report.dll.{F}");
       }});

  EXPECT_FALSE(engine::RecoverInterruptedInstall(tree.Root));

  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "1.0.001");
  EXPECT_TRUE(tree.Exists("InstallJournal.{J}"));
  platform::DisarmFileFaultForTesting();
  EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));
  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");
  EXPECT_EQ(tree.Listing(), "Report.dll.V.2.1.005 Report.dll.{F} f0");
}

// Makes every call on an entry of the installation folder f0 fail with
// EACCES, looks included, as when the folder's search permission is taken
// away; the folder itself can still be opened and listed.
void RefuseEntriesOfF0() {
  platform::ArmFileFaultForTesting(
      {1, EACCES, true, [](platform::TFileOp, const std::string& path) {
         return path.find("/f0/") != std::string::npos && !path.ends_with("/f0/");
       }});
}

// An installation stopped after its new copy moved in, before its version
// was recorded; then the folder's entries are refused.  A refused look is
// no proof that a file is gone: recovery changes nothing, the journal waits,
// and once the permission is back the next recovery finishes it.
TEST_F(StagedInstallTest, AFolderWhoseEntriesAreRefusedKeepsTheJournal) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  std::filesystem::rename(tree.Path("f0/Report.dll"), tree.Path("f0/Report.dll.{O}"));
  tree.Write("f0/Report.dll", "new");
  tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
  engine::WriteInstallJournal(
      tree.Root, JournalOfInstall(tree, "Report.dll", "f0", "2.1.005", "Report.dll.{O}"));
  RefuseEntriesOfF0();

  EXPECT_FALSE(engine::RecoverInterruptedInstall(tree.Root));
  EXPECT_FALSE(InstallStagedFiles(rig.Context));

  platform::DisarmFileFaultForTesting();
  EXPECT_TRUE(tree.Exists("InstallJournal.{J}"));
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Report.dll.{O} Version.ini");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "1.0.001");
  EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));
  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Listing(), "f0");
}

// The same after the old copy went aside, before the staged file moved in:
// only the journal knows where the old copy is.
TEST_F(StagedInstallTest, AFolderWhoseEntriesAreRefusedWithTheOldCopyAsideKeepsTheJournal) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  std::filesystem::rename(tree.Path("f0/Report.dll"), tree.Path("f0/Report.dll.{O}"));
  engine::WriteInstallJournal(
      tree.Root, JournalOfInstall(tree, "Report.dll", "f0", "2.1.005", "Report.dll.{O}"));
  RefuseEntriesOfF0();

  EXPECT_FALSE(engine::RecoverInterruptedInstall(tree.Root));

  platform::DisarmFileFaultForTesting();
  EXPECT_TRUE(tree.Exists("InstallJournal.{J}"));
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll.{O} Version.ini");
  EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));
  EXPECT_EQ(tree.Read("f0/Report.dll"), "old f0");
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "1.0.001");
  EXPECT_EQ(tree.Listing(), "Report.dll.V.2.1.005 Report.dll.{F} f0");
}

// A look at Version.ini refused once, as a permission taken away for a
// moment refuses it, at each of the installation's looks in turn: the
// folder ends with the new copy and its version or the old copy and its
// version, and the other components' records stay.  A refused look must not
// be taken for a missing Version.ini: it would be written back holding the
// new version alone.
TEST(VersionRecordTest, ALookAtVersionIniRefusedOnceLosesNoRecord) {
  for (int64_t nth = 1;; ++nth) {
    SCOPED_TRACE("look " + std::to_string(nth) + " refused");
    TTempTree tree;
    tree.Write("f0/ModA.exe", "program");
    tree.Write("f0/Report.dll", "old");
    tree.Write("f0/Version.ini", "[ModA]\r\nMain=1.0.001\r\nHelp=1.0.002\r\n");
    tree.Write("Report.dll.{F}", "new");
    tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
    platform::ArmFileFaultForTesting(
        {nth, EACCES, false, [](platform::TFileOp op, const std::string& path) {
           return op == platform::TFileOp::Inspect && path.ends_with("/f0/Version.ini");
         }});

    const bool installed = engine::InstallIntoFolder({tree.Root,
                                                      "Report.dll.{F}",
                                                      "Report.dll.V.2.1.005",
                                                      tree.Path("f0/"),
                                                      {"ModA", "Main", "2.1.005", "ModA.exe"}});
    const bool refused = platform::FileFaultsInjectedForTesting() > 0;
    platform::DisarmFileFaultForTesting();
    EXPECT_TRUE(engine::RecoverInterruptedInstall(tree.Root));

    const std::string copy = tree.Read("f0/Report.dll");
    const std::string version = RecordedVersion(tree, "f0", "ModA", "Main");
    EXPECT_TRUE((copy == "new" && version == "2.1.005") ||
                (!installed && copy == "old" && version == "1.0.001"))
        << copy << " with version " << version;
    EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Help"), "1.0.002");
    EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
    if (!refused || ::testing::Test::HasFailure()) break;
  }
}

// The staged files arrive 0644; the installed copies keep what the old
// ones had, the module's own program included.
TEST_F(StagedInstallTest, AnUpdatedFileKeepsTheOldCopysModeAndOwner) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  ::chmod(tree.Path("f0/ModA.exe").c_str(), 0755);
  ::chmod(tree.Path("f0/Report.dll").c_str(), 0600);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, ::chown(tree.Path("f0/Report.dll").c_str(), 4321, 4322));
  }
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  tree.Write("ModA.exe.{F}", "new program");
  tree.Write("ModA.exe.V.2.1.005", CompanionText("ModA", "Exe", "2.1.005", "ModA.exe"));

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  struct stat program, report;
  ASSERT_EQ(::stat(tree.Path("f0/ModA.exe").c_str(), &program), 0);
  ASSERT_EQ(::stat(tree.Path("f0/Report.dll").c_str(), &report), 0);
  EXPECT_EQ(tree.Read("f0/ModA.exe"), "new program");
  EXPECT_EQ(program.st_mode & 07777, 0755u);
  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(report.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(report.st_uid, 4321u);
    EXPECT_EQ(report.st_gid, 4322u);
  }
}

// In a group's shared folder another member (4242) staged the file; the
// updater, run by "nobody" here, installs a copy of its own, so the member
// cannot change the installed file afterwards.
TEST_F(StagedInstallTest, AStagedFileOfAnotherUserIsInstalledAsACopyOfOurOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "files of two other users take root to make";
  constexpr uid_t kUs = 65534, kOtherMember = 4242;
  FoldersUpTo(0);
  InstallModA({"f0"});
  ::chmod(tree.Path("f0/Report.dll").c_str(), 0640);
  Stage("Report.dll", "new", "ModA", "2.1.005", "ModA.exe");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Root))
    ASSERT_EQ(0, ::chown(entry.path().c_str(), kUs, kUs));
  ASSERT_EQ(0, ::chown(tree.Root.c_str(), kUs, kUs));
  ASSERT_EQ(0, ::chown(tree.Path("Report.dll.{F}").c_str(), kOtherMember, kOtherMember));

  const pid_t child = ::fork();
  if (child == 0) {
    const bool lowered = ::setgroups(0, nullptr) == 0 && ::setresgid(kUs, kUs, kUs) == 0 &&
                         ::setresuid(kUs, kUs, kUs) == 0;
    ::_exit(lowered && InstallStagedFiles(rig.Context) ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  struct stat installed;
  ASSERT_EQ(0, ::stat(tree.Path("f0/Report.dll").c_str(), &installed));
  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
  EXPECT_EQ(installed.st_uid, kUs);
  EXPECT_EQ(installed.st_mode & 07777, 0640u);
  EXPECT_EQ(RecordedVersion(tree, "f0", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing(), "f0");
}

// A failed move puts the old copy back by its exact name; the user's file
// whose name differs only in case is never looked up in its place.  Then
// the installation goes into the exact name it found.
TEST_F(StagedInstallTest, TwoNamesDifferingOnlyInCaseSurviveAFailedMove) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  tree.Write("f0/lib.dll", "old lib");
  tree.Write("f0/LIB.DLL", "the user's other file");
  Stage("lib.dll", "new lib", "ModA", "2.1.005", "ModA.exe");
  FailNextMoveOfAStagedFile();

  EXPECT_FALSE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(tree.Listing("f0"), "LIB.DLL ModA.exe Report.dll Version.ini lib.dll");
  EXPECT_EQ(tree.Read("f0/lib.dll"), "old lib");
  EXPECT_EQ(tree.Read("f0/LIB.DLL"), "the user's other file");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(tree.Listing("f0"), "LIB.DLL ModA.exe Report.dll Version.ini lib.dll");
  EXPECT_EQ(tree.Read("f0/lib.dll"), "new lib");
  EXPECT_EQ(tree.Read("f0/LIB.DLL"), "the user's other file");
}

// The catalogue writes a program file below the folder with "\".
TEST_F(StagedInstallTest, AProgramFileWithBackslashesIsFoundBelowTheFolder) {
  FoldersUpTo(1);
  tree.Write("f1/bin/app.EXE", "program");
  Stage("Report.dll", "new", "ModA", "2.1.005", "Bin\\App.exe");

  EXPECT_TRUE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(tree.Read("f1/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "f1", "ModA", "Main"), "2.1.005");
}

TEST_F(StagedInstallTest, TheInstalledCopyKeepsTheLetterCaseOfItsName) {
  FoldersUpTo(0);
  InstallModA({"f0"});
  tree.Write("report.DLL.{f}", "new");
  tree.Write("REPORT.dll.v.2.1.005", CompanionText("ModA", "Main", "2.1.005", "moda.EXE"));

  EXPECT_TRUE(InstallStagedFiles(rig.Context));
  EXPECT_EQ(tree.Listing("f0"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Read("f0/Report.dll"), "new");
}

}  // namespace

// Two program folders share an installation folder, the second through a
// link: while an installation from the first works in it, one from the
// second counts as a file in use and leaves everything as it was.
TEST(SharedInstallationFolderTest, AnotherInstallationInTheFolderCountsAsInUse) {
  TTempTree tree;
  tree.Write("P1/A/ModA.exe", "program");
  tree.Write("P1/A/Report.dll", "old");
  tree.Write("P1/A/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  tree.Folder("P2");
  std::filesystem::create_symlink("../P1/A", tree.Path("P2/A"));
  tree.Write("P2/Report.dll.{F}", "new");
  tree.Write("P2/Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
  TEngineRig second(tree.Path("P2/"));
  second.Folders({"A"});
  {
    platform::TContainedFolder folder;
    ASSERT_TRUE(folder.Open(tree.Path("P1/"), "A"));
    platform::TFolderLock firstsInstallation;
    ASSERT_TRUE(firstsInstallation.Take(folder));

    EXPECT_FALSE(InstallStagedFiles(second.Context));
    EXPECT_EQ(tree.Listing("P1/A"), "ModA.exe Report.dll Version.ini");
    EXPECT_EQ(tree.Read("P1/A/Report.dll"), "old");
    EXPECT_EQ(tree.Listing("P2"), "A Report.dll.V.2.1.005 Report.dll.{F}");
  }
  EXPECT_TRUE(InstallStagedFiles(second.Context));
  EXPECT_EQ(tree.Read("P1/A/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "P1/A", "ModA", "Main"), "2.1.005");
}

// In a folder shared by a group, the Version.ini an installation creates is
// the group's to update next, whatever the user's mask; the mask itself
// stays as it was.
TEST(SharedInstallationFolderTest, ANewVersionFileIsTheGroupsToUpdateNext) {
  TTempTree tree;
  tree.Write("A/ModA.exe", "program");
  tree.Write("Report.dll.{F}", "new");
  tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
  ASSERT_EQ(0, ::chmod(tree.Path("A").c_str(), 02775));
  TEngineRig rig(tree.Root);
  rig.Folders({"A"});
  const mode_t saved = ::umask(022);

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(::umask(saved), 022u);
  struct stat info {};
  ASSERT_EQ(0, ::stat(tree.Path("A/Version.ini").c_str(), &info));
  EXPECT_EQ(info.st_mode & 07777, 0664u);
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2.1.005");
}

// A module folder an administrator linked in from another disk keeps being
// found by the scan and updated; the move into it copies across the disks.
TEST(LinkedInstallationFolderTest, AFolderLinkedInFromAnotherDiskIsUpdated) {
  TTempTree tree, disk2(true);
  disk2.Write("ModA/ModA.exe", "program");
  disk2.Write("ModA/Report.dll", "old");
  disk2.Write("ModA/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  std::filesystem::create_symlink(disk2.Path("ModA"), tree.Path("ModA"));
  tree.Write("Report.dll.{F}", "new");
  tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
  TEngineRig rig(tree.Root);
  rig.Context.DirList = std::make_unique<TStringList>();
  ScanFolder(rig.Context, tree.Root);
  ASSERT_EQ(rig.Context.DirList->Count(), 1);

  EXPECT_TRUE(InstallStagedFiles(rig.Context));

  EXPECT_EQ(disk2.Read("ModA/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(disk2, "ModA", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(disk2.Listing("ModA"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Listing(), "ModA");
}
