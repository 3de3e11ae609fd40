// Updates by patch and by compressed copy through the Update button's own
// path: the installed copy picks the patch, the rebuilt file is checked like
// a whole one, and anything that goes wrong with the smaller route gives way
// to the whole file in the same run, with the plain "Finished. " and nothing
// left behind.  An abort stays an abort, and an entry that offers nothing
// smaller costs not one request more than it ever did.
#include <gtest/gtest.h>

#include "SigningKey.h"
#include "StagedInstallFixture.h"
#include "engine/CompanionFile.h"
#include "engine/DeltaEncoder.h"
#include "engine/DeltaOffer.h"
#include "engine/DownloadStaging.h"
#include "engine/TransferProgress.h"
#include "platform/FileSeam.h"
#include "platform/Files.h"
#include "support/ReleaseData.h"
#include "support/ScriptedServer.h"

namespace {

using releasedata::Bytes;

// Two releases of Report.dll and the smaller files that lead from one to the
// other, made once for all the cases.
struct TReleases {
  std::string Old = releasedata::ProgramLike(256 << 10, 1);
  std::string New = releasedata::NextRelease(Old, 2);
  std::string Patch = engine::Patch(Bytes(Old), Bytes(New), 3);
  std::string Copy = engine::CompressedCopy(Bytes(New), 3);
  // A patch from the old release that rebuilds a file of the new one's size
  // that is not the new one.
  std::string WrongPatch =
      engine::Patch(Bytes(Old), Bytes(releasedata::NextRelease(Old, 3).substr(0, New.size())), 3);
  std::string OldPrefix = engine::DigestPrefix(Sha256(Old));
};
const TReleases& Releases() {
  static const TReleases releases;
  return releases;
}

const std::string kWhole = "/download/Report.dll";
std::string PatchUrl(const std::string& basePrefix = Releases().OldPrefix) {
  return "/download/" + engine::PatchPath("Report.dll", basePrefix, Sha256(Releases().New));
}
std::string CopyUrl() {
  return "/download/" + engine::CompressedCopyPath("Report.dll", Sha256(Releases().New));
}
std::string Get(const std::string& url) { return "GET " + url + " HTTP/1.1"; }

std::string Response(const std::string& body, const std::string& more = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + more +
         "\r\n" + body;
}
// A response that announces the whole body and closes after `sent` bytes of it.
std::string CutResponse(const std::string& body, size_t sent) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body.substr(0, sent);
}

const std::vector<std::string> kFinished{"Finished. "};

// One Update run over a checked row for ModA's Report.dll, installed at the
// old release in folder A, the whole new release on the server.
struct TSmallerRun {
  TSmallerRun() {
    rig.Http.OnWorkBegin = [this](THttpClient*, TWorkMode, int64_t max) {
      announced.push_back(max);
      HttpClientWorkBegin(rig.Context, max);
    };
    rig.Http.OnWork = [this](THttpClient*, TWorkMode, int64_t count) {
      if (exitDuringTransfer) rig.Window.SetTag(99);  // Exit pressed
      HttpClientWork(rig.Context, count);
    };
    rig.Http.OnWorkEnd = [this](THttpClient*, TWorkMode) { HttpClientWorkEnd(rig.Context); };
    Install("A", Releases().Old);
    rig.Folders({"A"});
    server.AddFile(kWhole, Releases().New);
  }

