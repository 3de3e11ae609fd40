// Update detection end to end: a temporary installation tree, the catalogue
// served by the scripted server on 127.0.0.1, and the fake window.
#include "engine/UpdateDetection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "DetectTestSupport.h"
#include "FileHolder.h"
#include "engine/Catalogue.h"
#include "engine/FolderScan.h"
#include "engine/TransferProgress.h"
#include "support/ScriptedServer.h"

namespace {

class UpdateDetectionTest : public ::testing::Test {
 protected:
  UpdateDetectionTest() : detect(tree.Root(), server.Url("/")) {}

  // Serves the catalogue, lists the folders and runs the Next handler.
  void Detect(const std::string& catalogue) {
    server.AddFile("/download/allfiles.ini", catalogue);
    ScanFolder(detect.context, tree.Root());
    GetListOfFiles(detect.context);
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> texts;
    for (const auto& row : detect.window.rows) texts.push_back(row.text);
    return texts;
  }
  // Six installation candidates F0..F5, at DirList positions 0..5.
  void SixFolders() {
    for (int i = 0; i < 6; ++i) tree.Folder("F" + std::to_string(i));
  }
  void ExpectUpToDateEnding() {
    EXPECT_TRUE(detect.window.rows.empty());
    EXPECT_EQ(detect.window.StatusLine(), kUpToDateText);
    EXPECT_EQ(detect.window.boxes, std::vector<std::string>{kUpToDateText});
    EXPECT_EQ(detect.window.terminationRequests, 1);
    EXPECT_FALSE(detect.window.progressVisible);
    EXPECT_FALSE(detect.window.isUpdateButton);
  }
  void ExpectOffer() {
    EXPECT_EQ(detect.window.StatusLine(), kChooseUpdatesText);
    EXPECT_TRUE(detect.window.isUpdateButton);
    EXPECT_TRUE(detect.window.nextEnabled);
    EXPECT_TRUE(detect.window.historyEnabled);
    EXPECT_EQ(detect.window.repaints, 1);
    EXPECT_EQ(detect.window.terminationRequests, 0);
    EXPECT_TRUE(detect.window.boxes.empty());
  }

  DetectTree tree;
  ScriptedServer server;
  DetectContext detect;
};

TEST_F(UpdateDetectionTest, NothingInstalledEndsWithTheUpToDateBox) {
  tree.File("ModA.exe");  // in the program folder itself, which is no installation folder
  tree.Folder("Empty");
  const std::string catalogue = "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=9.0.000,ModA.exe\r\n";
  Detect(catalogue);
  ExpectUpToDateEnding();
  EXPECT_TRUE(detect.window.historyEnabled);
  EXPECT_EQ(tree.Read("allfiles.ini"), catalogue);  // stored whole
  EXPECT_EQ(server.RequestLines(), std::vector<std::string>{"GET /download/allfiles.ini HTTP/1.1"});
}

TEST_F(UpdateDetectionTest, NewerComponentGivesACheckedEnabledRow) {
  tree.File("ModA/ModA.exe");
  Detect("[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=1.0.002,ModA.exe\r\n");
  EXPECT_EQ(Rows(), std::vector<std::string>{"ModA,Main,ModA.exe,ModA.exe,1.0.001,1.0.002,N,N,0"});
  EXPECT_TRUE(detect.window.rows[0].checked);
  EXPECT_TRUE(detect.window.rows[0].enabled);
  ExpectOffer();
}

TEST_F(UpdateDetectionTest, ModuleInTwoFoldersListsEveryComponentPresentInTheFirst) {
  SixFolders();
  tree.File("F2/ModA.exe");
  tree.File("F5/ModA.exe");
  tree.File("F2/Report.dll");
  tree.File("F5/Only5.dll");  // missing from the first installation folder: no row
  tree.File("F2/Version.ini", "[ModA]\r\nMain=1.0.002\r\nReport=2.1.005\r\nOnly=1.0.000\r\n");
  Detect(
      "[modules]\r\nModA=ModA.exe\r\n"
      "[ModA]\r\nMain=1.0.002,ModA.exe\r\nReport=2.1.005,Tools\\Report.dll,x\r\n"
      "Only=1.0.000,Only5.dll\r\n");
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        "ModA,Main,ModA.exe,ModA.exe,1.0.002,1.0.002,Y,N,2|5",
                        "ModA,Report,ModA.exe,Tools\\Report.dll,2.1.005,2.1.005,Y,N,2|5"}));
  ExpectOffer();
}

TEST_F(UpdateDetectionTest, NewerComponentWithoutItsFileGivesNoRow) {
  tree.File("ModA/ModA.exe");
  Detect("[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nLib=2.0.000,Lib.dll\r\n");
  ExpectUpToDateEnding();
}

