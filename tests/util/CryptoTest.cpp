// The cryptography wrappers against published test vectors, and the strict
// forms of base64, hexadecimal digests and UTC times.
#include <gtest/gtest.h>

#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Errors.h"
#include "util/Sha256.h"
#include "util/UtcTime.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// RFC 8032, section 7.1, tests 1 to 3: seed, public key, message, signature.
struct TEd25519Vector {
  std::string Seed, PublicKey, Message, Signature;
};
const std::vector<TEd25519Vector> kRfc8032 = {
    {FromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"),
     FromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"), "",
     FromHex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc6"
             "1e39701cf9b46bd25bf5f0595bbe24655141438e7a100b")},
    {FromHex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb"),
     FromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"), FromHex("72"),
     FromHex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e45"
             "8f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00")},
    {FromHex("c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7"),
     FromHex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025"), FromHex("af82"),
     FromHex("6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae"
             "67f760984dc6594a7c15e9716ed28dc027beceea1ec40a")},
};
const std::string kPublicKey = kRfc8032[0].PublicKey;

}  // namespace

TEST(CryptoTest, Ed25519MatchesTheRfcVectors) {
  for (const TEd25519Vector& vector : kRfc8032) {
    EXPECT_EQ(Ed25519PublicKey(vector.Seed), vector.PublicKey);
    EXPECT_EQ(SignEd25519(vector.Message, vector.Seed), vector.Signature);
    EXPECT_TRUE(VerifyEd25519(vector.Message, vector.Signature, vector.PublicKey));
  }
}

TEST(CryptoTest, Ed25519RefusesEverythingElse) {
  const TEd25519Vector& vector = kRfc8032[1];
  std::string flipped = vector.Signature;
  flipped[10] ^= 1;
  EXPECT_FALSE(VerifyEd25519(vector.Message, flipped, vector.PublicKey));
  EXPECT_FALSE(VerifyEd25519("x", vector.Signature, vector.PublicKey));
  EXPECT_FALSE(VerifyEd25519(vector.Message, vector.Signature, kRfc8032[2].PublicKey));
  EXPECT_FALSE(VerifyEd25519(vector.Message, vector.Signature.substr(1), vector.PublicKey));
  EXPECT_FALSE(VerifyEd25519(vector.Message, vector.Signature, vector.PublicKey.substr(1)));
  EXPECT_FALSE(VerifyEd25519(vector.Message, std::string(64, '\0'), vector.PublicKey));
  // S at or above the group order would let one signature be written twice.
  std::string highS = vector.Signature;
  highS[63] = static_cast<char>(0xff);
  EXPECT_FALSE(VerifyEd25519(vector.Message, highS, vector.PublicKey));
  // A public key that is no point of the curve.
  EXPECT_FALSE(VerifyEd25519(vector.Message, vector.Signature, std::string(31, '\xff') + "\x7f"));
  EXPECT_THROW(SignEd25519("", vector.Seed.substr(1)), Exception);
  EXPECT_NE(NewEd25519Seed(), NewEd25519Seed());
  // A refusal leaves nothing behind: the next good signature still verifies.
  EXPECT_TRUE(VerifyEd25519(vector.Message, vector.Signature, vector.PublicKey));
}

// Known answers of FIPS 180-2 and of lengths around the 64-byte block and its
// padding (the padding needs a second block from 56 bytes on).
TEST(CryptoTest, Sha256KnownAnswers) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const auto& [message, digest] : cases)
    EXPECT_EQ(DigestHex(Sha256(message)), digest) << message.size() << " bytes";
}

TEST(CryptoTest, Sha256FedInOddPiecesEqualsTheWhole) {
  const std::string million(1000000, 'a');
  TSha256Hasher hasher;
  for (size_t at = 0, piece = 1; at < million.size(); at += piece, piece = piece * 3 % 65521 + 1)
    hasher.Update(million.data() + at, std::min(piece, million.size() - at));
  EXPECT_EQ(DigestHex(hasher.Final()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(hasher.Final(), Sha256(""));  // starts over after Final
  TSha256Hasher moved = std::move(hasher);
  moved.Update("abc", 3);
  EXPECT_EQ(moved.Final(), Sha256("abc"));
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
  // RFC 4648, section 10.
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& [bytes, text] : vectors) {
    EXPECT_EQ(EncodeBase64(bytes), text);
    EXPECT_EQ(DecodeBase64(text), bytes) << text;
  }
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte += static_cast<char>(byte);
  EXPECT_EQ(DecodeBase64(EncodeBase64(everyByte)), everyByte);
  for (const char* bad :
       {"11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo", " QQ==", "QQ== ", "Q Q==", "QR==", "QQ=",
        "QQ===", "Q-==", "QQ==QQ==", "Zm9=", "====", "Zg=a", "Zm8=\n"})
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
