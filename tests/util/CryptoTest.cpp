// The cryptography wrappers against published test vectors, and the strict
// forms of base64, hexadecimal digests and UTC times.
#include <gtest/gtest.h>

#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Sha256.h"
#include "util/UtcTime.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// RFC 8032, section 7.1, test 1 (the empty message).
const std::string kSeed =
    FromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
const std::string kPublicKey =
    FromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
const std::string kSignature = FromHex(
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b4"
    "6bd25bf5f0595bbe24655141438e7a100b");

}  // namespace

TEST(CryptoTest, Ed25519MatchesTheRfcVectorAndRefusesAnythingElse) {
  EXPECT_EQ(Ed25519PublicKey(kSeed), kPublicKey);
  EXPECT_EQ(SignEd25519("", kSeed), kSignature);
  EXPECT_TRUE(VerifyEd25519("", kSignature, kPublicKey));
  std::string flipped = kSignature;
  flipped[10] ^= 1;
  EXPECT_FALSE(VerifyEd25519("", flipped, kPublicKey));
  EXPECT_FALSE(VerifyEd25519("x", kSignature, kPublicKey));
  EXPECT_FALSE(VerifyEd25519("", kSignature.substr(1), kPublicKey));
  EXPECT_FALSE(VerifyEd25519("", kSignature, kPublicKey.substr(1)));
  EXPECT_NE(NewEd25519Seed(), NewEd25519Seed());
}

TEST(CryptoTest, Sha256FedInPiecesEqualsTheWholeAndTheKnownDigest) {
  EXPECT_EQ(DigestHex(Sha256("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  TSha256Hasher hasher;
  for (size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 % 65521 + 1)
    hasher.Update(data.data() + at, std::min(piece, data.size() - at));
  EXPECT_EQ(hasher.Final(), Sha256(data));
  EXPECT_EQ(hasher.Final(), Sha256(""));  // starts over after Final
}

TEST(CryptoTest, DigestsAreWrittenInExactlyOneWay) {
  const std::string hex = DigestHex(Sha256("abc"));
  EXPECT_EQ(DigestFromHex(hex), Sha256("abc"));
  const std::vector<std::string> bad = {
      hex.substr(1),
      hex + "0",
      std::string(64, 'A'),
      "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD",
      std::string(63, '0') + "g",
      std::string(63, '0') + " "};
  for (const std::string& text : bad) EXPECT_FALSE(DigestFromHex(text)) << text;
}

TEST(CryptoTest, Base64IsStrict) {
  EXPECT_EQ(EncodeBase64(kPublicKey), "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=");
  EXPECT_EQ(DecodeBase64("11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo="), kPublicKey);
  EXPECT_EQ(DecodeBase64(""), std::string());
  for (const char* bad : {"11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo",
                          " QQ==", "QQ== ", "Q Q==", "QR==", "QQ=", "QQ===", "Q-==", "QQ==QQ=="})
    EXPECT_FALSE(DecodeBase64(bad)) << bad;
}

TEST(CryptoTest, UtcTimesParseOnlyInTheirOneForm) {
  EXPECT_EQ(ParseUtcTime("2025-03-01T12:00:00Z"), 1740830400);
  EXPECT_EQ(ParseUtcTime("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(ParseUtcTime("2024-02-29T23:59:59Z"), 1709251199);
  EXPECT_EQ(FormatUtcTime(1740830400), "2025-03-01T12:00:00Z");
  EXPECT_EQ(UtcTimeDigits(1740830400), 20250301120000u);
  for (const char* bad : {"2025-02-29T00:00:00Z", "2025-13-01T00:00:00Z", "2025-03-01T24:00:00Z",
                          "2025-03-01T12:60:00Z", "2025-03-01 12:00:00Z", "2025-03-01T12:00:00z",
                          "2025-03-01T12:00:00", "2025-3-01T12:00:00Z", "+025-03-01T12:00:00Z", ""})
    EXPECT_FALSE(ParseUtcTime(bad)) << bad;
}
