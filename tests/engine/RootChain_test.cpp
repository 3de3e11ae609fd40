// Roots of trust through Next, against the scripted server: the build's
// first root, the next roots fetched in turn and each checked by the one
// before it and by itself, the newest kept for the next run, and the
// catalogue checked under the newest.  The rotation drill of a vendor (a
// routine rotation, a leaked catalogue key, a lost root key with a threshold
// of 2 of 3) and the chains an attacker would serve (a gap, a repeated
// version, a wrong signer).
#include "engine/RootChain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "DetectTestSupport.h"
#include "SigningKey.h"
#include "engine/AcceptedSerial.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/FolderScan.h"
#include "engine/KeptRoots.h"
#include "engine/UpdateDetection.h"
#include "support/ScriptedServer.h"

namespace {

constexpr int64_t kNow = 1740830400;  // 2025-03-01T12:00:00Z
const std::string kRow = "ModA,Main,ModA.exe,ModA.exe,1.0.001,1.5.000,N,N,0";

const TTestKey kRoot1 = TestKey('1'), kRoot2 = TestKey('2'), kRoot3 = TestKey('3'),
               kRoot4 = TestKey('4');
const TTestKey kCatalogueA = TestKey('a'), kCatalogueB = TestKey('b');
const TTestKey kStranger = TestKey('s');

// The vendor's first root: three root keys of which two must sign, one
// catalogue key.
const TTestRoot kFirst{1, {kRoot1, kRoot2, kRoot3}, 2, {kCatalogueA}, 1};

std::string Catalogue(const std::string& serial) {
  return "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=1.5.000,ModA.exe" + SignedFieldsOf("new") +
         "\r\n[release]\r\nSerial=" + serial + "\r\nExpires=2025-03-08T12:00:00Z\r\n";
}

std::string NotVerified(const std::string& reason) { return kNotVerifiedText + reason; }

// One installation of ModA, updated again and again from one server.
class TRootRun {
 public:
  TRootRun() { FTree.File("ModA/ModA.exe"); }

  // Publishes a root below download/root/, signed by these keys.
  void Publish(const TTestRoot& root, const std::vector<TTestKey>& signers) {
    PublishText(root.Version, root.Text(), SignedBy(root.Text(), signers));
  }
  void PublishText(uint64_t version, const std::string& text, const std::string& signatures) {
    const std::string path = "/download/root/" + std::to_string(version);
    FServer.AddFile(path + ".root", text);
    FServer.AddFile(path + ".root.sig", signatures);
  }
  ScriptedServer& Server() { return FServer; }
  const DetectTree& Tree() const { return FTree; }

  // One start and Next of the updater built with the first root; the
  // catalogue signed by these keys.  The error's message, "" when Next
  // listed the row.
  std::string Next(const std::string& catalogue, const std::vector<TTestKey>& signers,
                   int64_t now = kNow) {
    FServer.AddFile("/download/allfiles.ini", catalogue);
    FServer.AddFile("/download/allfiles.ini.sig", SignedBy(catalogue, signers));
    FDetect = std::make_unique<DetectContext>(FTree.Root(), FServer.Url("/"));
    TUpdaterContext& context = FDetect->context;
    if (OnTransferEnd) {
      FDetect->http.OnWorkEnd = [this](THttpClient*, TWorkMode) {
        OnTransferEnd(FServer.RequestLines().back(), FDetect->window);
      };
    }
    context.BuiltInRootText = kFirst.Text();
    context.BuiltInRootSignatures = SignedBy(kFirst.Text(), {kRoot1, kRoot2});
    context.UtcNow = [now] { return now; };
    ScanFolder(context, FTree.Root());
    std::filesystem::remove(FTree.Path("allfiles.ini"));
    try {
      GetListOfFiles(context);
    } catch (const Exception& error) {
      EXPECT_TRUE(FDetect->window.rows.empty());
      EXPECT_FALSE(std::filesystem::exists(FTree.Path("allfiles.ini")));
      EXPECT_TRUE(FDetect->window.nextEnabled);
      return error.Message();
    }
    EXPECT_EQ(FDetect->window.rows.size(), 1u);
    return FDetect->window.rows.empty()           ? "no row"
           : FDetect->window.rows[0].text == kRow ? ""
                                                  : "wrong row";
  }