  void Install(const std::string& folder, const std::string& content) const {
    tree.Write(folder + "/ModA.exe", "program");
    tree.Write(folder + "/Report.dll", content);
    tree.Write(folder + "/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  }
  // The catalogue copy's entry signs the new release and has these fields
  // after its digest and size.
  void Offer(const std::string& fields, const std::string& signedFields = "") {
    const std::string vouching =
        signedFields.empty() ? SignedFieldsOf(Releases().New) : signedFields;
    tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,Report.dll" +
                                   vouching + fields + "\r\n");
  }
  void Update(const std::string& folderIndexes = "0") {
    rig.Window.AddRow("ModA,Main,ModA.exe,Report.dll,1.0.001,2.0.000,N,N," + folderIndexes);
    rig.Window.SetRowChecked(0, true);
    DownloadTheFiles(rig.Context);
  }
  bool InstalledNew(const std::string& folder = "A") const {
    return tree.Read(folder + "/Report.dll") == Releases().New &&
           RecordedVersion(tree, folder, "ModA", "Main") == "2.0.000";
  }
  // The whole file installed after the smaller route at `url` failed, as
  // if nothing had happened.
  void ExpectFellBackFrom(const std::string& url) const {
    EXPECT_TRUE(InstalledNew());
    EXPECT_EQ(rig.Window.boxes, kFinished);
    EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
    EXPECT_EQ(tree.Listing(), "A allfiles.ini");
    EXPECT_EQ(server.RequestLines(), (std::vector<std::string>{Get(url), Get(kWhole)}));
  }

  ScriptedServer server;
  TTempTree tree;
  TEngineRig rig{tree.Root, server.Url("/")};
  std::vector<int64_t> announced;  // each transfer's announced length
  bool exitDuringTransfer = false;
};

// ---- the smaller routes taken -------------------------------------------

TEST(SmallerDownloadTest, APatchFromTheInstalledCopyIsAppliedAndFetchesFewerBytes) {
  for (const bool signedCatalogue : {false, true}) {
    SCOPED_TRACE(signedCatalogue);
    TSmallerRun run;
    if (signedCatalogue) run.rig.Context.CatalogueKey = kTestPublicKey;
    run.server.AddFile(PatchUrl(), Releases().Patch);
    run.server.AddFile(CopyUrl(), Releases().Copy);
    run.Offer(",zst,patch=0123456789abcdef,patch=" + Releases().OldPrefix);
    run.Update();
    EXPECT_TRUE(run.InstalledNew());
    EXPECT_EQ(run.rig.Window.boxes, kFinished);
    EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(PatchUrl())});
    // The bar counted the patch's bytes, a small part of the file's.
    EXPECT_EQ(run.announced, std::vector<int64_t>{static_cast<int64_t>(Releases().Patch.size())});
    EXPECT_LT(Releases().Patch.size() * 10, Releases().New.size());
    EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
  }
}

TEST(SmallerDownloadTest, AnInstalledCopyThatNoPatchStartsFromTakesTheCompressedCopy) {
  TSmallerRun run;
  run.tree.Write("A/Report.dll", "a build of the user's own");
  run.server.AddFile(CopyUrl(), Releases().Copy);
  run.Offer(",zst,patch=" + Releases().OldPrefix);
  run.Update();
  EXPECT_TRUE(run.InstalledNew());
  EXPECT_EQ(run.rig.Window.boxes, kFinished);
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(CopyUrl())});
  EXPECT_EQ(run.announced, std::vector<int64_t>{static_cast<int64_t>(Releases().Copy.size())});
}

TEST(SmallerDownloadTest, AnInstalledCopyThatNoPatchStartsFromAndNoCompressedCopyTakeTheFile) {
  TSmallerRun run;
  run.tree.Write("A/Report.dll", "a build of the user's own");
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  EXPECT_TRUE(run.InstalledNew());
  EXPECT_EQ(run.rig.Window.boxes, kFinished);
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(kWhole)});
}

// An empty file is one frame that writes nothing: it still ends as a file.
TEST(SmallerDownloadTest, AnEmptyFileIsRebuiltFromItsCompressedCopy) {
  TSmallerRun run;
  run.server.AddFile("/download/" + engine::CompressedCopyPath("Report.dll", Sha256("")),
                     engine::CompressedCopy({}));
  run.tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,Report.dll" +
                                     SignedFieldsOf("") + ",zst\r\n");
  run.Update();
  EXPECT_EQ(run.rig.Window.boxes, kFinished);
  EXPECT_EQ(run.server.RequestLines().size(), 1u);
  EXPECT_TRUE(run.tree.Exists("A/Report.dll"));
  EXPECT_EQ(run.tree.Read("A/Report.dll"), "");
}