TEST_F(UpdateDetectionTest, TheFourComparisonExamplesInCatalogueOrder) {
  tree.File("App/App.exe");
  for (const char* name : {"Same.dll", "Build.dll", "Minor.dll", "BuildOnly.dll"}) {
    tree.File(std::string("App/") + name);
  }
  tree.File("App/Version.ini",
            "[App]\r\nSame=1.2.003\r\nBuild=1.2.003\r\nMinor=2.0.000\r\nBuildOnly=1.3.001\r\n");
  Detect(
      "[modules]\r\nApp=App.exe\r\n[App]\r\nSame=1.2.003,Same.dll\r\nBuild=1.2.004,Build.dll\r\n"
      "Minor=1.5.000,Minor.dll\r\nBuildOnly=1.2.010,BuildOnly.dll\r\n");
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        "App,Build,App.exe,Build.dll,1.2.003,1.2.004,N,N,0",
                        "App,Minor,App.exe,Minor.dll,2.0.000,1.5.000,N,N,0",
                        "App,BuildOnly,App.exe,BuildOnly.dll,1.3.001,1.2.010,N,N,0"}));
}

TEST_F(UpdateDetectionTest, ShortInstalledVersionDecidedAtTheMinorComponent) {
  tree.File("App/App.exe");
  tree.File("App/Lib.dll");
  tree.File("App/Version.ini", "[App]\r\nLib=1.2\r\n");
  Detect("[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.3.000,Lib.dll\r\n");
  EXPECT_EQ(Rows(), std::vector<std::string>{"App,Lib,App.exe,Lib.dll,1.2,1.3.000,N,N,0"});
}

TEST_F(UpdateDetectionTest, ShortInstalledVersionReadToItsMissingBuildFails) {
  tree.File("App/App.exe");
  tree.File("App/First.dll");
  tree.File("App/Lib.dll");
  tree.File("App/Version.ini", "[App]\r\nLib=1.2\r\n");
  server.AddFile("/download/allfiles.ini",
                 "[modules]\r\nApp=App.exe\r\n[App]\r\nFirst=1.0.002,First.dll\r\n"
                 "Lib=1.2.000,Lib.dll\r\n");
  ScanFolder(detect.context, tree.Root());
  EXPECT_THROW(GetListOfFiles(detect.context), EStringListError);
  EXPECT_EQ(Rows().size(), 1u);  // the row added before the error stays
  EXPECT_FALSE(detect.window.nextEnabled);
  EXPECT_FALSE(detect.window.historyEnabled);
  EXPECT_EQ(detect.window.StatusLine(), kConnectingText);
}

TEST_F(UpdateDetectionTest, UnconvertibleVersionFailsWithTheConversionError) {
  tree.File("App/App.exe");
  tree.File("App/Lib.dll");
  server.AddFile("/download/allfiles.ini",
                 "[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.0.2b,Lib.dll\r\n");
  ScanFolder(detect.context, tree.Root());
  EXPECT_THROW(GetListOfFiles(detect.context), EConvertError);
  EXPECT_FALSE(detect.window.nextEnabled);
  EXPECT_FALSE(detect.window.historyEnabled);
  EXPECT_EQ(detect.window.StatusLine(), kConnectingText);
}

TEST_F(UpdateDetectionTest, WithoutVersionIniEveryComponentIsAt1_0_001) {
  tree.File("App/App.exe");
  tree.File("App/Old.dll");
  tree.File("App/New.dll");
  Detect("[modules]\r\nApp=App.exe\r\n[App]\r\nOld=1.0.001,Old.dll\r\nNew=1.0.002,New.dll\r\n");
  EXPECT_EQ(Rows(), std::vector<std::string>{"App,New,App.exe,New.dll,1.0.001,1.0.002,N,N,0"});
}

TEST_F(UpdateDetectionTest, FileHeldOpenByAnotherProcessGivesAnUncheckedDisabledRow) {
  tree.File("App/App.exe");
  const std::string lib = tree.File("App/Lib.dll");
  DetectFileHolder holder("/bin/sleep", lib, 0, O_RDONLY);
  ASSERT_TRUE(holder.WaitUntilHolding("fd/0", lib));
  Detect("[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.0.002,Lib.dll\r\n");
  EXPECT_EQ(Rows(), std::vector<std::string>{"App,Lib,App.exe,Lib.dll,1.0.001,1.0.002,N,Y,0"});
  EXPECT_FALSE(detect.window.rows[0].checked);
  EXPECT_FALSE(detect.window.rows[0].enabled);
  ExpectOffer();
}

TEST_F(UpdateDetectionTest, ProgramAndComponentFilesAreFoundWithoutRegardToCase) {
  tree.File("App/ModA.EXE");
  tree.File("App/Report.DLL");
  Detect("[modules]\r\nModA=moda.exe\r\n[ModA]\r\nReport=1.0.002,Data\\report.dll\r\n");
  EXPECT_EQ(Rows(), std::vector<std::string>{
                        "ModA,Report,moda.exe,Data\\report.dll,1.0.001,1.0.002,N,N,0"});
}

