// The Update button's run: fetch, stage, install, report, end.
#include "engine/DownloadStaging.h"

#include <gtest/gtest.h>

#include "StagedInstallFixture.h"
#include "engine/StartupHousekeeping.h"
#include "engine/TransferProgress.h"
#include "support/ScriptedServer.h"

namespace {

class DownloadStagingTest : public ::testing::Test {
 protected:
  DownloadStagingTest() {
    // The window's wiring of the client's work events.
    rig.Http.OnWorkBegin = [this](THttpClient*, TWorkMode, int64_t max) {
      ++transfersBegun;
      HttpClientWorkBegin(rig.Context, max);
    };
    rig.Http.OnWork = [this](THttpClient*, TWorkMode, int64_t count) {
      if (transfersBegun == exitDuringTransfer) rig.Window.SetTag(99);  // Exit pressed
      HttpClientWork(rig.Context, count);
    };
    rig.Http.OnWorkEnd = [this](THttpClient*, TWorkMode) {
      if (exitAtTransferEnd) rig.Window.SetTag(99);  // Exit after the last progress event
      HttpClientWorkEnd(rig.Context);
    };
  }

  void Install(const std::string& folder, const std::string& module, const std::string& file,
               const std::string& content) {
    tree.Write(folder + "/" + module + ".exe", "program");
    tree.Write(folder + "/" + file, content);
    tree.Write(folder + "/Version.ini", "[" + module + "]\r\nMain=1.0.001\r\n");
  }
  // A checked row for the module's component "Main".
  void Row(const std::string& module, const std::string& componentFile,
           const std::string& available, bool checked = true,
           const std::string& installed = "1.0.001") {
    rig.Window.AddRow(module + ",Main," + module + ".exe," + componentFile + "," + installed + "," +
                      available + ",N,N,0");
    rig.Window.SetRowChecked(rig.Window.RowCount() - 1, checked);
  }
  std::vector<std::string> Fetched() const { return server.RequestLines(); }

  ScriptedServer server;
  TTempTree tree;
  TEngineRig rig{tree.Root, server.Url("/")};
  int transfersBegun = 0;
  int exitDuringTransfer = -1;
  bool exitAtTransferEnd = false;
};

TEST_F(DownloadStagingTest, NoCheckedRowFetchesNothingButStillInstallsAndFinishes) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.0.000", false);
  Row("ModA", "Other.dll", "2.0.000", false);
  tree.Write("Report.dll.{F}", "left over");
  tree.Write("Report.dll.V.1.5.000", CompanionText("ModA", "Main", "1.5.000", "ModA.exe"));

  DownloadTheFiles(rig.Context);

  EXPECT_TRUE(Fetched().empty());
  EXPECT_EQ(rig.Window.itemIndex, 1);
  EXPECT_FALSE(rig.Window.progressVisible);
  EXPECT_FALSE(rig.Window.nextEnabled);
  EXPECT_FALSE(rig.Window.historyEnabled);
  EXPECT_EQ(tree.Read("A/Report.dll"), "left over");
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{"Finished. "});
  EXPECT_EQ(rig.Window.terminationRequests, 1);
}

// A body one byte short fails its check: its partial download is deleted at
// once, and the closing text names it.
TEST_F(DownloadStagingTest, AGoodBodyIsInstalledAndAShortOneIsDeletedAndNamed) {
  Install("A", "ModA", "Report.dll", "old");
  Install("B", "ModB", "Lib.so", "old lib");
  rig.Folders({"A", "B"});
  Row("ModA", "Report.dll", "2.1.005");
  Row("ModB", "Lib.so", "3.0.000");
  server.AddFile("/download/Report.dll", "new report");
  server.AddRoute("/download/Lib.so",
                  "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n123456789");

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(tree.Read("A/Report.dll"), "new report");
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Read("B/Lib.so"), "old lib");
  EXPECT_EQ(RecordedVersion(tree, "B", "ModB", "Main"), "1.0.001");
  EXPECT_EQ(tree.Listing(), "A B");
  const std::string finished = std::string("Finished. ") + kDownloadErrorNote +
                               " These files failed their check and were not installed: Lib.so.";
  EXPECT_EQ(rig.Window.StatusLine(), finished);
  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{finished});
  EXPECT_EQ(rig.Window.terminationRequests, 1);
}