// The staged file's record holds the digest of the rebuilt file, so it is
// checked again before it is installed like any other.
TEST(SmallerDownloadTest, TheStagedRecordHoldsTheRebuiltFilesDigest) {
  TSmallerRun run;
  run.server.AddFile(PatchUrl(), Releases().Patch);
  run.Offer(",patch=" + Releases().OldPrefix);
  FailNextMoveOfAStagedFile();  // it stays staged, with its companion
  run.Update();
  platform::DisarmFileFaultForTesting();
  ASSERT_TRUE(run.tree.Exists("Report.dll.V.2.0.000"));
  const auto record =
      engine::ReadStagedRecord(engine::ReadCompanionLines(run.tree.Path("Report.dll.V.2.0.000")));
  ASSERT_EQ(record.Kind, engine::TRecordLines::kRecord);
  EXPECT_EQ(record.Record, (engine::TStagedRecord{Sha256(Releases().New),
                                                  static_cast<int64_t>(Releases().New.size())}));
  EXPECT_EQ(run.tree.Read("Report.dll.{F}"), Releases().New);
}

// ---- the fallback to the whole file ---------------------------------------

TEST(SmallerDownloadTest, APatchThatIsMissingGivesWayToTheWholeFileOnTheSameConnection) {
  TSmallerRun run;
  run.Offer(",patch=" + Releases().OldPrefix);  // named, but not on the server
  run.Update();
  run.ExpectFellBackFrom(PatchUrl());
  EXPECT_EQ(run.server.ConnectionsAccepted(), 1);  // the 404 was read whole
}

TEST(SmallerDownloadTest, APatchRefusedWithAnyOtherStatusGivesWayToTheWholeFile) {
  TSmallerRun run;
  run.server.AddRoute(PatchUrl(), "HTTP/1.1 500 Oops\r\nContent-Length: 4\r\n\r\nOops");
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  run.ExpectFellBackFrom(PatchUrl());
}

TEST(SmallerDownloadTest, APatchCutShortGivesWayToTheWholeFile) {
  const std::string& patch = Releases().Patch;
  for (const size_t sent : {size_t{0}, size_t{10}, patch.size() / 2, patch.size() - 1}) {
    SCOPED_TRACE(sent);
    TSmallerRun run;
    run.server.AddRoute(PatchUrl(), CutResponse(patch, sent));
    run.Offer(",patch=" + Releases().OldPrefix);
    run.Update();
    run.ExpectFellBackFrom(PatchUrl());
  }
}

TEST(SmallerDownloadTest, APatchWhoseConnectionIsResetGivesWayToTheWholeFile) {
  TSmallerRun run;
  const std::string& patch = Releases().Patch;
  run.server.AddConnection(ConnectionScript()
                               .ExpectRequest()
                               .Send(Response(patch).substr(0, Response(patch).size() / 2))
                               .Reset());
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  EXPECT_TRUE(run.InstalledNew());
  EXPECT_EQ(run.rig.Window.boxes, kFinished);
  EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
  EXPECT_EQ(run.server.Received(0).substr(0, Get(PatchUrl()).size()), Get(PatchUrl()));
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(kWhole)});
}

// A corrupt patch is refused as soon as it shows, and its connection, with
// the rest of the body unread, is closed: the whole file comes on a new one.
TEST(SmallerDownloadTest, ACorruptPatchGivesWayToTheWholeFileOnANewConnection) {
  for (const size_t at : {size_t{0}, size_t{20}, Releases().Patch.size() / 2}) {
    SCOPED_TRACE(at);
    TSmallerRun run;
    std::string corrupt = Releases().Patch;
    corrupt[at] = static_cast<char>(corrupt[at] ^ 0x21);
    run.server.AddFile(PatchUrl(), corrupt);
    run.Offer(",patch=" + Releases().OldPrefix);
    run.Update();
    run.ExpectFellBackFrom(PatchUrl());
    EXPECT_EQ(run.server.ConnectionsAccepted(), 2);
  }
}

TEST(SmallerDownloadTest, APatchThatRebuildsAnotherFileGivesWayToTheWholeFile) {
  TSmallerRun run;
  run.server.AddFile(PatchUrl(), Releases().WrongPatch);
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  run.ExpectFellBackFrom(PatchUrl());
}

// A response that cannot be read leaves the rest of itself on the
// connection: the whole file comes on a new one.
TEST(SmallerDownloadTest, APatchWhoseResponseCannotBeReadGivesWayToTheWholeFileOnANewConnection) {
  TSmallerRun run;
  run.server.AddConnection(ConnectionScript().ExpectRequest().Send(
      "HTTP/1.1 200 OK\r\nX-Padding: " + std::string(20000, 'a') +
      "\r\nContent-Length: 5\r\n\r\nhello"));
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  EXPECT_TRUE(run.InstalledNew());
  EXPECT_EQ(run.rig.Window.boxes, kFinished);
  EXPECT_EQ(run.server.ConnectionsAccepted(), 2);
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(kWhole)});
}

