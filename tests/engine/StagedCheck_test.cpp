// A staged file is checked again, against the record its companion keeps,
// just before it is installed: at the next start as at the end of Update.
// One that changed since it was staged, whose record is damaged, or that
// has no record in a build with a root, is discarded with its companion,
// never installed, and named to the user.
#include "engine/StagedCheck.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "SigningKey.h"
#include "StagedInstallFixture.h"
#include "engine/CompanionFile.h"
#include "engine/DownloadStaging.h"
#include "engine/StartupHousekeeping.h"
#include "platform/FileSeam.h"
#include "platform/SealedFile.h"
#include "support/ScriptedServer.h"

namespace {

const std::string kStaged = "new report";

// The record of a file's content, as the download writes it.
std::string RecordOf(const std::string& content) {
  return Sha256FieldOf(content) + "\r\nsize=" + std::to_string(content.size()) + "\r\n";
}

// ModA installed in A with an old Report.dll, and a staged new one that an
// earlier run left, with the companion lines given.
struct TStagedRun {
  ScriptedServer server;
  TTempTree tree;
  TEngineRig rig{tree.Root, server.Url("/")};

  TStagedRun(const std::string& companionRest, bool withRoot, const std::string& staged = kStaged) {
    if (withRoot) rig.Context.CatalogueKey = kTestPublicKey;
    tree.Write("A/ModA.exe", "program");
    tree.Write("A/Report.dll", "old");
    tree.Write("Report.dll.{F}", staged);
    tree.Write("Report.dll.V.2.0.000",
               CompanionText("ModA", "Main", "2.0.000", "ModA.exe") + companionRest);
  }
  void Start() { Timer1Timer(rig.Context); }
  bool Installed() const { return tree.Read("A/Report.dll") == kStaged; }
};

const std::string kDiscarded = "These files failed their check and were not installed: Report.dll.";

}  // namespace

TEST(StagedCheckTest, AStagedFileThatMatchesItsRecordIsInstalled) {
  for (const bool withRoot : {false, true}) {
    TStagedRun run(RecordOf(kStaged), withRoot);
    run.Start();
    EXPECT_TRUE(run.Installed());
    EXPECT_EQ(run.rig.Window.boxes, std::vector<std::string>{kPendingFilesText});
    EXPECT_EQ(run.tree.Listing(), "A quorvin-updater.lock");
  }
}

// The vendor withdrew a file, or something changed it on disk, after it
// was staged: the next start does not install it.
TEST(StagedCheckTest, AStagedFileChangedAfterStagingIsDiscardedAtTheNextStart) {
  for (const std::string changed : {"new reporT", "new report and more", ""}) {
    SCOPED_TRACE(changed);
    TStagedRun run(RecordOf(kStaged), true, changed);
    run.Start();
    EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
    EXPECT_EQ(RecordedVersion(run.tree, "A", "ModA", "Main"), "");
    EXPECT_EQ(run.tree.Listing(), "A quorvin-updater.lock");
    EXPECT_EQ(run.rig.Window.boxes, (std::vector<std::string>{kPendingFilesText, kDiscarded}));
    EXPECT_EQ(run.rig.Window.StatusLine(), kClickNextText);
    EXPECT_EQ(run.rig.Window.terminationRequests, 0);
  }
}

TEST(StagedCheckTest, AStagedFileWithoutARecordIsInstalledOnlyWhereNothingIsTrusted) {
  {
    TStagedRun run("", false);
    run.Start();
    EXPECT_TRUE(run.Installed());
  }
  {
    TStagedRun run("", true);
    run.Start();
    EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
    EXPECT_EQ(run.tree.Listing(), "A quorvin-updater.lock");
    EXPECT_EQ(run.rig.Window.boxes, (std::vector<std::string>{kPendingFilesText, kDiscarded}));
  }
}

TEST(StagedCheckTest, ADamagedRecordIsNoRecordToInstallBy) {
  const std::string digest = Sha256FieldOf(kStaged);
  for (const std::string& record :
       {digest + "\r\n", digest + "\r\nsize=ten\r\n", digest + "\r\nlength=10\r\n",
        "SHA256" + digest.substr(6) + "\r\nsize=10\r\n", "size=10\r\n" + digest + "\r\n",
        digest + "\r\nsize=-10\r\n"}) {
    for (const bool withRoot : {false, true}) {
      SCOPED_TRACE(record);
      TStagedRun run(record, withRoot);
      run.Start();
      EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
      EXPECT_EQ(run.rig.Window.boxes, (std::vector<std::string>{kPendingFilesText, kDiscarded}));
    }
  }
}

