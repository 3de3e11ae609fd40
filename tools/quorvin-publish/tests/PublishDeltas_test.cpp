// quorvin-publish's smaller downloads as the vendor makes them, through its
// command line: an archive of earlier releases, sign --archive making the
// compressed copies and patches, verify checking each, archive and prune.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PublishToolRun.h"
#include "support/ReleaseData.h"

namespace {

const std::string kQuick = "--level 3 ";  // the format is the same at every level

std::string Prefix(const std::string& content) { return Hex(content).substr(0, 16); }

// Three releases of App: Main changes in each, Help in none.
class PublishDeltasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Key = Server.Keygen();
    Main.push_back(releasedata::ProgramLike(300000, 1));
    Main.push_back(releasedata::NextRelease(Main[0], 2));
    Main.push_back(releasedata::NextRelease(Main[1], 3));
    Help = releasedata::ProgramLike(50000, 4);
    fs::create_directories(Archive);
  }

  // Lays out release `index`, its catalogue carrying the serial of the last
  // one signed so that the new serial is later however fast the tests run.
  void LayOut(size_t index) {
    const std::string signedBefore =
        Server.Exists("download/allfiles.ini.sig")
            ? Server.Catalogue().substr(Server.Catalogue().find("[release]"))
            : "";
    Server.Write("download/allfiles.ini",
                 "[modules]\r\nApp=App.exe\r\n[App]\r\nMain=1.0.00" + std::to_string(index) +
                     ",bin\\main.bin\r\nHelp=1.0.000,help.bin\r\n" +
                     signedBefore.substr(0, signedBefore.find("Expires=")));
    Server.Write("download/main.bin", Main[index]);
    Server.Write("download/help.bin", Help);
  }

  // Signs release `index` with the archive, checks it, then archives it.
  void Release(size_t index, const std::string& options = "") {
    LayOut(index);
    const TResult made = Server.Sign("--archive " + Archive + " " + kQuick + options);
    ASSERT_EQ(made.status, 0) << made.output;
    const TResult verified = VerifyWithArchive();
    ASSERT_EQ(verified.status, 0) << verified.output;
    const TResult archived = Publish("archive " + Server.Root + " " + Archive);
    ASSERT_EQ(archived.status, 0) << archived.output;
  }
  void PublishThree() {
    for (size_t index = 0; index < 3; ++index) Release(index);
  }

  TResult VerifyWithArchive() const {
    return Publish("verify --archive " + Archive + " " + Key + " " + Server.Root);
  }
  // The entry of component `key` as the catalogue holds it.
  std::string Entry(const std::string& key) const {
    const std::string catalogue = Server.Catalogue();
    const size_t at = catalogue.find("\r\n" + key + "=") + 3 + key.size();
    return catalogue.substr(at, catalogue.find("\r\n", at) - at);
  }
  std::string Patch(size_t from, size_t to) const {
    return "download/delta/main.bin." + Prefix(Main[from]) + "." + Prefix(Main[to]) + ".patch";
  }
  std::string Copy(const std::string& content, const std::string& bare = "main.bin") const {
    return "download/delta/" + bare + "." + Prefix(content) + ".zst";
  }
  std::vector<std::string> DeltaFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Server.Root + "/download/delta"))
      names.push_back("download/delta/" + entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TServer Server;
  std::string Key;
  std::string Archive = Server.Root + "/archive";
  std::vector<std::string> Main;
  std::string Help;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(PublishDeltasTest, AThirdReleaseGetsACompressedCopyAndPatchesFromTheTwoEarlierVersions) {
  PublishThree();
  const std::string signedFields =
      "sha256=" + Hex(Main[2]) + ",size=" + std::to_string(Main[2].size());
  EXPECT_EQ(Entry("Main"), "1.0.002,bin\\main.bin," + signedFields +
                               ",zst,patch=" + Prefix(Main[1]) + ",patch=" + Prefix(Main[0]));
  // Help did not change: no earlier version of it differs, so no patch.
  EXPECT_EQ(Entry("Help"), "1.0.000,help.bin,sha256=" + Hex(Help) + ",size=50000,zst");
  for (const std::string& file : {Copy(Main[2]), Copy(Help, "help.bin"), Patch(1, 2), Patch(0, 2)})
    EXPECT_TRUE(Server.Exists(file)) << file;
  EXPECT_LT(fs::file_size(Server.Root + "/" + Patch(1, 2)), Main[2].size() / 10);

  const TResult verified = VerifyWithArchive();
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_TRUE(
      Has(verified.output, "2 component files, 2 compressed copies, 2 patches, under root 1"))
      << verified.output;
  // The files of the first two releases are named by no entry now.
  EXPECT_TRUE(Has(verified.output, "note: 3 files in")) << verified.output;

  // Without the archive the patches' bases are not to be had: named, not failed.
  const TResult unchecked = Server.Verify(Key);
  EXPECT_EQ(unchecked.status, 0) << unchecked.output;
  EXPECT_TRUE(Has(unchecked.output, "NOT CHECKED: [App] Main: the patch from " + Prefix(Main[0]) +
                                        " " + Server.Root + "/" + Patch(0, 2) +
                                        ": no archive given (--archive)"))
      << unchecked.output;
  EXPECT_TRUE(Has(unchecked.output, "2 patches not checked")) << unchecked.output;
}

TEST_F(PublishDeltasTest, KOfOneMakesOnePatchAndPruneLeavesWhatTheCatalogueNames) {
  Release(0);
  Release(1);
  LayOut(2);
  const TResult made = Server.Sign("--archive " + Archive + " --patches 1 " + kQuick);
  ASSERT_EQ(made.status, 0) << made.output;
  EXPECT_TRUE(Has(made.output,
                  "[App] Main (" + std::to_string(Main[2].size()) + " bytes): compressed copy "))
      << made.output;
  EXPECT_TRUE(Has(Entry("Main"), ",zst,patch=" + Prefix(Main[1])));
  EXPECT_FALSE(Has(Entry("Main"), Prefix(Main[0])));

  const TResult pruned = Publish("prune " + Server.Root);
  ASSERT_EQ(pruned.status, 0) << pruned.output;
  EXPECT_TRUE(Has(pruned.output, "3 removed, 3 kept")) << pruned.output;
  std::vector<std::string> expected = {Copy(Main[2]), Copy(Help, "help.bin"), Patch(1, 2)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(DeltaFolder(), expected);
  const TResult verified = VerifyWithArchive();
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_FALSE(Has(verified.output, "note:")) << verified.output;
}

TEST_F(PublishDeltasTest, VerifyFailsOnACorruptPatchAPatchOfAnotherFileAndAMissingFile) {
  PublishThree();
  const std::string patch = Server.Read(Patch(0, 2));

  std::string corrupt = patch;
  corrupt[corrupt.size() / 2] ^= 0x10;
  Server.Write(Patch(0, 2), corrupt);
  TResult verified = VerifyWithArchive();
  EXPECT_EQ(verified.status, 1);
  EXPECT_TRUE(Has(verified.output, "FAIL: [App] Main: the patch from " + Prefix(Main[0]) + " " +
                                       Server.Root + "/" + Patch(0, 2) +
                                       " does not rebuild the file: "))
      << verified.output;
  EXPECT_TRUE(Has(verified.output, "1 check failed")) << verified.output;

  // The patch from the same base to the second release: sound, of another file.
  Server.Write(Patch(0, 2), Server.Read(Patch(0, 1)));
  verified = VerifyWithArchive();
  EXPECT_EQ(verified.status, 1);
  EXPECT_TRUE(Has(verified.output, Patch(0, 2) + " does not rebuild the file")) << verified.output;

  Server.Write(Patch(0, 2), patch);
  ASSERT_EQ(VerifyWithArchive().status, 0);
  fs::remove(Server.Root + "/" + Copy(Main[2]));
  fs::remove(Server.Root + "/" + Patch(1, 2));
  verified = Server.Verify(Key);  // a missing file fails with or without the archive
  EXPECT_EQ(verified.status, 1);
  EXPECT_TRUE(Has(verified.output, "FAIL: [App] Main: the compressed copy " + Server.Root + "/" +
                                       Copy(Main[2]) + " is missing"))
      << verified.output;
  EXPECT_TRUE(Has(verified.output, "FAIL: [App] Main: the patch from " + Prefix(Main[1]) + " " +
                                       Server.Root + "/" + Patch(1, 2) + " is missing"))
      << verified.output;
}

TEST_F(PublishDeltasTest, SignWithoutTheArchiveOffersNoSmallerDownloads) {
  LayOut(0);
  const TResult plain = Server.Sign();
  ASSERT_EQ(plain.status, 0) << plain.output;
  EXPECT_EQ(Entry("Main"), "1.0.000,bin\\main.bin,sha256=" + Hex(Main[0]) + ",size=300000");
  EXPECT_FALSE(Server.Exists("download/delta"));
  EXPECT_EQ(Server.Verify(Key).status, 0);

  // Signed again without it, a catalogue that offered them offers nothing:
  // its fields could name files made for other content.
  Release(0);
  Release(1);
  ASSERT_TRUE(Has(Entry("Main"), "patch="));
  ASSERT_EQ(Server.Sign().status, 0);
  EXPECT_EQ(Entry("Main"), "1.0.001,bin\\main.bin,sha256=" + Hex(Main[1]) +
                               ",size=" + std::to_string(Main[1].size()));
  EXPECT_EQ(Publish("sign --patches 2 " + Server.Root + "/secret.key " + Server.Root).status, 2);
  EXPECT_EQ(Publish("sign --archive " + Archive + " --patches 17 " + Server.Root + "/secret.key " +
                    Server.Root)
                .status,
            2);
}

TEST_F(PublishDeltasTest, ARootBuildsVendorSignsAndVerifiesWithTheArchive) {
  TVendor vendor(Server);
  ASSERT_EQ(vendor.CreateFirst().status, 0);
  for (size_t index = 0; index < 2; ++index) {
    LayOut(index);
    const TResult made = Publish("sign --root " + vendor.FirstRoot() + " --archive " + Archive +
                                 " " + kQuick + vendor.Key("cat-1") + " " + Server.Root);
    ASSERT_EQ(made.status, 0) << made.output;
    ASSERT_EQ(Publish("archive " + Server.Root + " " + Archive).status, 0);
  }
  EXPECT_TRUE(Has(Entry("Main"), ",zst,patch=" + Prefix(Main[0])));
  const TResult verified =
      Publish("verify --archive " + Archive + " --root " + vendor.FirstRoot() + " " + Server.Root);
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_TRUE(Has(verified.output, "2 compressed copies, 1 patch, under root 1"))
      << verified.output;
}

TEST_F(PublishDeltasTest, ArchiveKeepsEachSignedReleaseWholeAndOnce) {
  LayOut(0);
  TResult archived = Publish("archive " + Server.Root + " " + Archive);
  EXPECT_EQ(archived.status, 1);
  EXPECT_TRUE(Has(archived.output, "has no serial: sign the release before archiving it"));

  ASSERT_EQ(Server.Sign().status, 0);
  archived = Publish("archive " + Server.Root + " " + Archive);
  ASSERT_EQ(archived.status, 0) << archived.output;
  const std::string catalogue = Server.Catalogue();
  const size_t serialAt = catalogue.find("Serial=") + 7;
  const std::string serial =
      catalogue.substr(serialAt, catalogue.find("\r\n", serialAt) - serialAt);
  const std::string release = Archive + "/" + serial + "/download/";
  EXPECT_TRUE(Has(archived.output, "archived release " + serial + ": 2 files")) << archived.output;
  EXPECT_EQ(Server.Read("archive/" + serial + "/download/main.bin"), Main[0]);
  EXPECT_EQ(Server.Read("archive/" + serial + "/download/allfiles.ini"), catalogue);
  EXPECT_TRUE(fs::exists(release + "allfiles.ini.sig"));
  EXPECT_TRUE(Has(Publish("archive " + Server.Root + " " + Archive).output, "archived already"));

  // A file changed after signing is not what the release was: nothing is kept.
  Server.Write("download/help.bin", "changed");
  const std::string other = Server.Root + "/other-archive";
  archived = Publish("archive " + Server.Root + " " + other);
  EXPECT_EQ(archived.status, 1);
  EXPECT_TRUE(Has(archived.output, "[App] Help: " + Server.Root +
                                       "/download/help.bin is not the file the catalogue was "
                                       "signed with"))
      << archived.output;
  EXPECT_TRUE(fs::is_empty(other));
}

TEST_F(PublishDeltasTest, AnArchiveThatCannotBeReadStopsTheSigningBeforeAnythingIsWritten) {
  Release(0);
  LayOut(1);
  const std::string before = Server.Catalogue();
  fs::create_directories(Archive + "/broken/download");
  Server.Write("archive/broken/download/allfiles.ini", "[release]\r\nSerial=soon\r\n");
  const TResult refused = Server.Sign("--archive " + Archive + " ");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.output, "broken/download/allfiles.ini")) << refused.output;
  EXPECT_TRUE(Has(refused.output, "nothing was written")) << refused.output;
  EXPECT_EQ(Server.Catalogue(), before);
  EXPECT_FALSE(Server.Exists(Copy(Main[1])));
  EXPECT_EQ(Server.Sign("--archive " + Server.Root + "/nowhere ").status, 1);
}
