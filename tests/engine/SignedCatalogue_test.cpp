// Detection in a build with a key: the catalogue is fetched with its
// signature on the same connection and stored only when the signature, its
// serial and its expiry hold; anything else is refused with a clear error,
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

// A catalogue that offers 1.5.000 where 2.0.000 is installed: newer by the
// comparison's rule, so only the serial stops a replay of it.
std::string Catalogue(const std::string& release) {
  return "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=1.5.000,ModA.exe," + Sha256FieldOf("old") +
         "\r\n" + release;
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
    if (acceptedSerial) engine::RecordAcceptedSerial(tree.Root(), acceptedSerial);
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
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (const auto& row : detect.window.rows) rows.push_back(row.text);
    return rows;
  }
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
  const std::vector<TCase> cases = {
      {"good signature, no serial", "", Good, 0, ""},
      {"blanks and line ends around it", "",
       [](const std::string& c) { return " \t\r\n" + SignatureFile(c) + "\r\n\r\n"; }, 0, ""},
      {"a tampered byte", "", [](const std::string& c) { return SignatureFile(c + " "); }, 0,
       NotVerified(kSignatureMismatchText)},
      {"megabytes", "", [](const std::string&) { return std::string(3 << 20, 'A'); }, 0,
       NotVerified(kSignatureTooLargeText)},
      {"binary garbage", "", [&](const std::string&) { return garbage; }, 0,
       NotVerified(kSignatureMalformedText)},
      {"one line too many", "",
       [](const std::string& c) { return SignatureFile(c) + SignatureFile(c); }, 0,
       NotVerified(kSignatureMalformedText)},
      {"right length, wrong signature", "",
       [](const std::string&) { return EncodeBase64(std::string(64, '\x01')); }, 0,
       NotVerified(kSignatureMismatchText)},
      {"the same serial again", "[release]\r\nSerial=7\r\n", Good, 7, ""},
      {"a newer serial", "[Release]\r\nserial = 8\r\n", Good, 7, ""},
      {"an older serial", "[release]\r\nSerial=6\r\n", Good, 7,
       NotVerified("it is older than the catalogue accepted before (serial 6, accepted 7).")},
      {"no serial after one was accepted", "", Good, 7,
       NotVerified("it is older than the catalogue accepted before (serial 0, accepted 7).")},
      {"a serial that is no number", "[release]\r\nSerial=7a\r\n", Good, 0,
       NotVerified(kSerialNotANumberText)},
      {"an empty serial", "[release]\r\nSerial=\r\n", Good, 0, NotVerified(kSerialNotANumberText)},
      {"a serial that overflows", "[release]\r\nSerial=18446744073709551616\r\n", Good, 0,
       NotVerified(kSerialTooLargeText)},
      {"expired", "[release]\r\nSerial=1\r\nExpires=2025-03-01T11:59:59Z\r\n", Good, 0,
       NotVerified("it expired at 2025-03-01T11:59:59Z.")},
      {"expiring this second", "[release]\r\nExpires=2025-03-01T12:00:00Z\r\n", Good, 0, ""},
      {"an expiry that is no time", "[release]\r\nExpires=tomorrow\r\n", Good, 0,
       NotVerified(kExpiryInvalidText)},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.what);
    TSignedRun run(test.acceptedBefore);
    const std::string catalogue = Catalogue(test.release);
    const std::string signature = test.signature(catalogue);
    EXPECT_EQ(run.Next(catalogue, &signature), test.error);
    EXPECT_EQ(run.server.ConnectionsAccepted(), 1);  // the signature came on the same connection
    if (test.error.empty()) {
      EXPECT_EQ(run.Rows(), std::vector<std::string>{kRow});
      EXPECT_EQ(run.tree.Read("allfiles.ini"), catalogue);
    } else {
      run.ExpectRefusedAsAfterAFailedFetch();
      EXPECT_EQ(engine::ReadAcceptedSerial(run.tree.Root()), test.acceptedBefore);
    }
  }
}

TEST(SignedCatalogueTest, AMissingSignatureIsRefused) {
  TSignedRun run;
  EXPECT_EQ(run.Next(Catalogue(""), nullptr),
            NotVerified(std::string(kSignatureMissingText) + " (HTTP/1.1 404 Not Found)."));
  run.ExpectRefusedAsAfterAFailedFetch();
}

TEST(SignedCatalogueTest, AnOlderCatalogueReplayedAfterANewerOneIsRefused) {
  const std::string older = Catalogue("[release]\r\nSerial=20250101000000\r\n");
  const std::string olderSignature = SignatureFile(older);
  const std::string newer = "[modules]\r\nModA=ModA.exe\r\n[release]\r\nSerial=20250201000000\r\n";
  const std::string newerSignature = SignatureFile(newer);
  {
    TSignedRun first;
    EXPECT_EQ(first.Next(newer, &newerSignature), "");
    // The next run finds the serial where the first left it.
    TSignedRun replay;
    std::filesystem::copy_file(first.tree.Path(engine::kAcceptedSerialFileName),
                               replay.tree.Path(engine::kAcceptedSerialFileName));
    EXPECT_EQ(replay.Next(older, &olderSignature),
              NotVerified("it is older than the catalogue accepted before (serial 20250101000000, "
                          "accepted 20250201000000)."));
    replay.ExpectRefusedAsAfterAFailedFetch();
  }
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
      "[modules]\r\nrelease=Rel.exe\r\n" + Catalogue("[release]\r\nSerial=3\r\n").substr(11);
  const std::string signature = SignatureFile(catalogue);
  EXPECT_EQ(run.Next(catalogue, &signature), "");
  EXPECT_EQ(run.Rows(), std::vector<std::string>{kRow});
  EXPECT_EQ(run.tree.Read(engine::kAcceptedSerialFileName), "3\r\n");
}

TEST(SignedCatalogueTest, StartUpLeavesTheAcceptedSerialAlone) {
  TSignedRun run(42);
  run.tree.File("allfiles.ini", "[modules]\r\n");
  run.tree.File("Lib.dll.{S}", "partial");
  Timer1Timer(run.detect.context);
  EXPECT_EQ(run.detect.window.StatusLine(), kClickNextText);
  EXPECT_FALSE(std::filesystem::exists(run.tree.Path("allfiles.ini")));
  EXPECT_EQ(engine::ReadAcceptedSerial(run.tree.Root()), 42u);
}

TEST(SignedCatalogueTest, ExitDuringTheSignatureEndsTheRunWithNothingStored) {
  TSignedRun run;
  int transfers = 0;
  run.detect.http.OnWorkEnd = [&](THttpClient*, TWorkMode) {
    if (++transfers == 2) run.detect.window.SetTag(99);  // Exit as the signature arrives
  };
  const std::string catalogue = Catalogue("");
  const std::string signature = SignatureFile(catalogue);
  EXPECT_EQ(run.Next(catalogue, &signature), "Operation aborted");
  run.ExpectRefusedAsAfterAFailedFetch();
}