// The end of Update checks again too: a file staged by an earlier run that
// changed since is named in the closing text with the download note.
TEST(StagedCheckTest, AtTheEndOfUpdateAFailedCheckIsNamedInTheClosingText) {
  TStagedRun run(RecordOf("what was checked"), true);
  run.rig.Folders({"A"});
  DownloadTheFiles(run.rig.Context);
  EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
  EXPECT_EQ(run.tree.Listing(), "A");
  EXPECT_EQ(run.rig.Window.boxes, std::vector<std::string>{std::string("Finished. ") +
                                                           kDownloadErrorNote + " " + kDiscarded});
}

// ModA installed in A with an old Report.dll, and a signed catalogue that
// offers the new one, its row checked for Update.
struct TUpdateRun {
  TTempTree tree;
  ScriptedServer server;
  TEngineRig rig{tree.Root, server.Url("/")};

  TUpdateRun() {
    rig.ReportTransfers();
    rig.Context.CatalogueKey = kTestPublicKey;
    rig.Folders({"A"});
    tree.Write("A/ModA.exe", "program");
    tree.Write("A/Report.dll", "old");
    tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,Report.dll" +
                                   SignedFieldsOf(kStaged) + "\r\n");
    server.AddFile("/download/Report.dll", kStaged);
    rig.Window.AddRow("ModA,Main,ModA.exe,Report.dll,1.0.001,2.0.000,N,N,0");
    rig.Window.SetRowChecked(0, true);
  }
};

// What Update stages carries its record: the digest and size it was
// checked against, lines 5 and 6 of the companion.
TEST(StagedCheckTest, TheDownloadWritesTheRecordWithTheCompanion) {
  TUpdateRun run;
  TTempTree& tree = run.tree;
  TEngineRig& rig = run.rig;
  // The installation fails (the copy is in use): the staged file stays, and
  // its companion shows what was recorded.
  THeldOpen held(tree.Path("A/Report.dll"));
  ASSERT_TRUE(held.Held);
  DownloadTheFiles(rig.Context);
  EXPECT_EQ(tree.Read("Report.dll.V.2.0.000"),
            CompanionText("ModA", "Main", "2.0.000", "ModA.exe") + RecordOf(kStaged));
  const TStringList lines = engine::ReadCompanionLines(tree.Path("Report.dll.V.2.0.000"));
  const engine::TRecordLines record = engine::ReadStagedRecord(lines);
  EXPECT_EQ(record.Kind, engine::TRecordLines::kRecord);
  EXPECT_EQ(record.Record.Size, 10);
  EXPECT_EQ(engine::CheckStagedFile(rig.Context, "Report.dll.{F}", lines),
            engine::TStagedCheck::kPasses);
}

TEST(StagedCheckTest, TheListOfNamesStaysShort) {
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) names.push_back("F" + std::to_string(i));
  EXPECT_EQ(engine::FailedFilesText(names),
            "These files failed their check and were not installed: F0, F1, F2, F3, F4, F5, F6, "
            "F7, F8, F9 and 2 more.");
}

// A file staged earlier under the name a new download needs is installed
// first; when it fails its check it is discarded there, the new file takes
// the name, and the closing text still names what was discarded.
TEST(StagedCheckTest, AStagedFileInTheWayOfANewDownloadIsCheckedToo) {
  TStagedRun run(RecordOf("what was checked"), true);
  run.rig.ReportTransfers();
  run.rig.Folders({"A"});
  run.tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=3.0.000,Report.dll" +
                                     SignedFieldsOf("newer report") + "\r\n");
  run.server.AddFile("/download/Report.dll", "newer report");
  run.rig.Window.AddRow("ModA,Main,ModA.exe,Report.dll,1.0.001,3.0.000,N,N,0");
  run.rig.Window.SetRowChecked(0, true);
  DownloadTheFiles(run.rig.Context);
  EXPECT_EQ(run.tree.Read("A/Report.dll"), "newer report");
  EXPECT_EQ(RecordedVersion(run.tree, "A", "ModA", "Main"), "3.0.000");
  EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
  EXPECT_EQ(run.rig.Window.boxes, std::vector<std::string>{std::string("Finished. ") +
                                                           kDownloadErrorNote + " " + kDiscarded});
}