// A good download that cannot be moved in stays staged for the next start,
// and the run says so instead of a plain "Finished. ".
TEST_F(DownloadStagingTest, AnInstallationThatFailsIsReported) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.1.005");
  server.AddFile("/download/Report.dll", "new");
  FailNextMoveOfAStagedFile();

  DownloadTheFiles(rig.Context);
  platform::DisarmFileFaultForTesting();

  EXPECT_EQ(tree.Read("A/Report.dll"), "old");
  EXPECT_TRUE(tree.Exists("Report.dll.{F}"));
  EXPECT_EQ(rig.Window.boxes,
            std::vector<std::string>{std::string("Finished. ") + kFilesInUseText});
  EXPECT_EQ(rig.Window.StatusLine(), rig.Window.boxes.back());
}

TEST_F(DownloadStagingTest, AMarkedRowIsSelectedButNeverFetched) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.1.005", true, "*1.0.001");

  DownloadTheFiles(rig.Context);

  EXPECT_TRUE(Fetched().empty());
  EXPECT_EQ(rig.Window.itemIndex, 0);
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
}

TEST_F(DownloadStagingTest, ExitDuringTheSecondOfThreeTransfersStopsBeforeInstalling) {
  Install("A", "ModA", "One.dll", "old one");
  rig.Folders({"A"});
  Row("ModA", "One.dll", "2.0.000");
  Row("ModA", "Two.dll", "2.0.000");
  Row("ModA", "Three.dll", "2.0.000");
  for (const char* name : {"One.dll", "Two.dll", "Three.dll"})
    server.AddFile(std::string("/download/") + name, std::string("new ") + name);
  exitDuringTransfer = 2;

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(Fetched().size(), 2u);
  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{"Download Aborted"});
  EXPECT_EQ(rig.Window.StatusLine(), "Download Aborted");
  EXPECT_FALSE(rig.Window.progressVisible);
  EXPECT_EQ(rig.Window.terminationRequests, 0);
  EXPECT_EQ(tree.Listing(), "A One.dll.V.2.0.000 One.dll.{F} Two.dll.{S}");
  EXPECT_EQ(tree.Read("A/One.dll"), "old one");
}

// The transfer had ended when Exit came, on a connection the server keeps:
// the abort closes it, so the next Exit finds none and ends the program.
TEST_F(DownloadStagingTest, ExitAfterTheLastProgressEventClosesTheConnection) {
  Install("A", "ModA", "One.dll", "old one");
  rig.Folders({"A"});
  Row("ModA", "One.dll", "2.0.000");
  server.AddFile("/download/One.dll", "new one");
  exitAtTransferEnd = true;

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(rig.Window.boxes, std::vector<std::string>{"Download Aborted"});
  EXPECT_FALSE(rig.Http.Connected());
  EXPECT_EQ(tree.Listing(), "A One.dll.{S}");
}

// The server announces 4 GiB and 4 bytes, closes after 4 bytes: the low 32
// bits of the announced length would match the file, the length does not.
TEST_F(DownloadStagingTest, ACutTransferAnnouncing4GiBOrMoreIsNeverStaged) {
  Install("A", "ModA", "Big.dat", "old");
  rig.Folders({"A"});
  Row("ModA", "Big.dat", "2.0.000");
  server.AddRoute("/download/Big.dat",
                  "HTTP/1.1 200 OK\r\nContent-Length: 4294967300\r\nConnection: close\r\n\r\nabcd");

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(tree.Read("A/Big.dat"), "old");
  EXPECT_EQ(tree.Listing(), "A");
  EXPECT_EQ(rig.Window.StatusLine(),
            std::string("Finished. ") + kDownloadErrorNote +
                " These files failed their check and were not installed: Big.dat.");
}

