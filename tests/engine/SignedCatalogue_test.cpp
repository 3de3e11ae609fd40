// Detection in a build with a root: the catalogue is fetched with its
// signatures on the same connection and stored only when a threshold of
// distinct catalogue keys signed it, its serial is not below the one
// accepted under those keys, and it carries an expiry that has not passed;
// anything else is refused with a clear error that holds no server text,
// nothing stored or listed, and Next left usable.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "DetectTestSupport.h"
#include "SigningKey.h"
#include "engine/AcceptedSerial.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/FolderScan.h"
#include "engine/StartupHousekeeping.h"
#include "engine/UpdateDetection.h"
#include "support/ScriptedServer.h"

namespace {

constexpr int64_t kNow = 1740830400;  // 2025-03-01T12:00:00Z
const std::string kRow = "ModA,Main,ModA.exe,ModA.exe,2.0.000,1.5.000,N,N,0";
const std::string kNextWeek = "Expires=2025-03-08T12:00:00Z\r\n";

// A catalogue that offers 1.5.000 where 2.0.000 is installed: newer by the
// comparison's rule, so only the serial and the expiry stop a replay of it.
std::string Catalogue(const std::string& release) {
  return "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=1.5.000,ModA.exe" + SignedFieldsOf("old") +
         "\r\n" + release;
}
std::string Release(const std::string& serial) {
  return "[release]\r\nSerial=" + serial + "\r\n" + kNextWeek;
}

// One run of Next over an installed ModA, against its own server.
struct TSignedRun {
  DetectTree tree;
  ScriptedServer server;
  DetectContext detect{tree.Root(), server.Url("/")};

  explicit TSignedRun(uint64_t acceptedSerial = 0, const std::string& key = kTestPublicKey) {
    detect.context.CatalogueKey = key;
    detect.context.UtcNow = [] { return kNow; };
    tree.File("ModA/ModA.exe");
    tree.File("ModA/Version.ini", "[ModA]\r\nMain=2.0.000\r\n");
    // As an updater without roots wrote it: the serial alone.
    if (acceptedSerial)
      tree.File(engine::kAcceptedSerialFileName, std::to_string(acceptedSerial) + "\r\n");
  }
  // A build whose first root is this one, signed by its own root keys.
  void BuildWith(const TTestRoot& root) {
    detect.context.CatalogueKey.clear();
    detect.context.BuiltInRootText = root.Text();
    detect.context.BuiltInRootSignatures = SignedBy(root.Text(), root.RootKeys);
  }
  // Serves the catalogue and, unless null, the signature file; runs Next.
  // Returns the error's message, "" when Next succeeded.
  std::string Next(const std::string& catalogue, const std::string* signature) {
    server.AddFile("/download/allfiles.ini", catalogue);
    if (signature) server.AddFile("/download/allfiles.ini.sig", *signature);
    ScanFolder(detect.context, tree.Root());
    try {
      GetListOfFiles(detect.context);
    } catch (const Exception& error) {
      return error.Message();
    }
    return "";
  }
  std::string Next(const std::string& catalogue, const std::string& signature) {
    return Next(catalogue, &signature);
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (const auto& row : detect.window.rows) rows.push_back(row.text);
    return rows;
  }
  uint64_t AcceptedSerial() const { return engine::ReadAcceptedSerial(tree.Root()).Serial; }
  void ExpectRefusedAsAfterAFailedFetch() {
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(std::filesystem::exists(tree.Path("allfiles.ini")));
    EXPECT_EQ(detect.window.StatusLine(), kConnectingText);
    EXPECT_TRUE(detect.window.nextEnabled);
    EXPECT_FALSE(detect.window.isUpdateButton);
    EXPECT_FALSE(detect.http.Connected());
  }
};

std::string NotVerified(const std::string& reason) { return kNotVerifiedText + reason; }

struct TCase {
  const char* what;
  std::string release;                                       // the catalogue's release section
  std::function<std::string(const std::string&)> signature;  // of the served catalogue
  uint64_t acceptedBefore;
  std::string error;  // "" when the catalogue is accepted
};

std::string Good(const std::string& catalogue) { return SignatureFile(catalogue); }

}  // namespace