TEST_F(UpdateDetectionTest, ProgramFileBelowTheInstallationFolderIsFound) {
  tree.File("App/Bin/App.exe");
  tree.File("App/Lib.dll");
  tree.Folder("Other/Bin/App.exe");  // a folder of that name is no program file
  // Written with "/", or with "\" as the catalogue's authors write it.
  Detect(
      "[modules]\r\nApp=bin/app.exe\r\nWin=BIN\\App.exe\r\n"
      "[App]\r\nLib=1.0.002,Lib.dll\r\n[Win]\r\nLib=1.0.002,Lib.dll\r\n");
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"App,Lib,bin/app.exe,Lib.dll,1.0.001,1.0.002,N,N,0",
                                      "Win,Lib,BIN\\App.exe,Lib.dll,1.0.001,1.0.002,N,N,0"}));
}

TEST_F(UpdateDetectionTest, CatalogueNamesCannotReachOutsideTheInstallationFolder) {
  tree.File("App/App.exe");
  tree.File("Lib.dll");  // in the program folder, one level up
  Detect(
      "[modules]\r\nApp=App.exe\r\n[App]\r\nUp=2.0.000,..\\Lib.dll\r\n"
      "Slash=2.0.000,../Lib.dll\r\nDots=2.0.000,..\r\n");
  ExpectUpToDateEnding();
}

// Program files are looked up below each folder: one that climbs out (or
// starts at the root) is found nowhere, so nothing is installed for it.
TEST_F(UpdateDetectionTest, AProgramFileOutsideTheFolderMarksNoInstallation) {
  tree.File("App/Lib.dll");
  tree.File("App.exe");  // in the program folder, one level up from App/
  const std::string absolute = tree.Root() + "App.exe";
  std::string backslashed = absolute;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  Detect("[modules]\r\nUp=..\\App.exe\r\nSlash=App/../App.exe\r\nRoot=" + absolute +
         "\r\nWin=" + backslashed +
         "\r\n[Up]\r\nLib=2.0.000,Lib.dll\r\n[Slash]\r\nLib=2.0.000,Lib.dll\r\n"
         "[Root]\r\nLib=2.0.000,Lib.dll\r\n[Win]\r\nLib=2.0.000,Lib.dll\r\n");
  ExpectUpToDateEnding();
}

TEST_F(UpdateDetectionTest, EntryWithoutAFileFieldFailsOnlyWhenARowIsBuilt) {
  tree.File("App/App.exe");
  tree.File("App/Version.ini", "[App]\r\nSame=1.0.005\r\n");
  server.AddFile("/download/allfiles.ini",
                 "[modules]\r\nApp=App.exe\r\n[App]\r\nSame=1.0.005\r\nNewer=1.0.006\r\n");
  ScanFolder(detect.context, tree.Root());
  EXPECT_THROW(GetListOfFiles(detect.context), EStringListError);
  EXPECT_TRUE(Rows().empty());
  EXPECT_FALSE(detect.window.nextEnabled);
}

// A loopback port that nothing listens on: bound, then closed again.
int ClosedLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

void ExpectNextStillUsable(const DetectContext& detect) {
  EXPECT_EQ(detect.window.StatusLine(), kConnectingText);
  EXPECT_TRUE(detect.window.nextEnabled);
  EXPECT_TRUE(detect.window.historyEnabled);
  EXPECT_FALSE(detect.window.isUpdateButton);
  EXPECT_EQ(detect.window.terminationRequests, 0);
}

TEST_F(UpdateDetectionTest, RefusedConnectionLeavesNextUsable) {
  tree.File("App/App.exe");
  DetectContext refused(tree.Root(),
                        "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/");
  ScanFolder(refused.context, tree.Root());
  EXPECT_ANY_THROW(GetListOfFiles(refused.context));
  ExpectNextStillUsable(refused);
  EXPECT_FALSE(std::filesystem::exists(tree.Path("allfiles.ini")));
}

TEST_F(UpdateDetectionTest, MissingCatalogueOnTheServerLeavesNextUsable) {
  ScanFolder(detect.context, tree.Root());
  EXPECT_ANY_THROW(GetListOfFiles(detect.context));  // 404
  ExpectNextStillUsable(detect);
}

TEST_F(UpdateDetectionTest, CatalogueThatCannotBeStoredRaisesTheCreateError) {
  tree.File("App/App.exe");
  std::filesystem::create_directory(tree.Path("allfiles.ini"));  // a folder in the way
  server.AddFile("/download/allfiles.ini", "[modules]\r\nApp=App.exe\r\n");
  ScanFolder(detect.context, tree.Root());
  EXPECT_THROW(GetListOfFiles(detect.context), EFCreateError);
  ExpectNextStillUsable(detect);
}