  // The versions of the roots kept in the program folder.
  std::vector<uint64_t> KeptVersions() const {
    engine::TKeptRoots kept(FTree.Root());
    std::vector<uint64_t> versions;
    for (uint64_t version = 2; version < 10; ++version)
      if (kept.Fetch(version)) versions.push_back(version);
    return versions;
  }
  uint64_t AcceptedSerial() const { return engine::ReadAcceptedSerial(FTree.Root()).Serial; }

  // Called as each transfer ends, with its request line: a user's Exit.
  std::function<void(const std::string&, FakeUpdaterWindow&)> OnTransferEnd;

 private:
  DetectTree FTree;
  ScriptedServer FServer;
  std::unique_ptr<DetectContext> FDetect;
};

}  // namespace

TEST(RootChainTest, WithoutNewRootsTheFirstRootRules) {
  TRootRun run;
  EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueA}), "");
  EXPECT_EQ(run.Server().RequestLines().front(), "GET /download/root/2.root HTTP/1.1");
  EXPECT_TRUE(run.KeptVersions().empty());
  EXPECT_FALSE(run.Tree().Read(engine::kKeptRootsFileName).size());
  EXPECT_EQ(run.Next(Catalogue("2"), {kCatalogueB}), NotVerified(kSignatureMismatchText));
}

// Drill 1: a routine rotation of the catalogue key.  The old key's
// catalogues die with it, and the serial starts again under the new one.
TEST(RootChainTest, ARoutineRotationMovesTrustToTheNewCatalogueKey) {
  TRootRun run;
  EXPECT_EQ(run.Next(Catalogue("20250201000000"), {kCatalogueA}), "");
  const TTestRoot second{2, {kRoot1, kRoot2, kRoot3}, 2, {kCatalogueB}, 1};
  run.Publish(second, {kRoot1, kRoot3});
  EXPECT_EQ(run.Next(Catalogue("100"), {kCatalogueB}), "");
  EXPECT_EQ(run.KeptVersions(), std::vector<uint64_t>{2});
  EXPECT_EQ(run.AcceptedSerial(), 100u);
  EXPECT_EQ(run.Next(Catalogue("20250301000000"), {kCatalogueA}),
            NotVerified(kSignatureMismatchText));
  // The next run starts from the kept root: it asks the server for root 3 only.
  const size_t before = run.Server().RequestLines().size();
  EXPECT_EQ(run.Next(Catalogue("101"), {kCatalogueB}), "");
  EXPECT_EQ(run.Server().RequestLines()[before], "GET /download/root/3.root HTTP/1.1");
}

// Drill 2: a leaked catalogue key signed a catalogue of the largest serial,
// which every updater accepted.  The vendor's new root revokes the key:
// its catalogues are refused from then on, and the serial starts again.
TEST(RootChainTest, ALeakedKeysLargestSerialDiesWithTheKey) {
  TRootRun run;
  EXPECT_EQ(run.Next(Catalogue("18446744073709551615"), {kCatalogueA}), "");
  EXPECT_NE(run.Next(Catalogue("20250301000000"), {kCatalogueA}), "");  // frozen
  TTestRoot second{2, {kRoot1, kRoot2, kRoot3}, 2, {kCatalogueB}, 1};
  second.SerialFloor = 20250301000000;
  run.Publish(second, {kRoot1, kRoot2});
  EXPECT_EQ(run.Next(Catalogue("20250301000000"), {kCatalogueB}), "");
  EXPECT_EQ(run.AcceptedSerial(), 20250301000000u);
  EXPECT_EQ(run.Next(Catalogue("18446744073709551615"), {kCatalogueA}),
            NotVerified(kSignatureMismatchText));
  // The floor keeps out whatever was signed before the rotation.
  EXPECT_EQ(run.Next(Catalogue("20250201000000"), {kCatalogueB}),
            NotVerified("it is older than the catalogue accepted before (serial 20250201000000, "
                        "accepted 20250301000000)."));
}