TEST(SignedCatalogueTest, EachCatalogueIsAcceptedOrRefusedWithItsReason) {
  const std::string garbage("\x00\xff\x13\x80 binary \x01\x02", 14);
  const std::string fresh = "[release]\r\n" + kNextWeek;
  const std::vector<TCase> cases = {
      {"good signature, no serial", fresh, Good, 0, ""},
      {"blanks and line ends around it", fresh,
       [](const std::string& c) { return " \t\r\n" + SignatureFile(c) + "\r\n\r\n"; }, 0, ""},
      {"the bare line naming its key", fresh,
       [](const std::string& c) { return kTestPublicKey + " " + SignatureFile(c); }, 0, ""},
      {"the same line twice: one key, counted once", fresh,
       [](const std::string& c) { return SignatureFile(c) + SignatureFile(c); }, 0, ""},
      {"a tampered byte", fresh, [](const std::string& c) { return SignatureFile(c + " "); }, 0,
       NotVerified(kSignatureMismatchText)},
      {"megabytes", fresh, [](const std::string&) { return std::string(3 << 20, 'A'); }, 0,
       NotVerified(kSignatureTooLargeText)},
      {"binary garbage", fresh, [&](const std::string&) { return garbage; }, 0,
       NotVerified(kSignatureMalformedText)},
      {"a good line and a garbage line", fresh,
       [](const std::string& c) { return SignatureFile(c) + "not base64\n"; }, 0,
       NotVerified(kSignatureMalformedText)},
      {"right length, wrong signature", fresh,
       [](const std::string&) { return EncodeBase64(std::string(64, '\x01')); }, 0,
       NotVerified(kSignatureMismatchText)},
      {"signed by a key the root does not hold", fresh,
       [](const std::string& c) { return SignedBy(c, {TestKey('z')}); }, 0,
       NotVerified(kSignatureMismatchText)},
      {"the same serial again", Release("7"), Good, 7, ""},
      {"a newer serial", "[Release]\r\nserial = 8\r\n" + kNextWeek, Good, 7, ""},
      {"an older serial", Release("6"), Good, 7,
       NotVerified("it is older than the catalogue accepted before (serial 6, accepted 7).")},
      {"no serial after one was accepted", fresh, Good, 7,
       NotVerified("it is older than the catalogue accepted before (serial 0, accepted 7).")},
      {"a serial that is no number", Release("7a"), Good, 0, NotVerified(kSerialNotANumberText)},
      {"an empty serial", Release(""), Good, 0, NotVerified(kSerialNotANumberText)},
      {"a serial that overflows", Release("18446744073709551616"), Good, 0,
       NotVerified(kSerialTooLargeText)},
      {"expired", "[release]\r\nSerial=1\r\nExpires=2025-03-01T11:59:59Z\r\n", Good, 0,
       NotVerified("it expired at 2025-03-01T11:59:59Z (this computer's clock reads "
                   "2025-03-01T12:00:00Z).")},
      {"expiring this second", "[release]\r\nExpires=2025-03-01T12:00:00Z\r\n", Good, 0, ""},
      {"an expiry that is no time", "[release]\r\nExpires=tomorrow\r\n", Good, 0,
       NotVerified(kExpiryInvalidText)},
      {"no expiry", "[release]\r\nSerial=8\r\n", Good, 0, NotVerified(kExpiryMissingText)},
      {"no release section", "", Good, 0, NotVerified(kExpiryMissingText)},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.what);
    TSignedRun run(test.acceptedBefore);
    const std::string catalogue = Catalogue(test.release);
    const std::string signature = test.signature(catalogue);
    EXPECT_EQ(run.Next(catalogue, &signature), test.error);
    EXPECT_EQ(run.server.ConnectionsAccepted(), 1);  // everything came on one connection
    if (test.error.empty()) {
      EXPECT_EQ(run.Rows(), std::vector<std::string>{kRow});
      EXPECT_EQ(run.tree.Read("allfiles.ini"), catalogue);
    } else {
      run.ExpectRefusedAsAfterAFailedFetch();
      EXPECT_EQ(run.AcceptedSerial(), test.acceptedBefore);
    }
  }
}