// More than any catalogue is refused while it arrives: memory stays bounded,
// nothing is stored, and the connection is closed so that Exit ends the
// program.
TEST_F(UpdateDetectionTest, ACatalogueBeyondItsCapIsRefusedWhileItArrives) {
  tree.File("App/App.exe");
  server.AddConnection(ConnectionScript()
                           .ExpectRequest()
                           .Send("HTTP/1.1 200 OK\r\n\r\n")
                           .SendGenerated(kMaxCatalogueSize + (1 << 20))
                           .Close());
  ScanFolder(detect.context, tree.Root());
  try {
    GetListOfFiles(detect.context);
    FAIL() << "accepted";
  } catch (const ECatalogueTooLarge& error) {
    EXPECT_EQ(error.Message(), kCatalogueTooLargeText);
  }
  EXPECT_FALSE(std::filesystem::exists(tree.Path("allfiles.ini")));
  ExpectNextStillUsable(detect);
  EXPECT_FALSE(detect.http.Connected());
}

TEST_F(UpdateDetectionTest, AnOldCatalogueCopyIsReplacedWhateverItsCase) {
  tree.File("App/App.exe");
  tree.File("App/Lib.dll");
  tree.File("AllFiles.ini", "[modules]\r\nOld=Old.exe\r\n");
  Detect("[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.0.002,Lib.dll\r\n");
  EXPECT_EQ(Rows().size(), 1u);
  EXPECT_EQ(tree.Read("AllFiles.ini"),
            "[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.0.002,Lib.dll\r\n");
  EXPECT_FALSE(std::filesystem::exists(tree.Path("allfiles.ini")));
}

TEST_F(UpdateDetectionTest, ExitDuringTheFetchNeverActsOnACutCatalogue) {
  tree.File("App/App.exe");
  tree.File("App/Lib.dll");
  std::string catalogue = "[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.0.002,Lib.dll\r\n";
  catalogue += "; padding\r\n" + std::string(4 << 20, ';') + "\r\n";
  server.AddFile("/download/allfiles.ini", catalogue);
  ScanFolder(detect.context, tree.Root());
  TUpdaterContext& context = detect.context;
  detect.http.OnWorkBegin = [&](THttpClient*, TWorkMode, int64_t max) {
    HttpClientWorkBegin(context, max);
    context.Window.SetTag(99);  // the user presses Exit as the body begins
  };
  detect.http.OnWork = [&](THttpClient*, TWorkMode, int64_t count) {
    HttpClientWork(context, count);
  };
  detect.http.OnWorkEnd = [&](THttpClient*, TWorkMode) { HttpClientWorkEnd(context); };
  EXPECT_ANY_THROW(GetListOfFiles(detect.context));
  EXPECT_TRUE(Rows().empty());
  EXPECT_FALSE(std::filesystem::exists(tree.Path("allfiles.ini")));
  ExpectNextStillUsable(detect);
  EXPECT_EQ(detect.window.Tag(), 99);
  EXPECT_FALSE(detect.http.Connected());  // so a second Exit ends the program
}

TEST_F(UpdateDetectionTest, ExitAfterTheLastProgressEventStillDropsTheCatalogue) {
  tree.File("App/App.exe");
  tree.File("App/Lib.dll");
  server.AddFile("/download/allfiles.ini",
                 "[modules]\r\nApp=App.exe\r\n[App]\r\nLib=1.0.002,Lib.dll\r\n");
  ScanFolder(detect.context, tree.Root());
  detect.http.OnWorkEnd = [&](THttpClient*, TWorkMode) { detect.window.SetTag(99); };
  EXPECT_THROW(GetListOfFiles(detect.context), EAbort);
  EXPECT_TRUE(Rows().empty());
  ExpectNextStillUsable(detect);
  EXPECT_FALSE(detect.http.Connected());
}

TEST_F(UpdateDetectionTest, ModulesInCatalogueOrderAndSectionlessModulesPassedOver) {
  tree.File("B/B.exe");
  tree.File("B/b.dll");
  tree.File("A/A.exe");
  tree.File("A/a.dll");
  tree.File("C/C.exe");
  Detect(
      "[modules]\r\nB=B.exe\r\nC=C.exe\r\nA=A.exe\r\n"
      "[A]\r\nLib=1.0.002,a.dll\r\n[B]\r\nLib=1.0.002,b.dll\r\n");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"B,Lib,B.exe,b.dll,1.0.001,1.0.002,N,N,1",
                                              "A,Lib,A.exe,a.dll,1.0.001,1.0.002,N,N,0"}));
}

}  // namespace
