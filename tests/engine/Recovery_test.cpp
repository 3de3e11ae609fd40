// No start can wedge on an interrupted installation: what can no longer be
// done goes without a word; only a failure that may pass keeps the journal,
// and the next start recovers once it has passed.
#include <gtest/gtest.h>

#include <filesystem>

#include "StagedInstallFixture.h"
#include "engine/FolderInstall.h"
#include "engine/InstallJournal.h"
#include "engine/StartupHousekeeping.h"
#include "platform/ContainedFolder.h"
#include "platform/FolderLock.h"

namespace {

class RecoveryTest : public ::testing::Test {
 protected:
  // An installation of Report.dll 2.1.005 into A, stopped with the old copy
  // aside and the staged file not yet moved in.
  void SetUp() override {
    tree.Write("A/ModA.exe", "program");
    tree.Write("A/Report.dll.{O}", "old");
    tree.Write("A/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
    tree.Write("Report.dll.{F}", "new");
    tree.Write("Report.dll.V.2.1.005", CompanionText("ModA", "Main", "2.1.005", "ModA.exe"));
    engine::WriteInstallJournal(
        tree.Root, JournalOfInstall(tree, "Report.dll", "A", "2.1.005", "Report.dll.{O}"));
  }
  void TearDown() override { platform::DisarmFileFaultForTesting(); }

  // A start, in a fresh window; the run before it has ended.
  FakeUpdaterWindow& Start() {
    run.reset();
    run = std::make_unique<TEngineRig>(tree.Root);
    Timer1Timer(run->Context);
    return run->Window;
  }

  void ExpectAQuietStart() {
    FakeUpdaterWindow& window = Start();
    EXPECT_EQ(window.boxes, std::vector<std::string>{});
    EXPECT_EQ(window.terminationRequests, 0);
    EXPECT_EQ(window.StatusLine(), kClickNextText);
    EXPECT_FALSE(tree.Exists("InstallJournal.{J}"));
  }

  TTempTree tree;
  std::unique_ptr<TEngineRig> run;
};

// The application was uninstalled, its folder is a file now, or another
// folder stands under its name: the journal goes, nothing there is
// touched, and the staged file of a module installed nowhere is discarded.
TEST_F(RecoveryTest, AJournalWhoseFolderIsGoneGoesWithoutAWord) {
  for (const std::string what : {"removed", "a file", "another folder"}) {
    SCOPED_TRACE(what);
    // Made before the old one goes, the other folder cannot take its inode.
    std::filesystem::rename(tree.Path("A"), tree.Path("Old"));
    if (what == "a file") tree.Write("A", "a file");
    if (what == "another folder") tree.Write("A/Report.dll.{O}", "the user's");
    std::filesystem::remove_all(tree.Path("Old"));

    ExpectAQuietStart();

    EXPECT_EQ(tree.Listing(),
              what == "removed" ? "quorvin-updater.lock" : "A quorvin-updater.lock");
    if (what == "another folder") {
      EXPECT_EQ(tree.Listing("A"), "Report.dll.{O}");
      EXPECT_EQ(tree.Read("A/Report.dll.{O}"), "the user's");
    }
    std::filesystem::remove_all(tree.Path("A"));
    SetUp();
  }
}

// The new copy moved in and then gave way to a folder of that name: the old
// copy cannot come back while the folder is there, so it stays aside and
// the journal goes; the lost update is told of once.
TEST_F(RecoveryTest, AnOldCopyThatCanNeverComeBackStaysAside) {
  std::filesystem::remove(tree.Path("Report.dll.{F}"));
  tree.Folder("A/Report.dll");

  EXPECT_EQ(Start().boxes, std::vector<std::string>{kFilesInUseText});
  EXPECT_FALSE(tree.Exists("InstallJournal.{J}"));
  EXPECT_EQ(tree.Listing("A"), "ModA.exe Report.dll Report.dll.{O} Version.ini");

  ExpectAQuietStart();
}

// Moved in, then lost (a power cut took the move, someone deleted it):
// there is nothing to complete, the old copy comes back, and the start says
// once that something could not be installed; the next start is quiet.
TEST_F(RecoveryTest, ANewCopyThatVanishedBringsTheOldOneBackAndIsToldOnce) {
  std::filesystem::remove(tree.Path("Report.dll.{F}"));

  FakeUpdaterWindow& window = Start();
  EXPECT_EQ(window.boxes, std::vector<std::string>{kFilesInUseText});
  EXPECT_FALSE(tree.Exists("InstallJournal.{J}"));
  EXPECT_EQ(tree.Listing("A"), "ModA.exe Report.dll Version.ini");
  EXPECT_EQ(tree.Read("A/Report.dll"), "old");
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "1.0.001");

  ExpectAQuietStart();
}

// The folder cannot be entered now (no permission), or another updater's
// installation works in it: the journal waits, the start says so and ends,
// and the next start recovers.
TEST_F(RecoveryTest, AFailureThatMayPassKeepsTheJournalForTheNextStart) {
  for (const char* failure : {"not permitted", "locked"}) {
    SCOPED_TRACE(failure);
    std::optional<platform::TContainedFolder> folder;
    platform::TFolderLock otherInstallation;
    if (failure == std::string("locked")) {
      folder.emplace();
      ASSERT_TRUE(folder->Open(tree.Root, "A"));
      ASSERT_TRUE(otherInstallation.Take(*folder));
    } else {
      const std::string path = tree.Path("A");
      platform::ArmFileFaultForTesting(
          {1, EACCES, true, [path](platform::TFileOp op, const std::string& opened) {
             return op == platform::TFileOp::OpenToRead && opened == path;
           }});
    }
    EXPECT_FALSE(engine::RecoverInterruptedInstall(tree.Root));
    FakeUpdaterWindow& window = Start();
    EXPECT_EQ(window.boxes.back(), kFilesInUseText);
    EXPECT_EQ(window.terminationRequests, 1);
    EXPECT_TRUE(tree.Exists("InstallJournal.{J}"));
    EXPECT_EQ(tree.Listing("A"), "ModA.exe Report.dll.{O} Version.ini");
    platform::DisarmFileFaultForTesting();
  }

  // The staged file is then installed as the start announces.
  FakeUpdaterWindow& window = Start();
  EXPECT_EQ(window.boxes, std::vector<std::string>{kPendingFilesText});
  EXPECT_FALSE(tree.Exists("InstallJournal.{J}"));
  EXPECT_EQ(tree.Read("A/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2.1.005");
}

}  // namespace