// "Lib" is no prefix of "Lib.V.dll"'s names: staging one keeps the other's
// staged file and companion.
TEST_F(DownloadStagingTest, LibAndLibVDllBothInstallInOneRun) {
  Install("A", "ModA", "Lib.V.dll", "old A");
  Install("B", "ModB", "Lib", "old B");
  rig.Folders({"A", "B"});
  Row("ModA", "Lib.V.dll", "2.0.000");
  Row("ModB", "Lib", "3.0.000");
  server.AddFile("/download/Lib.V.dll", "new A");
  server.AddFile("/download/Lib", "new B");

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(tree.Read("A/Lib.V.dll"), "new A");
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2.0.000");
  EXPECT_EQ(tree.Read("B/Lib"), "new B");
  EXPECT_EQ(RecordedVersion(tree, "B", "ModB", "Main"), "3.0.000");
  EXPECT_EQ(tree.Listing(), "A B");
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
}

// A staged file whose module is installed nowhere is discarded at start-up,
// without a box, and its name can be staged and installed again.
TEST_F(DownloadStagingTest, AnOrphanedStagedFileNoLongerBlocksItsName) {
  Install("A", "ModA", "Lib.dll", "old");
  tree.Write("Lib.dll.{F}", "orphan");
  tree.Write("Lib.dll.V.1.5.000", CompanionText("ModZ", "Main", "1.5.000", "ModZ.exe"));

  Timer1Timer(rig.Context);
  EXPECT_TRUE(rig.Window.boxes.empty());
  EXPECT_EQ(tree.Listing(), "A quorvin-updater.lock");

  Row("ModA", "Lib.dll", "2.0.000");
  server.AddFile("/download/Lib.dll", "new");
  DownloadTheFiles(rig.Context);
  EXPECT_EQ(tree.Read("A/Lib.dll"), "new");
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
}

TEST_F(DownloadStagingTest, AFileWithFoldersInFrontIsFetchedAndStagedUnderItsBareName) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Tools\\Sub/Report.dll", "2.1.005");
  server.AddFile("/download/Report.dll", "new");

  DownloadTheFiles(rig.Context);

  ASSERT_EQ(Fetched().size(), 1u);
  EXPECT_EQ(Fetched()[0], "GET /download/Report.dll HTTP/1.1");
  EXPECT_EQ(tree.Read("A/Report.dll"), "new");
  EXPECT_EQ(tree.Listing("A"), "ModA.exe Report.dll Version.ini");
}

TEST_F(DownloadStagingTest, AFileThatNamesNoFileIsNotFetched) {
  rig.Folders({});
  Row("ModA", "Tools\\", "2.1.005");
  Row("ModA", "..", "2.1.005");

  DownloadTheFiles(rig.Context);

  EXPECT_TRUE(Fetched().empty());
  EXPECT_EQ(rig.Window.StatusLine(),
            std::string("Finished. ") + kDownloadErrorNote +
                " These files failed their check and were not installed: Tools\\, ...");
  EXPECT_EQ(tree.Listing(), "");
}

TEST_F(DownloadStagingTest, AFailedTransferEndsTheRunAndLeavesEarlierFilesStaged) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.1.005");
  Row("ModA", "Missing.dll", "2.1.005");
  server.AddFile("/download/Report.dll", "new");

  EXPECT_ANY_THROW(DownloadTheFiles(rig.Context));

  EXPECT_EQ(tree.Listing(), "A Report.dll.V.2.1.005 Report.dll.{F}");
  EXPECT_TRUE(rig.Window.progressVisible);
  EXPECT_EQ(rig.Window.terminationRequests, 0);
}

// A body that fails half-way leaves nothing for its row: the partial
// download it had begun to stream into is removed.
TEST_F(DownloadStagingTest, ATransferFailingInItsBodyLeavesNoPartialDownload) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.1.005");
  server.AddRoute("/download/Report.dll",
                  "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                  "a\r\n12345");

  EXPECT_THROW(DownloadTheFiles(rig.Context), EConnClosedGracefully);

  EXPECT_EQ(tree.Listing(), "A");
  EXPECT_FALSE(rig.Http.Connected());
}