// Drill 3: one of three root keys is lost; the two left (a threshold of 2)
// make a root that replaces it, and later roots need it no more.
TEST(RootChainTest, ALostRootKeyIsReplacedByTheTwoLeft) {
  TRootRun run;
  const TTestRoot second{2, {kRoot1, kRoot2, kRoot4}, 2, {kCatalogueA}, 1};
  run.Publish(second, {kRoot1, kRoot2});
  const TTestRoot third{3, {kRoot2, kRoot4}, 2, {kCatalogueA}, 1};
  run.Publish(third, {kRoot2, kRoot4});
  EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueA}), "");
  EXPECT_EQ(run.KeptVersions(), (std::vector<uint64_t>{2, 3}));
  // The catalogue keys stayed: so does the serial.
  EXPECT_EQ(run.AcceptedSerial(), 1u);
}

TEST(RootChainTest, AChainThatDoesNotFollowIsRefused) {
  const TTestRoot second{2, {kRoot1, kRoot2}, 2, {kCatalogueB}, 1};
  struct TCase {
    const char* what;
    std::function<void(TRootRun&)> publish;
    std::string error;
  };
  const std::vector<TCase> cases = {
      {"a gap: root 2's file carries version 3",
       [&](TRootRun& run) {
         TTestRoot jump = second;
         jump.Version = 3;
         run.PublishText(2, jump.Text(), SignedBy(jump.Text(), {kRoot1, kRoot2}));
       },
       NotVerified("the file of root 2 carries version 3.")},
      {"a repeated version: root 2's file is root 1",
       [&](TRootRun& run) {
         run.PublishText(2, kFirst.Text(), SignedBy(kFirst.Text(), {kRoot1, kRoot2}));
       },
       NotVerified("the file of root 2 carries version 1.")},
      {"signed by one root key of two needed",
       [&](TRootRun& run) { run.Publish(second, {kRoot1}); },
       NotVerified("root 2 is not signed by enough root keys of root 1 (1 of 2).")},
      {"one root key signing twice",
       [&](TRootRun& run) {
         run.Publish(second, {kRoot1, kRoot1});
       },
       NotVerified("root 2 is not signed by enough root keys of root 1 (1 of 2).")},
      {"signed by strangers only",
       [&](TRootRun& run) {
         const TTestRoot theirs{2, {kStranger}, 1, {kStranger}, 1};
         run.Publish(theirs, {kStranger});
       },
       NotVerified("root 2 is not signed by enough root keys of root 1 (0 of 2).")},
      {"new root keys that did not sign",
       [&](TRootRun& run) {
         const TTestRoot moved{2, {kRoot4, kStranger}, 2, {kCatalogueB}, 1};
         run.Publish(moved, {kRoot1, kRoot2, kRoot4});
       },
       NotVerified("root 2 is not signed by enough of its own root keys (1 of 2).")},
      {"signatures missing",
       [&](TRootRun& run) { run.Server().AddFile("/download/root/2.root", second.Text()); },
       NotVerified("the signatures of root 2 are missing (HTTP status 404).")},
      {"a server error instead of the root",
       [&](TRootRun& run) {
         run.Server().AddRoute(
             "/download/root/2.root",
             "HTTP/1.1 503 Visit http://evil.example\r\nContent-Length: 0\r\n\r\n");
       },
       NotVerified("root 2 could not be fetched (HTTP status 503).")},
      {"no root at all",
       [&](TRootRun& run) {
         run.PublishText(2, "[root]\r\nVersion=2\r\n",
                         SignedBy("[root]\r\nVersion=2\r\n", {kRoot1, kRoot2}));
       },
       NotVerified("root 2 is not a valid root: its section [root keys] lists no key.")},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.what);
    TRootRun run;
    test.publish(run);
    EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueB}), test.error);
    EXPECT_TRUE(run.KeptVersions().empty());
    EXPECT_FALSE(std::filesystem::exists(run.Tree().Path(engine::kAcceptedSerialFileName)));
  }
}

