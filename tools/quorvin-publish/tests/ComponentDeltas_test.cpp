// The publishing side of smaller downloads on an archive of three earlier
// releases: which earlier versions are found, and the compressed copy and
// patches made from them, each rebuilding the new file exactly.
#include "ComponentDeltas.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "DeltaCheck.h"
#include "ReleaseArchive.h"
#include "platform/TempFolder.h"
#include "support/ReleaseData.h"

using releasedata::Bytes;
using releasedata::NextRelease;
using releasedata::ProgramLike;

namespace {

constexpr int kQuick = 3;  // the format is the same at every level

// Four releases of ModA's Main (m1..m4) and of its Help, which changes once
// (h1 in the first two releases, h2 from the third on).
struct TReleases {
  TReleases() {
    Main.push_back(ProgramLike(400000, 1));
    for (unsigned i = 1; i < 4; ++i) Main.push_back(NextRelease(Main.back(), 10 + i));
    Help = {ProgramLike(50000, 2), ProgramLike(50000, 3)};
  }
  std::vector<std::string> Main;
  std::vector<std::string> Help;
};

std::string Catalogue(uint64_t serial, const std::string& extra = "") {
  return "[release]\r\nSerial=" + std::to_string(serial) +
         "\r\n[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=1.0.00" + std::to_string(serial) +
         ",Bin\\main.bin\r\nHelp=1.0.000,help.bin\r\n" + extra;
}

// The archive holds the first three releases, in folders whose names sort
// against their serials; the server tree holds the fourth.
class ComponentDeltasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* names[] = {"c-first", "b-second", "a-third"};
    for (int i = 0; i < 3; ++i) {
      const std::string release = std::string("archive/") + names[i] + "/download/";
      folder.Write(release + "allfiles.ini", Catalogue(static_cast<uint64_t>(i + 1)));
      folder.Write(release + "main.bin", releases.Main[i]);
      folder.Write(release + "help.bin", releases.Help[i < 2 ? 0 : 1]);
    }
    folder.Write("server/download/main.bin", releases.Main[3]);
  }

  TComponentFile NewMain() const {
    return {"main.bin", folder / "server/download/main.bin", Sha256(releases.Main[3])};
  }

  TempFolder folder;
  TReleases releases;
  TServerTree tree{folder / "server"};
};

std::vector<std::string> ReleasesOf(const std::vector<TEarlierVersion>& versions) {
  std::vector<std::string> names;
  for (const TEarlierVersion& version : versions) names.push_back(version.Release);
  return names;
}

}  // namespace

// ---- finding earlier versions ---------------------------------------------------

TEST_F(ComponentDeltasTest, TheLastVersionsAreFoundNewestFirstByTheCataloguesSerial) {
  const TReleaseArchive archive(folder / "archive");
  EXPECT_EQ(archive.Releases(), (std::vector<std::string>{"a-third", "b-second", "c-first"}));
  const auto all = archive.EarlierVersions("ModA", "Main", Sha256(releases.Main[3]), 3);
  EXPECT_EQ(ReleasesOf(all), (std::vector<std::string>{"a-third", "b-second", "c-first"}));
  EXPECT_EQ(all[0].Digest, Sha256(releases.Main[2]));
  EXPECT_EQ(all[0].Path, folder / "archive/a-third/download/main.bin");
  EXPECT_EQ(all[2].Digest, Sha256(releases.Main[0]));
  const auto two = archive.EarlierVersions("ModA", "Main", Sha256(releases.Main[3]), 2);
  EXPECT_EQ(ReleasesOf(two), (std::vector<std::string>{"a-third", "b-second"}));
}

TEST_F(ComponentDeltasTest, AFileThatDidNotChangeIsOneVersionAndTheOneBeingPublishedIsNone) {
  const TReleaseArchive archive(folder / "archive");
  // Help: h2 in the third release, h1 in the second and first.
  const auto help = archive.EarlierVersions("ModA", "Help", Sha256("h3"), 3);
  EXPECT_EQ(ReleasesOf(help), (std::vector<std::string>{"a-third", "b-second"}));
  // Publishing h2 again: only h1 is an earlier version.
  const auto same = archive.EarlierVersions("ModA", "Help", Sha256(releases.Help[1]), 3);
  EXPECT_EQ(ReleasesOf(same), (std::vector<std::string>{"b-second"}));
}