// The disk fails while the download's data is written back: the error,
// which the kernel reports to the write-back alone, fails the download, and
// nothing is staged or installed.
TEST_F(DownloadStagingTest, AWriteBackErrorFailsTheDownloadAndNothingIsStaged) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.1.005");
  server.AddFile("/download/Report.dll", std::string(9 << 20, 'r'));  // past one write-back stretch
  platform::ArmFileFaultForTesting({1, EIO, true, [](platform::TFileOp op, const std::string&) {
                                      return op == platform::TFileOp::WriteBack;
                                    }});
  EXPECT_THROW(DownloadTheFiles(rig.Context), EFCreateError);
  const int64_t injected = platform::FileFaultsInjectedForTesting();
  platform::DisarmFileFaultForTesting();

  EXPECT_EQ(injected, 1);
  EXPECT_EQ(tree.Listing(), "A");
  EXPECT_EQ(tree.Read("A/Report.dll"), "old");
}

// Two modules that both ship Report.dll: each copy goes to its own module,
// each with its own version.
TEST_F(DownloadStagingTest, TwoModulesShippingOneFileNameEachGetTheirOwn) {
  Install("A", "ModA", "Report.dll", "old A");
  Install("C", "ModC", "Report.dll", "old C");
  rig.Folders({"A", "C"});
  Row("ModA", "Report.dll", "2.0.000");
  Row("ModC", "Report.dll", "7.0.000");
  server.AddFile("/download/Report.dll", "new");

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(tree.Read("A/Report.dll"), "new");
  EXPECT_EQ(tree.Read("C/Report.dll"), "new");
  EXPECT_EQ(tree.Read("A/Version.ini"), "[ModA]\r\nMain=2.0.000\r\n");
  EXPECT_EQ(tree.Read("C/Version.ini"), "[ModC]\r\nMain=7.0.000\r\n");
  EXPECT_EQ(tree.Listing(), "A C");
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
}

TEST_F(DownloadStagingTest, ASharedFileNameStillTakenIsNotStagedOverTheOtherModule) {
  Install("A", "ModA", "Report.dll", "old A");
  Install("C", "ModC", "Report.dll", "old C");
  rig.Folders({"A", "C"});
  Row("ModA", "Report.dll", "2.0.000");
  Row("ModC", "Report.dll", "7.0.000");
  server.AddFile("/download/Report.dll", "new");
  THeldOpen running(tree.Path("A/Report.dll"));
  ASSERT_TRUE(running.Held);

  DownloadTheFiles(rig.Context);

  // ModA's copy waits for the next start; ModC's download was refused.
  EXPECT_EQ(tree.Read("A/Report.dll"), "old A");
  EXPECT_EQ(tree.Read("C/Report.dll"), "old C");
  EXPECT_EQ(tree.Read("C/Version.ini"), "[ModC]\r\nMain=1.0.001\r\n");
  EXPECT_EQ(tree.Listing(), "A C Report.dll.V.2.0.000 Report.dll.{F} Report.dll.{S}");
  EXPECT_EQ(rig.Window.StatusLine(),
            std::string("Finished. ") + kDownloadErrorNote + " " + kFilesInUseText);
}

TEST_F(DownloadStagingTest, ACompanionLeftByAnEarlierRunIsDroppedWhenTheFileIsStaged) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2.1.005");
  server.AddFile("/download/Report.dll", "new");
  tree.Write("Report.dll.V.9.9.999", CompanionText("ModA", "Main", "9.9.999", "ModA.exe"));
  tree.Age("Report.dll.V.9.9.999", 2000000000);  // even one that looks newer

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2.1.005");
  EXPECT_EQ(tree.Listing(), "A");
}

}  // namespace

namespace {

TEST_F(DownloadStagingTest, AVersionHoldingASlashStillNamesACompanionInTheProgramFolder) {
  Install("A", "ModA", "Report.dll", "old");
  rig.Folders({"A"});
  Row("ModA", "Report.dll", "2/../../x");
  server.AddFile("/download/Report.dll", "new");

  DownloadTheFiles(rig.Context);

  EXPECT_EQ(tree.Read("A/Report.dll"), "new");
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2/../../x");
  EXPECT_EQ(tree.Listing(), "A");
}

}  // namespace