// The server's words never reach the box: a status line can say anything.
TEST(SignedCatalogueTest, AMissingSignatureIsNamedByItsStatusCodeAlone) {
  TSignedRun run;
  run.server.AddRoute("/download/allfiles.ini.sig",
                      "HTTP/1.1 404 Signing moved - install the new updater from "
                      "http://evil.example/fix.sh\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(run.Next(Catalogue(Release("1")), nullptr),
            NotVerified(std::string(kSignatureMissingText) + " (HTTP status 404)."));
  run.ExpectRefusedAsAfterAFailedFetch();
}

TEST(SignedCatalogueTest, AnOlderCatalogueReplayedAfterANewerOneIsRefused) {
  const std::string older = Catalogue(Release("20250101000000"));
  const std::string newer = "[modules]\r\nModA=ModA.exe\r\n" + Release("20250201000000");
  TSignedRun first;
  EXPECT_EQ(first.Next(newer, SignatureFile(newer)), "");
  // The next run finds the serial where the first left it.
  TSignedRun replay;
  std::filesystem::copy_file(first.tree.Path(engine::kAcceptedSerialFileName),
                             replay.tree.Path(engine::kAcceptedSerialFileName));
  EXPECT_EQ(replay.Next(older, SignatureFile(older)),
            NotVerified("it is older than the catalogue accepted before (serial 20250101000000, "
                        "accepted 20250201000000)."));
  replay.ExpectRefusedAsAfterAFailedFetch();
}

// A fresh installation has no serial to compare with: the expiry is what
// keeps an old signed catalogue (and the old files it vouches for) away.
TEST(SignedCatalogueTest, AnOldCatalogueReplayedToAFreshInstallIsRefused) {
  const std::string lastMonth =
      Catalogue("[release]\r\nSerial=20250201000000\r\nExpires=2025-02-08T00:00:00Z\r\n");
  const std::string signedForever = Catalogue("[release]\r\nSerial=20240101000000\r\n");
  for (const std::string* old : {&lastMonth, &signedForever}) {
    for (const bool damagedSerialFile : {false, true}) {
      TSignedRun fresh;
      if (damagedSerialFile)
        fresh.tree.File(engine::kAcceptedSerialFileName, std::string(300, '9'));
      EXPECT_NE(fresh.Next(*old, SignatureFile(*old)), "");
      fresh.ExpectRefusedAsAfterAFailedFetch();
    }
  }
  TSignedRun fresh;
  EXPECT_EQ(fresh.Next(lastMonth, SignatureFile(lastMonth)),
            NotVerified("it expired at 2025-02-08T00:00:00Z (this computer's clock reads "
                        "2025-03-01T12:00:00Z)."));
}

TEST(SignedCatalogueTest, ABuildWithoutAKeyAsksForNoSignature) {
  TSignedRun run(0, "");
  const std::string catalogue = Catalogue("");
  const std::string signature = "not even a signature";
  EXPECT_EQ(run.Next(catalogue, &signature), "");
  EXPECT_EQ(run.server.RequestLines(),
            std::vector<std::string>{"GET /download/allfiles.ini HTTP/1.1"});
  EXPECT_EQ(run.Rows(), std::vector<std::string>{kRow});
  EXPECT_FALSE(std::filesystem::exists(run.tree.Path(engine::kAcceptedSerialFileName)));
}

TEST(SignedCatalogueTest, AModuleNamedReleaseIsPassedOverAndTheSerialRecorded) {
  TSignedRun run;
  run.tree.File("Rel/Rel.exe");
  const std::string catalogue =
      "[modules]\r\nrelease=Rel.exe\r\n" + Catalogue(Release("3")).substr(11);
  EXPECT_EQ(run.Next(catalogue, SignatureFile(catalogue)), "");
  EXPECT_EQ(run.Rows(), std::vector<std::string>{kRow});
  const engine::TAcceptedSerial accepted = engine::ReadAcceptedSerial(run.tree.Root());
  EXPECT_EQ(accepted.Serial, 3u);
  EXPECT_EQ(accepted.Keys, engine::CatalogueKeysFingerprint(
                               engine::OneKeyRoot(Ed25519PublicKey(kTestSeed)).CatalogueKeys));
}