TEST_F(ComponentDeltasTest, ReleasesWithoutTheComponentOrItsFileAreSkippedAndEqualSerialsGoByName) {
  folder.Write("archive/d-no-file/download/allfiles.ini",
               Catalogue(9));  // names main.bin, lacks it
  folder.Write("archive/e-no-key/download/allfiles.ini", "[release]\r\nSerial=9\r\n[ModA]\r\n");
  folder.Write("archive/f-unsigned/download/allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n");
  folder.Write("archive/notes/readme.txt", "no release here");
  folder.Write("archive/loose-file", "");
  const TReleaseArchive archive(folder / "archive");
  EXPECT_EQ(archive.Releases(), (std::vector<std::string>{"e-no-key", "d-no-file", "a-third",
                                                          "b-second", "c-first", "f-unsigned"}));
  const auto versions = archive.EarlierVersions("ModA", "Main", Sha256("new"), 1);
  EXPECT_EQ(ReleasesOf(versions), (std::vector<std::string>{"a-third"}));
}

TEST_F(ComponentDeltasTest, AnUnreadableSerialOrAMissingArchiveIsAnErrorThatNamesIt) {
  folder.Write("archive/broken/download/allfiles.ini", "[release]\r\nSerial=soon\r\n");
  try {
    TReleaseArchive archive(folder / "archive");
    FAIL() << "an unreadable serial was taken";
  } catch (const Exception& error) {
    EXPECT_NE(error.Message().find("broken/download/allfiles.ini"), std::string::npos)
        << error.Message();
  }
  EXPECT_THROW(TReleaseArchive(folder / "nowhere"), Exception);
}

// ---- making the files ---------------------------------------------------------------

