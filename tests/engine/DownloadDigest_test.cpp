// Per-file SHA-256 and size through the download path: the entry's digest
// and size fields are read again from the catalogue copy, the body is hashed
// as it arrives and cut at the first byte past the signed size, and only a
// file that matches both is staged; one that does not is deleted at once
// and named in the closing text.  An entry whose digest or size field is
// malformed, or that lacks either in a signed catalogue, is never fetched,
// and no row whose fields a comma shifted is fetched either.
#include <gtest/gtest.h>

#include "SigningKey.h"
#include "StagedInstallFixture.h"
#include "engine/DownloadStaging.h"
#include "engine/DownloadVerdict.h"
#include "engine/TransferProgress.h"
#include "support/ScriptedServer.h"

namespace {

const std::string kNew = "new report";
const std::string kGoodHash = Sha256FieldOf(kNew);
const std::string kGoodSize = "size=10";

// One Update run over a checked row for ModA's Report.dll, served new.
struct TDigestRun {
  ScriptedServer server;
  TTempTree tree;
  TEngineRig rig{tree.Root, server.Url("/")};

  explicit TDigestRun(bool signedCatalogue = false) {
    if (signedCatalogue) rig.Context.CatalogueKey = kTestPublicKey;
    rig.ReportTransfers();
    tree.Write("A/ModA.exe", "program");
    tree.Write("A/Report.dll", "old");
    rig.Folders({"A"});
    server.AddFile("/download/Report.dll", kNew);
  }
  // The catalogue copy's entry has these fields after the version and the file.
  void Update(const std::string& moreFields) {
    tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,Report.dll" +
                                   moreFields + "\r\n");
    rig.Window.AddRow("ModA,Main,ModA.exe,Report.dll,1.0.001,2.0.000,N,N,0");
    rig.Window.SetRowChecked(0, true);
    DownloadTheFiles(rig.Context);
  }
  bool Installed() const { return tree.Read("A/Report.dll") == kNew; }
  std::vector<std::string> Boxes() const { return rig.Window.boxes; }
};

const std::vector<std::string> kFinished{"Finished. "};
const std::string kFinishedWithErrors = std::string("Finished. ") + kDownloadErrorNote;
const std::vector<std::string> kReportFailed{
    kFinishedWithErrors + " These files failed their check and were not installed: Report.dll."};

}  // namespace

TEST(DownloadDigestTest, AMatchingDigestAndSizeAreInstalled) {
  for (const bool signedCatalogue : {false, true}) {
    TDigestRun run(signedCatalogue);
    run.Update("," + kGoodHash + "," + kGoodSize);
    EXPECT_TRUE(run.Installed());
    EXPECT_EQ(run.Boxes(), kFinished);
  }
}

TEST(DownloadDigestTest, AFileReplacedAfterSigningIsDeletedAndNamed) {
  TDigestRun run;
  run.Update("," + Sha256FieldOf("the file the vendor signed") + "," + kGoodSize);
  EXPECT_FALSE(run.Installed());
  EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
  EXPECT_EQ(run.Boxes(), kReportFailed);
}

TEST(DownloadDigestTest, AFileOfAnotherSizeIsDeletedAndNamed) {
  for (const std::string size : {"size=9", "size=11", "size=0"}) {
    SCOPED_TRACE(size);
    TDigestRun run;
    run.Update("," + size);
    EXPECT_FALSE(run.Installed());
    EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
    EXPECT_EQ(run.Boxes(), kReportFailed);
  }
}

// A server that streams 200 MB for a file signed at 10 bytes: the transfer
// is cut at the first byte too many, nothing of it stays in the program
// folder, and the run goes on to the next row.
TEST(DownloadDigestTest, MoreThanTheSignedSizeIsCutAtOnceAndLeavesNothing) {
  TDigestRun run;
  run.server.AddConnection(ConnectionScript()
                               .ExpectRequest()
                               .Send("HTTP/1.1 200 OK\r\nContent-Length: 209715200\r\n\r\n")
                               .SendGenerated(200u << 20));
  run.tree.Write("A/Other.dll", "old other");
  run.server.AddFile("/download/Other.dll", "new other");
  run.tree.Write("allfiles.ini",
                 "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000,Report.dll," + kGoodHash +
                     "," + kGoodSize + "\r\nOther=2.0.000,Other.dll" + SignedFieldsOf("new other") +
                     "\r\n");
  run.rig.Window.AddRow("ModA,Main,ModA.exe,Report.dll,1.0.001,2.0.000,N,N,0");
  run.rig.Window.AddRow("ModA,Other,ModA.exe,Other.dll,1.0.001,2.0.000,N,N,0");
  run.rig.Window.SetRowChecked(0, true);
  run.rig.Window.SetRowChecked(1, true);
  int64_t largestWrite = 0;
  run.rig.Http.OnWork = [&](THttpClient*, TWorkMode, int64_t count) {
    largestWrite = std::max(largestWrite, count);
    HttpClientWork(run.rig.Context, count);
  };
  DownloadTheFiles(run.rig.Context);
  EXPECT_TRUE(run.server.WaitFor([&] { return run.server.ClientClosed(0); }));
  EXPECT_LT(largestWrite, 1 << 20);  // cut in its first megabyte, not after 200
  EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
  EXPECT_EQ(run.tree.Read("A/Other.dll"), "new other");
  EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
  EXPECT_EQ(run.Boxes(), kReportFailed);
}

TEST(DownloadDigestTest, AnEntryWithoutDigestKeepsTheLengthCheckAlone) {
  TDigestRun run;
  run.Update(",x,beta=1,md5=00,shadow=1,sizes=3");  // fields that are no claim stay ignored
  EXPECT_TRUE(run.Installed());
}