TEST(RootChainTest, AnAcceptedRootStaysAcceptedWhenTheNextFails) {
  TRootRun run;
  const TTestRoot second{2, {kRoot1, kRoot2}, 2, {kCatalogueB}, 1};
  run.Publish(second, {kRoot1, kRoot2});
  const TTestRoot third{3, {kRoot1, kRoot2}, 2, {kCatalogueA}, 1};
  run.Publish(third, {kRoot1});
  EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueB}),
            NotVerified("root 3 is not signed by enough root keys of root 2 (1 of 2)."));
  EXPECT_EQ(run.KeptVersions(), std::vector<uint64_t>{2});
}

TEST(RootChainTest, AnExpiredRootStopsEveryUpdateAndSaysWhy) {
  TRootRun run;
  TTestRoot second{2, {kRoot1, kRoot2}, 2, {kCatalogueA}, 1};
  second.Expires = kNow - 1;
  run.Publish(second, {kRoot1, kRoot2});
  EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueA}),
            NotVerified("its root of trust (root 2) expired at 2025-03-01T11:59:59Z (this "
                        "computer's clock reads 2025-03-01T12:00:00Z)."));
}

// The kept roots are a record, not a source of trust: a damaged or planted
// one is set aside, and the chain is walked again from the built-in root.
TEST(RootChainTest, DamagedOrPlantedKeptRootsAreSetAside) {
  const TTestRoot second{2, {kRoot1, kRoot2}, 2, {kCatalogueB}, 1};
  {
    TRootRun run;
    run.Publish(second, {kRoot1, kRoot2});
    EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueB}), "");
    std::string kept = run.Tree().Read(engine::kKeptRootsFileName);
    kept[kept.size() / 2] ^= 1;
    run.Tree().File(engine::kKeptRootsFileName, kept);
    EXPECT_EQ(run.Next(Catalogue("2"), {kCatalogueB}), "");
    EXPECT_EQ(run.KeptVersions(), std::vector<uint64_t>{2});
  }
  {
    // A root of strangers in the record, none on the server: the first
    // root's catalogue key still rules, and the record goes.
    TRootRun run;
    const TTestRoot theirs{2, {kStranger}, 1, {kStranger}, 1};
    engine::WriteKeptRoots(run.Tree().Root(),
                           {{2, {theirs.Text(), SignedBy(theirs.Text(), {kStranger})}}});
    EXPECT_EQ(run.Next(Catalogue("1"), {kStranger}), NotVerified(kSignatureMismatchText));
    EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueA}), "");
    EXPECT_FALSE(std::filesystem::exists(run.Tree().Path(engine::kKeptRootsFileName)));
  }
}

