// Per-file SHA-256 through the download path: the entry's digest field is
// read again from the catalogue copy, the body is hashed as it arrives, and
// only a file whose digest matches is staged.  An entry whose digest field
// is malformed, or that has none in a signed catalogue, is never fetched.
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
const std::vector<std::string> kFinishedWithErrors{std::string("Finished. ") + kDownloadErrorNote};

}  // namespace

TEST(DownloadDigestTest, AMatchingDigestIsInstalled) {
  for (const bool signedCatalogue : {false, true}) {
    TDigestRun run(signedCatalogue);
    run.Update("," + kGoodHash);
    EXPECT_TRUE(run.Installed());
    EXPECT_EQ(run.Boxes(), kFinished);
  }
}

TEST(DownloadDigestTest, AFileReplacedAfterSigningIsNeverStaged) {
  TDigestRun run;
  run.Update("," + Sha256FieldOf("the file the vendor signed"));
  EXPECT_FALSE(run.Installed());
  EXPECT_EQ(run.tree.Listing(), "A Report.dll.{S} allfiles.ini");  // as after a short body
  EXPECT_EQ(run.Boxes(), kFinishedWithErrors);
}

TEST(DownloadDigestTest, AnEntryWithoutDigestKeepsTheLengthCheckAlone) {
  TDigestRun run;
  run.Update(",x,beta=1,md5=00,shadow=1");  // fields that are no digest fields stay ignored
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
      {"a signed catalogue's entry without digest", "", true},
      {"a signed catalogue's entry with an empty one", ",sha256=", true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.what);
    TDigestRun run(test.signedCatalogue);
    run.Update(test.fields);
    EXPECT_TRUE(run.server.RequestLines().empty());
    EXPECT_EQ(run.tree.Read("A/Report.dll"), "old");
    EXPECT_EQ(run.tree.Listing(), "A allfiles.ini");
    EXPECT_EQ(run.Boxes(), kFinishedWithErrors);
  }
}

TEST(DownloadVerdictTest, TheLengthMustHoldWhateverTheDigest) {
  const TSha256Digest digest = Sha256(kNew);
  const engine::TExpectedFile withDigest{engine::TExpectedFile::kLengthAndSha256, digest};
  EXPECT_TRUE(engine::DownloadIsGood(withDigest, 10, 10, digest));
  EXPECT_FALSE(engine::DownloadIsGood(withDigest, 11, 10, digest));
  EXPECT_FALSE(engine::DownloadIsGood(withDigest, 10, 10, Sha256("other")));
  const engine::TExpectedFile lengthOnly{};
  EXPECT_TRUE(engine::DownloadIsGood(lengthOnly, 10, 10, Sha256("other")));
  EXPECT_FALSE(engine::DownloadIsGood(lengthOnly, 0, 10, digest));
  const engine::TExpectedFile untrusted{engine::TExpectedFile::kUntrusted, digest};
  EXPECT_FALSE(engine::DownloadIsGood(untrusted, 10, 10, digest));
}