// A staged file that cannot be read now (a disk error) is not discarded: it
// stays staged, the start says a file could not be installed, and the next
// start installs it.  One that is a symbolic link is no staged file of ours.
TEST(StagedCheckTest, AFileThatCannotBeReadNowStaysForTheNextStart) {
  TStagedRun run(RecordOf(kStaged), true);
  {
    TEngineRig first{run.tree.Root};
    first.Context.CatalogueKey = kTestPublicKey;
    platform::ArmFileFaultForTesting(
        {1, EIO, false, [](platform::TFileOp op, const std::string& path) {
           return op == platform::TFileOp::Read && path.ends_with(".{F}");
         }});
    Timer1Timer(first.Context);
    platform::DisarmFileFaultForTesting();
    EXPECT_EQ(first.Window.boxes, (std::vector<std::string>{kPendingFilesText, kFilesInUseText}));
  }
  EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
  EXPECT_EQ(run.tree.Listing(), "A Report.dll.V.2.0.000 Report.dll.{F} quorvin-updater.lock");
  run.Start();
  EXPECT_TRUE(run.Installed());
  EXPECT_EQ(run.rig.Window.boxes, std::vector<std::string>{kPendingFilesText});
}

TEST(StagedCheckTest, AStagedLinkIsDiscarded) {
  TStagedRun run(RecordOf(kStaged), true);
  run.tree.Write("elsewhere", kStaged);
  std::filesystem::remove(run.tree.Path("Report.dll.{F}"));
  std::filesystem::create_symlink(run.tree.Path("elsewhere"), run.tree.Path("Report.dll.{F}"));
  run.Start();
  EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
  EXPECT_EQ(run.tree.Listing(), "A elsewhere quorvin-updater.lock");
  EXPECT_EQ(run.tree.Read("elsewhere"), kStaged);
  EXPECT_EQ(run.rig.Window.boxes, (std::vector<std::string>{kPendingFilesText, kDiscarded}));
}

namespace {

// The reads of the staged file that a run of Update makes, in a program
// folder of the mode given.
int ReadsOfTheStagedFile(mode_t programFolderMode) {
  TUpdateRun run;
  TTempTree& tree = run.tree;
  TEngineRig& rig = run.rig;
  EXPECT_EQ(::chmod(tree.Root.c_str(), programFolderMode), 0);
  platform::RecordFileOperationsForTesting(true);
  DownloadTheFiles(rig.Context);
  platform::RecordFileOperationsForTesting(false);
  EXPECT_EQ(tree.Read("A/Report.dll"), kStaged);
  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{"Finished. "});
  EXPECT_TRUE(rig.Context.SealedStagedFiles.empty());  // nothing held after the run
  int reads = 0;
  for (const platform::TFileOpRecord& op : platform::RecordedFileOperationsForTesting())
    reads += op.Op == platform::TFileOp::Read && op.Path.ends_with("Report.dll.{F}");
  return reads;
}

}  // namespace

// A file this run downloaded, checked and staged, that nobody else could
// write since, is installed without reading it again; in a folder its group
// shares, the staged file is the group's to write, and is read again.
TEST(StagedCheckTest, AFileStagedInThisRunIsReadAgainOnlyWhereOthersCouldWriteIt) {
  EXPECT_EQ(ReadsOfTheStagedFile(0755), 0);
  EXPECT_GT(ReadsOfTheStagedFile(02775), 0);
}

// A sealed file whose name now leads elsewhere is checked by its bytes.
TEST(StagedCheckTest, ASealedFileReplacedSinceIsCheckedByItsBytes) {
  TStagedRun run(RecordOf(kStaged), true);
  ASSERT_EQ(::chmod(run.tree.Path("Report.dll.{F}").c_str(), 0644), 0);
  platform::TSealedFile seal;
  ASSERT_TRUE(seal.Seal(run.tree.Path("Report.dll.{F}")));
  run.rig.Context.SealedStagedFiles["Report.dll.{F}"] = std::move(seal);
  const TStringList lines = engine::ReadCompanionLines(run.tree.Path("Report.dll.V.2.0.000"));
  EXPECT_EQ(engine::CheckStagedFile(run.rig.Context, "Report.dll.{F}", lines),
            engine::TStagedCheck::kPasses);
  run.tree.Write("planted", "new reporT");
  ASSERT_EQ(::rename(run.tree.Path("planted").c_str(), run.tree.Path("Report.dll.{F}").c_str()), 0);
  EXPECT_EQ(engine::CheckStagedFile(run.rig.Context, "Report.dll.{F}", lines),
            engine::TStagedCheck::kFails);
}