TEST(TrustRootTest, ARootThatCouldNeverBeObeyedIsRefused) {
  const std::string key = kRoot1.Text(), other = kRoot2.Text();
  const std::string head = "[root]\r\nVersion=1\r\nRootThreshold=1\r\nCatalogueThreshold=1\r\n";
  const std::string keys = "[root keys]\r\na=" + key + "\r\n[catalogue keys]\r\nc=" + key + "\r\n";
  struct TCase {
    std::string text;
    std::string error;  // "" when it reads
  };
  const std::vector<TCase> cases = {
      {head + keys, ""},
      {"[Root]\r\nversion = "
       "1\r\nrootthreshold=1\r\ncataloguethreshold=1\r\nExpires=2030-01-01T00:00:00Z\r\n" +
           keys,
       ""},
      {head + "[root keys]\r\na=" + key + "\r\nb=" + key + "\r\n[catalogue keys]\r\nc=" + key +
           "\r\n",
       ""},
      {"[root]\r\nRootThreshold=1\r\nCatalogueThreshold=1\r\n" + keys, "its Version is missing"},
      {"[root]\r\nVersion=0\r\nRootThreshold=1\r\nCatalogueThreshold=1\r\n" + keys,
       "its Version is 0"},
      {"[root]\r\nVersion=1\r\nRootThreshold=2\r\nCatalogueThreshold=1\r\n[root keys]\r\na=" + key +
           "\r\nb=" + key + "\r\n[catalogue keys]\r\nc=" + other + "\r\n",
       "its RootThreshold must be from 1 to 1, the number of different keys in [root keys]"},
      {"[root]\r\nVersion=1\r\nRootThreshold=0\r\nCatalogueThreshold=1\r\n" + keys,
       "its RootThreshold must be from 1 to 1"},
      {head + "[root keys]\r\n[catalogue keys]\r\nc=" + key + "\r\n",
       "its section [root keys] lists no key"},
      {head + "[root keys]\r\na=" + key.substr(1) + "\r\n[catalogue keys]\r\nc=" + key + "\r\n",
       "the key \"a\" of [root keys] is not the base64 text of a 32-byte Ed25519 public key"},
      {head + "Expires=soon\r\n" + keys, "its Expires is not a UTC time"},
      {head + "SerialFloor=-1\r\n" + keys, "its SerialFloor is not a decimal number"},
      {std::string(70000, ';'), "it is larger than 64 KiB"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.text.substr(0, 120));
    try {
      engine::ParseRoot(test.text, "root 1");
      EXPECT_EQ(test.error, "");
    } catch (const ECatalogueNotVerified& error) {
      EXPECT_NE(test.error, "");
      EXPECT_NE(error.Message().find(test.error), std::string::npos) << error.Message();
      EXPECT_NE(error.Message().find("root 1 is not a valid root: "), std::string::npos);
    }
  }
}

TEST(TrustRootTest, TheToolsTextReadsBackAsTheSameRoot) {
  TTestRoot written{4, {kRoot1, kRoot2, kRoot3}, 2,   {kCatalogueA, kCatalogueB},
                    2, 20250301000000,           kNow};
  const engine::TRoot read = engine::ParseRoot(written.Text(), "root 4");
  EXPECT_EQ(read.Version, 4u);
  EXPECT_EQ(read.RootKeys.Keys.size(), 3u);
  EXPECT_EQ(read.RootKeys.Threshold, 2);
  EXPECT_TRUE(read.CatalogueKeys.Holds(kCatalogueB.Public()));
  EXPECT_EQ(read.CatalogueKeys.Threshold, 2);
  EXPECT_EQ(read.SerialFloor, 20250301000000u);
  EXPECT_EQ(read.Expires, kNow);
  EXPECT_EQ(engine::RootText(read), written.Text());
}

TEST(RootChainTest, ExitWhileARootArrivesStoresNothing) {
  TRootRun run;
  const TTestRoot second{2, {kRoot1, kRoot2}, 2, {kCatalogueB}, 1};
  run.Publish(second, {kRoot1, kRoot2});
  run.OnTransferEnd = [](const std::string& request, FakeUpdaterWindow& window) {
    if (request.find("/2.root.sig ") != std::string::npos) window.SetTag(kAbortRequested);
  };
  EXPECT_EQ(run.Next(Catalogue("1"), {kCatalogueB}), "Operation aborted");
  EXPECT_TRUE(run.KeptVersions().empty());
  EXPECT_EQ(run.Server().RequestLines().back(), "GET /download/root/2.root.sig HTTP/1.1");
}