// What a failed patch wrote is gone before the whole file is asked for, so
// it stays gone when the whole file fails before it writes anything.
TEST(SmallerDownloadTest, NothingOfAFailedPatchStaysWhenTheWholeFileFailsToo) {
  std::string corrupt = Releases().Patch;
  corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x21);
  for (const std::string& patch : {corrupt, Releases().WrongPatch}) {
    TSmallerRun run;
    run.server.AddFile(PatchUrl(), patch);
    run.server.AddRoute(kWhole, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    run.Offer(",patch=" + Releases().OldPrefix);
    EXPECT_THROW(run.Update(), EHttpProtocolException);
    EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
    EXPECT_EQ(run.tree.Read("A/Report.dll"), Releases().Old);
  }
}

// A patch that would write more than the signed size is refused before it
// writes a byte past it, and the whole file is used.
TEST(SmallerDownloadTest, APatchThatWouldExpandPastTheSignedSizeIsRefused) {
  TSmallerRun run;
  const std::string larger = Releases().New + "and then some";
  run.server.AddFile(PatchUrl(), engine::Patch(Bytes(Releases().Old), Bytes(larger), 3));
  run.Offer(",patch=" + Releases().OldPrefix);
  int64_t largestPartial = 0;
  run.rig.Http.OnWork = [&](THttpClient*, TWorkMode, int64_t count) {
    largestPartial = std::max(largestPartial, platform::FileSize(run.tree.Path("Report.dll.{S}")));
    HttpClientWork(run.rig.Context, count);
  };
  run.Update();
  run.ExpectFellBackFrom(PatchUrl());
  EXPECT_LE(largestPartial, static_cast<int64_t>(Releases().New.size()));
}

TEST(SmallerDownloadTest, ACompressedCopyThatFailsGivesWayToTheWholeFile) {
  std::string corrupt = Releases().Copy;
  corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x40);
  const std::vector<std::string> failures = {
      Response(corrupt), CutResponse(Releases().Copy, Releases().Copy.size() / 3),
      "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
  for (const std::string& failure : failures) {
    TSmallerRun run;
    run.server.AddRoute(CopyUrl(), failure);
    run.Offer(",zst");
    run.Update();
    run.ExpectFellBackFrom(CopyUrl());
  }
}

// Only the whole file's failure is the download error.
TEST(SmallerDownloadTest, AWholeFileThatFailsAfterThePatchIsTheDownloadError) {
  TSmallerRun run;
  run.server.AddRoute(kWhole, "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew");
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  EXPECT_EQ(run.tree.Read("A/Report.dll"), Releases().Old);
  EXPECT_EQ(run.rig.Window.boxes,
            std::vector<std::string>{std::string("Finished. ") + kDownloadErrorNote +
                                     " These files failed their check and were not installed: "
                                     "Report.dll."});
  EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
}

// ---- what stays as it was ---------------------------------------------------

TEST(SmallerDownloadTest, ExitDuringAPatchTransferAbortsWithoutFallingBack) {
  TSmallerRun run;
  run.server.AddFile(PatchUrl(), Releases().Patch);
  run.Offer(",patch=" + Releases().OldPrefix);
  run.exitDuringTransfer = true;
  run.Update();
  EXPECT_EQ(run.rig.Window.boxes, std::vector<std::string>{"Download Aborted"});
  EXPECT_EQ(run.rig.Window.StatusLine(), "Download Aborted");
  EXPECT_EQ(run.rig.Window.terminationRequests, 0);
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(PatchUrl())});
  EXPECT_FALSE(run.rig.Http.Connected());
  EXPECT_EQ(run.tree.Read("A/Report.dll"), Releases().Old);
  EXPECT_FALSE(run.tree.Exists("Report.dll.{F}"));
}

// Whether the installed copy is read: an open of it, seen by the file seam.
bool InstalledCopyOpened() {
  for (const auto& record : platform::RecordedFileOperationsForTesting())
    if (record.Op == platform::TFileOp::OpenToRead && record.Path.ends_with("/Report.dll"))
      return true;
  return false;
}