TEST(DownloadDigestTest, AnEntryNothingCanVouchForIsNeverFetched) {
  const std::string digits = DigestHex(Sha256(kNew));
  struct TCase {
    const char* what;
    std::string fields;
    bool signedCatalogue;
  };
  const std::vector<TCase> cases = {
      {"63 digits", ",sha256=" + digits.substr(1), false},
      {"upper-case digits", ",sha256=" + std::string(64, 'A'), false},
      {"upper-case name", ",SHA256=" + digits, false},
      {"two digest fields", "," + kGoodHash + "," + kGoodHash, false},
      {"an unknown digest", ",sha512=" + digits + digits, false},
      {"a digest without its digits", ",x, sha-1= ", false},
      {"a size that is no number", ",size=ten", false},
      {"a negative size", ",size=-10", false},
      {"a size beyond 64 bits", ",size=99999999999999999999", false},
      {"an upper-case size", ",Size=10", false},
      {"two sizes", ",size=10,size=10", false},
      {"a signed catalogue's entry without digest", "," + kGoodSize, true},
      {"a signed catalogue's entry without size", "," + kGoodHash, true},
      {"a signed catalogue's entry with an empty digest", ",sha256=," + kGoodSize, true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.what);
    TDigestRun run(test.signedCatalogue);
    run.Update(test.fields);
    EXPECT_TRUE(run.server.RequestLines().empty());
    EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
    EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
    EXPECT_EQ(run.Boxes(), kReportFailed);
  }
}

// "ModC=Acme, Inc\ModC.exe": the comma in the program file shifts every
// later field of the row.  Read by position, the row would fetch the wrong
// file, check it against another component's digest and stage it under a
// wrong version; it is not fetched at all, and the run says so.
TEST(DownloadDigestTest, ARowThatACommaShiftedIsNeverFetched) {
  for (const bool signedCatalogue : {false, true}) {
    SCOPED_TRACE(signedCatalogue ? "signed" : "unsigned");
    TDigestRun run(signedCatalogue);
    run.tree.Write("C/Acme, Inc/ModC.exe", "program");
    run.tree.Write("C/ModC.exe", "old C");
    run.server.AddFile("/download/ModC.exe", "new C");
    run.server.AddFile("/download/ModC.exe,1.0.001", "wrong");
    run.tree.Write("allfiles.ini",
                   "[modules]\r\nModC=Acme, Inc\\ModC.exe\r\n[ModC]\r\nMain=2.0.000,ModC.exe" +
                       SignedFieldsOf("new C") + "\r\n");
    run.rig.Window.AddRow("ModC,Main,Acme, Inc\\ModC.exe,ModC.exe,1.0.001,2.0.000,N,N,0");
    run.rig.Window.SetRowChecked(0, true);
    DownloadTheFiles(run.rig.Context);
    EXPECT_TRUE(run.server.RequestLines().empty());
    EXPECT_EQ(run.tree.Read("C/ModC.exe"), "old C");
    EXPECT_EQ(run.tree.Listing(), "A C allfiles.ini");
    EXPECT_EQ(run.Boxes(),
              std::vector<std::string>{kFinishedWithErrors +
                                       " These files failed their check and were not installed: "
                                       "Inc\\ModC.exe."});
  }
}

// In a build with a root the entry must still be the one the row was built
// from: a row that offers another version or file than the signed entry
// borrows nothing from it.
TEST(DownloadDigestTest, ARowThatIsNotItsSignedEntryIsNeverFetched) {
  for (const std::string entry : {"Main=2.0.001,Report.dll", "Main=2.0.000,Other.dll"}) {
    SCOPED_TRACE(entry);
    TDigestRun run(true);
    run.tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\n" + entry + "," +
                                       kGoodHash + "," + kGoodSize + "\r\n");
    run.rig.Window.AddRow("ModA,Main,ModA.exe,Report.dll,1.0.001,2.0.000,N,N,0");
    run.rig.Window.SetRowChecked(0, true);
    DownloadTheFiles(run.rig.Context);
    EXPECT_TRUE(run.server.RequestLines().empty());
    EXPECT_EQ(run.Boxes(), kReportFailed);
  }
}

TEST(DownloadVerdictTest, TheLengthMustHoldWhateverTheDigestAndSize) {
  const TSha256Digest digest = Sha256(kNew);
  const engine::TExpectedFile withDigest{engine::TExpectedFile::kLengthAndSha256, digest, 10};
  EXPECT_TRUE(engine::DownloadIsGood(withDigest, 10, 10, digest));
  EXPECT_FALSE(engine::DownloadIsGood(withDigest, 11, 10, digest));
  EXPECT_FALSE(engine::DownloadIsGood(withDigest, 10, 10, Sha256("other")));
  const engine::TExpectedFile sizeOnly{engine::TExpectedFile::kLengthOnly, {}, 10};
  EXPECT_FALSE(engine::DownloadIsGood(sizeOnly, 9, 9, digest));
  EXPECT_TRUE(engine::DownloadIsGood(sizeOnly, 10, 10, digest));
  const engine::TExpectedFile lengthOnly{};
  EXPECT_TRUE(engine::DownloadIsGood(lengthOnly, 10, 10, Sha256("other")));
  EXPECT_FALSE(engine::DownloadIsGood(lengthOnly, 0, 10, digest));
  const engine::TExpectedFile untrusted{engine::TExpectedFile::kUntrusted, digest, 10};
  EXPECT_FALSE(engine::DownloadIsGood(untrusted, 10, 10, digest));
}