TEST(SignedCatalogueTest, StartUpLeavesTheAcceptedSerialAlone) {
  TSignedRun run(42);
  run.tree.File("allfiles.ini", "[modules]\r\n");
  run.tree.File("Lib.dll.{S}", "partial");
  Timer1Timer(run.detect.context);
  EXPECT_EQ(run.detect.window.StatusLine(), kClickNextText);
  EXPECT_FALSE(std::filesystem::exists(run.tree.Path("allfiles.ini")));
  EXPECT_EQ(run.AcceptedSerial(), 42u);
}

TEST(SignedCatalogueTest, ExitDuringTheSignatureEndsTheRunWithNothingStored) {
  TSignedRun run;
  run.detect.http.OnWorkEnd = [&](THttpClient*, TWorkMode) {
    // Exit as the signature arrives.
    if (run.server.RequestLines().back().find(".sig ") != std::string::npos)
      run.detect.window.SetTag(99);
  };
  const std::string catalogue = Catalogue(Release("1"));
  EXPECT_EQ(run.Next(catalogue, SignatureFile(catalogue)), "Operation aborted");
  run.ExpectRefusedAsAfterAFailedFetch();
}

// Thresholds count distinct keys: several trusted implementations once
// counted one key's signature twice towards a threshold of two.
TEST(SignedCatalogueTest, AKeyCountsOnceHoweverOftenItSigns) {
  const TTestKey root = TestKey('r'), one = TestKey('1'), two = TestKey('2'),
                 stranger = TestKey('s');
  TTestRoot twoOfTwo{1, {root}, 1, {one, two}, 2};
  const std::string catalogue = Catalogue(Release("5"));
  struct TSigners {
    const char* what;
    std::string signatures;
    std::string error;
  };
  const std::string bareOne = EncodeBase64(SignEd25519(catalogue, one.Seed)) + "\n";
  const std::vector<TSigners> cases = {
      {"both keys", SignedBy(catalogue, {one, two}), ""},
      {"both keys, one bare", bareOne + SignedBy(catalogue, {two}), ""},
      {"one key twice", SignedBy(catalogue, {one, one}),
       NotVerified("it is signed by 1 of the 2 different catalogue keys it needs.")},
      {"one key, named and bare", bareOne + SignedBy(catalogue, {one}),
       NotVerified("it is signed by 1 of the 2 different catalogue keys it needs.")},
      {"one key and a stranger", SignedBy(catalogue, {one, stranger}),
       NotVerified("it is signed by 1 of the 2 different catalogue keys it needs.")},
      {"the other key naming the first",
       engine::NamedSignatureLine(one.Public(), SignEd25519(catalogue, two.Seed)) +
           SignedBy(catalogue, {two}),
       NotVerified("it is signed by 1 of the 2 different catalogue keys it needs.")},
  };
  for (const TSigners& test : cases) {
    SCOPED_TRACE(test.what);
    TSignedRun run;
    run.BuildWith(twoOfTwo);
    EXPECT_EQ(run.Next(catalogue, test.signatures), test.error);
    if (test.error.empty())
      EXPECT_EQ(run.Rows(), std::vector<std::string>{kRow});
    else
      run.ExpectRefusedAsAfterAFailedFetch();
  }
}

// An updater from before roots kept the serial alone; the build of the same
// one key reads it as accepted under that key.
TEST(SignedCatalogueTest, TheOneKeyBuildReadsTheSerialFileOfAnOlderUpdater) {
  TSignedRun run(7);  // "7" CR LF, no keys line
  const std::string older = Catalogue(Release("6"));
  EXPECT_EQ(run.Next(older, SignatureFile(older)),
            NotVerified("it is older than the catalogue accepted before (serial 6, accepted 7)."));
}