// Without a patch on offer, nothing is hashed, and without anything smaller
// nothing more is asked of the server than the file itself.
TEST(SmallerDownloadTest, AnEntryWithoutPatchesNeitherReadsTheCopyNorAsksForMore) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"", ""},                               // nothing smaller on offer
      {",x,patch=,patch=12,zstd", ""},        // fields that name nothing
      {",zst,patch=" + Releases().OldPrefix,  // no size to bound a rebuild
       "," + Sha256FieldOf(Releases().New)},
  };
  for (const auto& [fields, vouching] : entries) {
    SCOPED_TRACE(fields);
    TSmallerRun run;
    run.Offer(fields, vouching);
    platform::RecordFileOperationsForTesting(true);
    run.Update();
    platform::RecordFileOperationsForTesting(false);
    EXPECT_FALSE(InstalledCopyOpened());
    EXPECT_TRUE(run.InstalledNew());
    EXPECT_EQ(run.rig.Window.boxes, kFinished);
    EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(kWhole)});
  }
  TSmallerRun copyOnly;
  copyOnly.server.AddFile(CopyUrl(), Releases().Copy);
  copyOnly.Offer(",zst");
  platform::RecordFileOperationsForTesting(true);
  copyOnly.Update();
  platform::RecordFileOperationsForTesting(false);
  EXPECT_FALSE(InstalledCopyOpened());
  EXPECT_EQ(copyOnly.server.RequestLines(), std::vector<std::string>{Get(CopyUrl())});
}

// ---- which installed copy counts --------------------------------------------

// A module in two folders: the first installation folder's copy picks the
// patch (it is the one detection examined and the one replaced); the other
// folder's copy counts for nothing.
TEST(SmallerDownloadTest, OnlyTheFirstInstallationFoldersCopyPicksThePatch) {
  TSmallerRun run;
  run.Install("B", Releases().Old);
  run.tree.Write("A/Report.dll", "a build of the user's own");
  run.rig.Folders({"A", "B"});
  run.server.AddFile(PatchUrl(), Releases().Patch);
  run.server.AddFile(CopyUrl(), Releases().Copy);
  run.Offer(",zst,patch=" + Releases().OldPrefix);
  run.Update("0|1");
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(CopyUrl())});
  EXPECT_TRUE(run.InstalledNew("A"));
  EXPECT_EQ(run.tree.Read("B/Report.dll"), Releases().Old);

  TSmallerRun second;
  second.Install("B", "a build of the user's own");
  second.rig.Folders({"A", "B"});
  second.server.AddFile(PatchUrl(), Releases().Patch);
  second.Offer(",zst,patch=" + Releases().OldPrefix);
  second.Update("0|1");
  EXPECT_EQ(second.server.RequestLines(), std::vector<std::string>{Get(PatchUrl())});
  EXPECT_TRUE(second.InstalledNew("A"));
}

// A link in place of the installed copy is not read, whoever made it: the
// copy it leads to could be any file the updater may read.
TEST(SmallerDownloadTest, ALinkInPlaceOfTheInstalledCopyIsNoBase) {
  TSmallerRun run;
  run.tree.Write("elsewhere/Report.dll", Releases().Old);
  std::filesystem::remove(run.tree.Path("A/Report.dll"));
  std::filesystem::create_symlink(run.tree.Path("elsewhere/Report.dll"),
                                  run.tree.Path("A/Report.dll"));
  run.server.AddFile(PatchUrl(), Releases().Patch);
  run.Offer(",patch=" + Releases().OldPrefix);
  run.Update();
  EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(kWhole)});
  EXPECT_EQ(run.rig.Window.boxes, kFinished);
}

// Folder indexes that name no folder of the list leave no base either.
TEST(SmallerDownloadTest, FolderIndexesThatNameNoFolderLeaveNoBase) {
  for (const std::string indexes : {"7", "x", "-1"}) {
    SCOPED_TRACE(indexes);
    TSmallerRun run;
    run.server.AddFile(PatchUrl(), Releases().Patch);
    run.Offer(",patch=" + Releases().OldPrefix);
    run.Update(indexes);
    EXPECT_EQ(run.server.RequestLines(), std::vector<std::string>{Get(kWhole)});
  }
}

}  // namespace