TEST_F(ComponentDeltasTest, TheCompressedCopyAndAPatchFromEachVersionRebuildTheNewFile) {
  const TReleaseArchive archive(folder / "archive");
  const TComponentFile main = NewMain();
  const auto earlier = archive.EarlierVersions("ModA", "Main", main.Digest, kDefaultPatchCount);
  const TComponentDeltas deltas = MakeComponentDeltas(tree, main, earlier, kQuick);
  EXPECT_FALSE(folder.Has("server/download/delta"));  // nothing written yet
  WriteDeltaFiles(tree, deltas);

  EXPECT_TRUE(deltas.Offer.CompressedCopy);
  ASSERT_EQ(deltas.Offer.PatchBases.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(deltas.Offer.PatchBases[i], engine::DigestPrefix(Sha256(releases.Main[2 - i])));
  ASSERT_EQ(deltas.Files.size(), 4u);
  const int64_t size = static_cast<int64_t>(releases.Main[3].size());
  EXPECT_EQ(deltas.FileSize, size);
  EXPECT_EQ(deltas.Files[0].Path, engine::CompressedCopyPath("main.bin", main.Digest));
  EXPECT_LT(deltas.Files[0].Size, size);
  EXPECT_EQ(RebuildFault(tree.Component(deltas.Files[0].Path), "", main.Digest, size), "");
  for (int i = 1; i < 4; ++i) {
    const TDeltaFile& patch = deltas.Files[static_cast<size_t>(i)];
    EXPECT_EQ(patch.Release, earlier[static_cast<size_t>(i - 1)].Release);
    EXPECT_EQ(patch.Size, std::filesystem::file_size(tree.Component(patch.Path)));
    EXPECT_LT(patch.Size, deltas.Files[0].Size / 4) << patch.Path;
    EXPECT_EQ(RebuildFault(tree.Component(patch.Path), earlier[static_cast<size_t>(i - 1)].Path,
                           main.Digest, size),
              "");
  }
  // The newest base makes the smallest patch here: it differs least.
  EXPECT_LT(deltas.Files[1].Size, deltas.Files[3].Size);
}

TEST_F(ComponentDeltasTest, APatchFromAnotherBaseOrForAnotherFileIsFoundOut) {
  const TReleaseArchive archive(folder / "archive");
  const TComponentFile main = NewMain();
  const auto earlier = archive.EarlierVersions("ModA", "Main", main.Digest, 1);
  const TComponentDeltas deltas = MakeComponentDeltas(tree, main, earlier, kQuick);
  WriteDeltaFiles(tree, deltas);
  const std::string patch = tree.Component(deltas.Files[1].Path);
  const int64_t size = deltas.FileSize;
  EXPECT_NE(RebuildFault(patch, folder / "archive/c-first/download/main.bin", main.Digest, size),
            "");
  EXPECT_NE(RebuildFault(patch, earlier[0].Path, Sha256("another"), size), "");
  EXPECT_NE(RebuildFault(patch, earlier[0].Path, main.Digest, size - 1), "");
  EXPECT_NE(RebuildFault(folder / "nothing", "", main.Digest, size), "");
}

TEST_F(ComponentDeltasTest, OnlyWhatSavesBytesIsKept) {
  // Random bytes: no compressed copy is smaller, and a patch from unrelated
  // random bytes is no smaller than the file.
  folder.Write("server/download/noise.bin", releasedata::Random(100000, 5));
  folder.Write("old-noise.bin", releasedata::Random(100000, 6));
  const TComponentFile noise{"noise.bin", folder / "server/download/noise.bin",
                             Sha256(folder.Read("server/download/noise.bin"))};
  const TEarlierVersion unrelated{"old", folder / "old-noise.bin",
                                  Sha256(folder.Read("old-noise.bin"))};
  const TComponentDeltas deltas = MakeComponentDeltas(tree, noise, {unrelated}, kQuick);
  EXPECT_TRUE(deltas.Offer.Empty());
  EXPECT_TRUE(deltas.Files.empty());
  EXPECT_FALSE(
      folder.Has("server/download/" + engine::CompressedCopyPath("noise.bin", noise.Digest)));
  // A patch of random bytes from their own earlier version, a few bytes
  // changed, saves nearly everything: without a compressed copy, the file
  // is what it must beat.
  std::string next = folder.Read("old-noise.bin");
  next[500] ^= 1;
  folder.Write("server/download/noise.bin", next);
  const TComponentFile changed{"noise.bin", folder / "server/download/noise.bin", Sha256(next)};
  const TComponentDeltas patched = MakeComponentDeltas(tree, changed, {unrelated}, kQuick);
  EXPECT_FALSE(patched.Offer.CompressedCopy);
  EXPECT_EQ(patched.Offer.PatchBases,
            std::vector<std::string>{engine::DigestPrefix(unrelated.Digest)});
  EXPECT_LT(patched.Files.at(0).Size, 1000);
}

TEST_F(ComponentDeltasTest, ASoundFileOfTheNameIsKeptAndAnUnsoundOneMadeAgain) {
  const TComponentFile main = NewMain();
  const TEarlierVersion third{"a-third", folder / "archive/a-third/download/main.bin",
                              Sha256(releases.Main[2])};
  const TComponentDeltas first = MakeComponentDeltas(tree, main, {third}, kQuick);
  WriteDeltaFiles(tree, first);
  const std::string copy = tree.Component(first.Files[0].Path);
  const std::string patch = tree.Component(first.Files[1].Path);
  const auto longAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  std::filesystem::last_write_time(copy, longAgo);
  folder.Write("server/download/" + first.Files[1].Path, "not a patch");
  const TComponentDeltas again = MakeComponentDeltas(tree, main, {third}, kQuick);
  EXPECT_TRUE(again.Files[0].Made.empty());  // the sound one is kept
  EXPECT_FALSE(again.Files[1].Made.empty());
  WriteDeltaFiles(tree, again);
  EXPECT_EQ(std::filesystem::last_write_time(copy), longAgo);  // not written again
  EXPECT_EQ(again.Files[1].Size, first.Files[1].Size);
  EXPECT_EQ(RebuildFault(patch, third.Path, main.Digest, first.FileSize), "");
}

TEST_F(ComponentDeltasTest, AFileThatIsNotWhatItsDigestSaysStopsThePublishingAndLeavesNothing) {
  TComponentFile main = NewMain();
  main.Digest = Sha256(releases.Main[2]);  // the catalogue's digest of an older file
  try {
    MakeComponentDeltas(tree, main, {}, kQuick);
    FAIL() << "a compressed copy of another file was published";
  } catch (const Exception& error) {
    EXPECT_NE(error.Message().find("does not rebuild"), std::string::npos) << error.Message();
  }
  EXPECT_FALSE(folder.Has("server/download/delta"));
}

TEST_F(ComponentDeltasTest, AFileOfTwoGiBOrMoreGetsNeither) {
  const std::string path = folder / "server/download/huge.bin";
  folder.Write("server/download/huge.bin", "");
  std::filesystem::resize_file(path, uint64_t{1} << 31);  // sparse: nothing is written
  const TComponentDeltas deltas = MakeComponentDeltas(tree, {"huge.bin", path, Sha256("x")}, {});
  EXPECT_TRUE(deltas.Offer.Empty());
  EXPECT_FALSE(folder.Has("server/download/delta"));
}
