// quorvin-publish as the vendor runs it: keys, signing a server tree and
// verifying it, its refusals, and that OpenSSL signs and checks the same
// bytes with the same key.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "PublishToolRun.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Sha256.h"
#include "util/UtcTime.h"

namespace {

// A catalogue as vendors write them: comments, blank lines, a LF line among
// CR LF ones, an old digest, an ignored field, a section no module names.
const std::string kCatalogue =
    "; Computer QUORVIN catalogue\r\n"
    "[modules]\r\n"
    "App=App.exe\r\n"
    "\r\n"
    "[App]\r\n"
    "Main = 2.0.000,App.exe\n"
    "Lib=2.0.001,lib\\Lib.so,beta,sha256=" +
    std::string(64, '0') +
    "\r\n"
    "# no more components\r\n"
    "[Unused]\r\n"
    "X=1.0.000,missing.dll\r\n";

void LayOut(TServer& server) {
  server.Write("download/allfiles.ini", kCatalogue);
  server.Write("download/App.exe", "app 2.0.000");
  server.Write("download/Lib.so", "lib 2.0.001");
}

}  // namespace

TEST(QuorvinPublishTest, KeygenWritesAPrivateKeyOnceAndPrintsItsPublicKey) {
  TServer server;
  const std::string publicKey = server.Keygen();
  const std::string secret = server.Read("secret.key");
  const auto seed = DecodeBase64(secret.substr(0, secret.size() - 1));
  ASSERT_TRUE(seed);
  EXPECT_EQ(EncodeBase64(Ed25519PublicKey(*seed)), publicKey);
  struct stat info;
  ASSERT_EQ(::stat((server.Root + "/secret.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const TResult again = Publish("keygen " + server.Root + "/secret.key");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
  EXPECT_EQ(server.Read("secret.key"), secret);
}

TEST(QuorvinPublishTest, SignChangesOnlyDigestsAndReleaseAndVerifies) {
  TServer server;
  const std::string publicKey = server.Keygen();
  LayOut(server);
  const TResult signedTree = server.Sign("--expires 30 ");
  ASSERT_EQ(signedTree.status, 0) << signedTree.output;

  const std::string catalogue = server.Catalogue();
  const size_t release = catalogue.find("[release]\r\nSerial=");
  ASSERT_NE(release, std::string::npos) << catalogue;
  EXPECT_EQ(catalogue.substr(0, release),
            "; Computer QUORVIN catalogue\r\n[modules]\r\nApp=App.exe\r\n\r\n[App]\r\n"
            "Main = 2.0.000,App.exe,sha256=" +
                Hex("app 2.0.000") +
                ",size=11\n"
                "Lib=2.0.001,lib\\Lib.so,beta,sha256=" +
                Hex("lib 2.0.001") +
                ",size=11\r\n"
                "# no more components\r\n[Unused]\r\nX=1.0.000,missing.dll\r\n\r\n");
  EXPECT_NE(catalogue.find("\r\nExpires="), std::string::npos);
  const auto signature = DecodeBase64(server.Read("download/allfiles.ini.sig").substr(0, 88));
  ASSERT_TRUE(signature);
  EXPECT_TRUE(VerifyEd25519(catalogue, *signature, *DecodeBase64(publicKey)));
  const TResult verified = server.Verify(publicKey);
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_NE(verified.output.find("verified: signature, serial "), std::string::npos);
  EXPECT_NE(verified.output.find(", under root 1"), std::string::npos);

  // Signing again: the serial grows, the digests and sizes are replaced in
  // place, and without --expires the expiry is set a week ahead.
  server.Write("download/allfiles.ini", catalogue.substr(0, release) +
                                            "[release]\r\nSerial=99999999999999999\r\n"
                                            "Expires=2001-01-01T00:00:00Z\r\n; kept\r\n");
  ASSERT_EQ(server.Sign().status, 0);
  const std::string again = server.Catalogue();
  EXPECT_EQ(again.substr(0, again.find("Expires=")),
            catalogue.substr(0, release) + "[release]\r\nSerial=100000000000000000\r\n");
  EXPECT_EQ(again.substr(again.find("\r\n; kept")), "\r\n; kept\r\n");
  const std::string expires = again.substr(again.find("Expires=") + 8, 20);
  EXPECT_EQ(expires, FormatUtcTime(*ParseUtcTime(expires)));
  const int64_t ahead = *ParseUtcTime(expires) - SystemUtcNow();
  EXPECT_GT(ahead, 7 * 86400 - 600);
  EXPECT_LE(ahead, 7 * 86400);
  EXPECT_EQ(server.Verify(publicKey).status, 0);
}

TEST(QuorvinPublishTest, VerifyNamesWhatFails) {
  TServer server;
  const std::string publicKey = server.Keygen();
  LayOut(server);
  ASSERT_EQ(server.Sign().status, 0);

  server.Write("download/Lib.so", "replaced after signing");
  TResult verified = server.Verify(publicKey);
  EXPECT_EQ(verified.status, 1);
  EXPECT_NE(
      verified.output.find("FAIL: [App] Lib: " + server.Root + "/download/Lib.so does not match"),
      std::string::npos)
      << verified.output;

  server.Write("download/allfiles.ini", server.Catalogue() + ";");
  verified = server.Verify(publicKey);
  EXPECT_NE(verified.output.find("FAIL: The update catalogue could not be verified: its signature "
                                 "does not match."),
            std::string::npos)
      << verified.output;
  EXPECT_EQ(server.Verify("not-a-key").status, 1);
}

TEST(QuorvinPublishTest, SignRefusesAndWritesNothing) {
  struct TCase {
    const char* what;
    std::string catalogue;
    std::string message;
  };
  const std::vector<TCase> cases = {
      {"a missing component file", "[modules]\r\nApp=App.exe\r\n[App]\r\nMain=1.0.000,Gone.dll\r\n",
       "missing component file ROOT/download/Gone.dll ([App] Main)"},
      {"a module named release", "[modules]\r\nRelease=App.exe\r\n",
       "a module is named \"Release\""},
      {"an entry without file", "[modules]\r\nApp=App.exe\r\n[App]\r\nMain=1.0.000\r\n",
       "[App] Main: the entry names no file"},
      {"a serial that is no number", "[modules]\r\n[release]\r\nSerial=x\r\n",
       "[release] Serial is not a number"},
      {"a comma in a program file", "[modules]\r\nModC=Acme, Inc\\ModC.exe\r\n",
       "the program file of module \"ModC\" holds a comma"},
      {"a comma in a module name", "[modules]\r\nAcme, Inc=ModC.exe\r\n",
       "the module name \"Acme, Inc\" holds a comma"},
      {"a comma in a component key",
       "[modules]\r\nApp=App.exe\r\n[App]\r\nMain,x=1.0.000,App.exe\r\n",
       "[App] Main,x: the key holds a comma"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.what);
    TServer server;
    server.Write("secret.key", EncodeBase64(std::string(32, 'k')) + "\n");
    server.Write("download/allfiles.ini", test.catalogue);
    const TResult refused = server.Sign();
    EXPECT_EQ(refused.status, 1);
    std::string message = test.message;
    if (message.find("ROOT") != std::string::npos)
      message.replace(message.find("ROOT"), 4, server.Root);
    EXPECT_NE(refused.output.find(message), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("nothing was written"), std::string::npos);
    EXPECT_EQ(server.Catalogue(), test.catalogue);
    EXPECT_FALSE(server.Exists("download/allfiles.ini.sig"));
  }
  TServer server;
  EXPECT_EQ(server.Sign().status, 1);  // no key file
  EXPECT_EQ(Publish("sign --expires 0 a b").status, 2);
  EXPECT_EQ(Publish("frobnicate").status, 2);
}

// The secret key file holds the bare RFC 8032 seed, so OpenSSL signs with it
// once it is wrapped in PKCS#8; Ed25519 is deterministic, so both must make
// the very same signature, and each must accept the other's.
TEST(QuorvinPublishTest, OpenSslSignsAndChecksTheSameBytesWithTheSameKey) {
  if (!HaveOpenSsl()) GTEST_SKIP() << "openssl is not installed";
  TServer server;
  const std::string publicKey = server.Keygen();
  LayOut(server);
  ASSERT_EQ(server.Sign().status, 0);
  const std::string secret = server.Read("secret.key");
  const std::string seed = *DecodeBase64(secret.substr(0, secret.size() - 1));
  const std::string pkcs8 =
      std::string("\x30\x2e\x02\x01\x00\x30\x05\x06\x03\x2b\x65\x70\x04\x22\x04\x20", 16);
  const std::string spki = std::string("\x30\x2a\x30\x05\x06\x03\x2b\x65\x70\x03\x21\x00", 12);
  server.Write("key.der", pkcs8 + seed);
  server.Write("pub.der", spki + *DecodeBase64(publicKey));
  const std::string catalogue = server.Root + "/download/allfiles.ini";

  const TResult made = Shell("openssl pkeyutl -sign -rawin -keyform DER -inkey " + server.Root +
                             "/key.der -in " + catalogue + " -out " + server.Root + "/openssl.sig");
  ASSERT_EQ(made.status, 0) << made.output;
  EXPECT_EQ(EncodeBase64(server.Read("openssl.sig")) + "\n",
            server.Read("download/allfiles.ini.sig"));

  server.Write("ours.sig", *DecodeBase64(server.Read("download/allfiles.ini.sig").substr(0, 88)));
  const TResult checked =
      Shell("openssl pkeyutl -verify -rawin -pubin -keyform DER -inkey " + server.Root +
            "/pub.der -in " + catalogue + " -sigfile " + server.Root + "/ours.sig");
  EXPECT_EQ(checked.status, 0) << checked.output;
  server.Write("download/allfiles.ini", server.Catalogue() + " ");
  EXPECT_NE(Shell("openssl pkeyutl -verify -rawin -pubin -keyform DER -inkey " + server.Root +
                  "/pub.der -in " + catalogue + " -sigfile " + server.Root + "/ours.sig")
                .status,
            0);
}

TEST(QuorvinPublishTest, AKeyMadeByOpenSslSignsForTheUpdater) {
  if (!HaveOpenSsl()) GTEST_SKIP() << "openssl is not installed";
  TServer server;
  const std::string root = server.Root;
  ASSERT_EQ(
      Shell("openssl genpkey -algorithm ed25519 -outform DER -out " + root + "/key.der").status, 0);
  ASSERT_EQ(Shell("openssl pkey -inform DER -in " + root + "/key.der -pubout -outform DER -out " +
                  root + "/pub.der")
                .status,
            0);
  const std::string der = server.Read("key.der"), pub = server.Read("pub.der");
  ASSERT_EQ(der.size(), 48u);
  ASSERT_EQ(pub.size(), 44u);
  server.Write("secret.key", EncodeBase64(der.substr(16)) + "\n");
  LayOut(server);
  ASSERT_EQ(server.Sign().status, 0);
  const TResult verified = server.Verify(EncodeBase64(pub.substr(12)));
  EXPECT_EQ(verified.status, 0) << verified.output;
}

// A Windows-1252 catalogue whose section differs from its module name only
// in the case of a letter beyond ASCII: the updater reads "[\xE4pfel]" as the
// section of module "\xC4pfel", so sign must give that entry its digest, not
// keep the old one and sign it.
TEST(QuorvinPublishTest, SectionsAreMatchedAsTheUpdaterMatchesThem) {
  TServer server;
  const std::string publicKey = server.Keygen();
  const std::string old = "sha256=" + std::string(64, '0') + ",size=3";
  server.Write(
      "download/allfiles.ini",
      "[modules]\r\n\xC4pfel=Apfel.exe\r\n[\xE4pfel]\r\nMain=2.0.000,Apfel.dll," + old + "\r\n");
  server.Write("download/Apfel.dll", "new apples");
  const TResult signedTree = server.Sign();
  ASSERT_EQ(signedTree.status, 0) << signedTree.output;
  const std::string catalogue = server.Catalogue();
  EXPECT_EQ(catalogue.substr(0, catalogue.find("\r\n[release]")),
            "[modules]\r\n\xC4pfel=Apfel.exe\r\n[\xE4pfel]\r\nMain=2.0.000,Apfel.dll,sha256=" +
                Hex("new apples") + ",size=10\r\n");
  EXPECT_EQ(server.Verify(publicKey).status, 0);
}

// One key writes the one bare line that updaters built before roots read;
// OpenSSL's signature of the same bytes is the same line.
TEST(QuorvinPublishTest, OneKeyWritesOneBareLine) {
  TServer server;
  server.Keygen();
  LayOut(server);
  ASSERT_EQ(server.Sign().status, 0);
  const std::string signature = server.Read("download/allfiles.ini.sig");
  EXPECT_EQ(signature.size(), 89u);
  EXPECT_EQ(signature.find(' '), std::string::npos);
}

TEST(QuorvinPublishTest, TheRotationDrillAsTheReadmeTellsIt) {
  TServer server;
  TVendor vendor(server);
  LayOut(server);
  ASSERT_EQ(vendor.CreateFirst().status, 0);
  const TResult first = vendor.Sign(vendor.Key("cat-1"));
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(vendor.Verify().status, 0);

  // A routine rotation (or a leaked catalogue key): root 2 trusts cat-2
  // only, signed by two root keys of root 1 (which are its own too).
  TResult next = Publish("root-next --catalogue-key two:" + vendor.Public["cat-2"] + " " +
                         vendor.FirstRoot() + " " + vendor.Root(2));
  ASSERT_EQ(next.status, 0) << next.output;
  EXPECT_NE(next.output.find("sign it with 2 of the root keys of root 1 and 2 of its own"),
            std::string::npos)
      << next.output;
  // Published unsigned, the chain breaks there, and verify says where.
  TResult verified = vendor.Verify();
  EXPECT_EQ(verified.status, 1);
  EXPECT_NE(verified.output.find("root 2 is not signed by enough root keys of root 1 (0 of 2)"),
            std::string::npos)
      << verified.output;
  ASSERT_EQ(Publish("root-sign " + vendor.Key("root-b") + " " + vendor.Root(2)).status, 0);
  ASSERT_EQ(Publish("root-sign " + vendor.Key("root-c") + " " + vendor.Root(2)).status, 0);
  // The old catalogue key no longer signs; nothing is written when it tries.
  const std::string before = server.Catalogue();
  TResult refused = vendor.Sign(vendor.Key("cat-1"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("its signature does not match"), std::string::npos)
      << refused.output;
  EXPECT_NE(refused.output.find("nothing was written"), std::string::npos);
  EXPECT_EQ(server.Catalogue(), before);
  const TResult rotated = vendor.Sign(vendor.Key("cat-2"));
  ASSERT_EQ(rotated.status, 0) << rotated.output;
  verified = vendor.Verify();
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_NE(verified.output.find("under root 2"), std::string::npos);

  // A lost root key: root-a is gone; b and c (2 of 3) make root 3 with a
  // new key in its place.
  const TResult made = Publish("keygen " + vendor.Key("root-d"));
  const std::string rootD = made.output.substr(0, made.output.find('\n'));
  next = Publish("root-next --root-key b:" + vendor.Public["root-b"] +
                 " --root-key c:" + vendor.Public["root-c"] + " --root-key d:" + rootD + " " +
                 vendor.Root(2) + " " + vendor.Root(3));
  ASSERT_EQ(next.status, 0) << next.output;
  ASSERT_EQ(Publish("root-sign " + vendor.Key("root-b") + " " + vendor.Key("root-c") + " " +
                    vendor.Key("root-d") + " " + vendor.Root(3))
                .status,
            0);
  ASSERT_EQ(vendor.Sign(vendor.Key("cat-2")).status, 0);
  verified = vendor.Verify();
  EXPECT_EQ(verified.status, 0) << verified.output;
  EXPECT_NE(verified.output.find("under root 3"), std::string::npos);
}

TEST(QuorvinPublishTest, SeveralCatalogueKeysSignOneLineEach) {
  TServer server;
  TVendor vendor(server);
  LayOut(server);
  ASSERT_EQ(Publish("root-create --root-key " + vendor.Public["root-a"] + " --catalogue-key " +
                    vendor.Public["cat-1"] + " --catalogue-key " + vendor.Public["cat-2"] +
                    " --catalogue-threshold 2 " + vendor.FirstRoot())
                .status,
            0);
  ASSERT_EQ(Publish("root-sign " + vendor.Key("root-a") + " " + vendor.FirstRoot()).status, 0);
  const TResult one = vendor.Sign(vendor.Key("cat-1"));
  EXPECT_EQ(one.status, 1);
  EXPECT_NE(one.output.find("it is signed by 1 of the 2 different catalogue keys it needs"),
            std::string::npos)
      << one.output;
  EXPECT_FALSE(server.Exists("download/allfiles.ini.sig"));
  EXPECT_EQ(vendor.Sign(vendor.Key("cat-1") + " " + vendor.Key("cat-1")).status, 1);
  const TResult both = vendor.Sign(vendor.Key("cat-1") + " " + vendor.Key("cat-2"));
  ASSERT_EQ(both.status, 0) << both.output;
  const std::string signatures = server.Read("download/allfiles.ini.sig");
  EXPECT_EQ(signatures.substr(0, 45), vendor.Public["cat-1"] + " ");
  EXPECT_EQ(std::count(signatures.begin(), signatures.end(), '\n'), 2);
  EXPECT_EQ(vendor.Verify().status, 0);
  // Several keys need the root that says how many must sign.
  EXPECT_EQ(
      Publish("sign " + vendor.Key("cat-1") + " " + vendor.Key("cat-2") + " " + server.Root).status,
      1);
}

TEST(QuorvinPublishTest, ARootThatCouldNeverBeObeyedIsNotWritten) {
  TServer server;
  TVendor vendor(server);
  const std::string file = server.Root + "/bad.root";
  TResult made = Publish("root-create --root-threshold 2 --root-key " + vendor.Public["root-a"] +
                         " --root-key x:" + vendor.Public["root-a"] + " --catalogue-key " +
                         vendor.Public["cat-1"] + " " + file);
  EXPECT_EQ(made.status, 1);
  EXPECT_NE(made.output.find("its RootThreshold must be from 1 to 1"), std::string::npos)
      << made.output;
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(Publish("root-create --root-key " + vendor.Public["root-a"] + " " + file).status, 1);
  EXPECT_EQ(Publish("root-create --root-key bad:key --catalogue-key " + vendor.Public["cat-1"] +
                    " " + file)
                .status,
            1);
  EXPECT_EQ(Publish("root-create --root-threshold 0 " + file).status, 2);
  ASSERT_EQ(vendor.CreateFirst().status, 0);
  EXPECT_NE(Publish("root-create --root-key " + vendor.Public["root-a"] + " --catalogue-key " +
                    vendor.Public["cat-1"] + " " + vendor.FirstRoot())
                .output.find("already exists"),
            std::string::npos);
}

// A catalogue key that signed the largest serial (by mistake, or a thief's)
// is rotated away; the new key's first catalogue starts from the clock.
TEST(QuorvinPublishTest, RestartSerialStartsAgainFromTheClock) {
  TServer server;
  TVendor vendor(server);
  LayOut(server);
  ASSERT_EQ(vendor.CreateFirst().status, 0);
  server.Write("download/allfiles.ini",
               kCatalogue + "[release]\r\nSerial=18446744073709551615\r\n");
  const TResult frozen = vendor.Sign(vendor.Key("cat-1"));
  EXPECT_EQ(frozen.status, 1);
  EXPECT_NE(frozen.output.find("see --restart-serial"), std::string::npos) << frozen.output;
  const TResult restarted = Publish("sign --restart-serial --root " + vendor.FirstRoot() + " " +
                                    vendor.Key("cat-1") + " " + server.Root);
  ASSERT_EQ(restarted.status, 0) << restarted.output;
  EXPECT_NE(server.Catalogue().find("Serial=" +
                                    std::to_string(UtcTimeDigits(SystemUtcNow())).substr(0, 8)),
            std::string::npos);
}
