// The catalogue fields that offer a compressed copy and patches, and the
// names those files have on the server.
#include "engine/DeltaOffer.h"

#include <gtest/gtest.h>

#include "engine/ComponentDigest.h"
#include "util/QuorvinSI.h"

using engine::TDeltaOffer;

namespace {

TDeltaOffer OfferOf(const std::string& entry) {
  TQuorvinSI fields;
  fields.SetDelimiter(',');
  fields.SetSourceString(entry);
  return engine::ReadDeltaOffer(fields.FieldList());
}

const std::string kDigest = "9c1e2f3a4b5c6d7e" + std::string(48, '0');

}  // namespace

TEST(DeltaOffer, TheFieldsAfterTheFileNameWhatExists) {
  const TDeltaOffer offer = OfferOf("2.1.005,Report.dll,sha256=" + kDigest +
                                    ", zst ,patch=0123456789abcdef,patch=fedcba9876543210");
  EXPECT_TRUE(offer.CompressedCopy);
  EXPECT_EQ(offer.PatchBases, (std::vector<std::string>{"0123456789abcdef", "fedcba9876543210"}));
  // The digest field reads as before beside them.
  TQuorvinSI fields;
  fields.SetDelimiter(',');
  fields.SetSourceString("2.1.005,Report.dll,zst,sha256=" + kDigest + ",patch=0123456789abcdef");
  EXPECT_EQ(engine::ReadDigestClaim(fields.FieldList()).Kind, engine::TDigestClaim::kSha256);
}

TEST(DeltaOffer, AnEntryWithoutThemOrWithFieldsItCannotReadOffersNothing) {
  EXPECT_TRUE(OfferOf("2.1.005,Report.dll").Empty());
  EXPECT_TRUE(OfferOf("2.1.005,Report.dll,sha256=" + kDigest + ",x,beta=1").Empty());
  // Neither the version nor the file counts, whatever they hold.
  EXPECT_TRUE(OfferOf("zst,zst").Empty());
  // Routes that cannot be read are passed over; the entry stays as good as it was.
  const TDeltaOffer offer = OfferOf(
      "1.0.0,a.dll,ZST,zstd,zst=1,patch=0123456789ABCDEF,patch=0123456789abcde,"
      "patch=0123456789abcdef0,patch=0123456789abcdeg,patch=,patch,Patch=0123456789abcdef");
  EXPECT_TRUE(offer.Empty());
}

TEST(DeltaOffer, ABaseNamedTwiceCountsOnceAndTheFieldsWriteBackAsRead) {
  const std::string fields = ",zst,patch=0123456789abcdef,patch=fedcba9876543210";
  const TDeltaOffer offer = OfferOf("1.0.0,a.dll" + fields + ",patch=0123456789abcdef");
  EXPECT_EQ(offer.PatchBases.size(), 2u);
  EXPECT_EQ(engine::DeltaOfferFields(offer), fields);
  EXPECT_EQ(engine::DeltaOfferFields(TDeltaOffer{}), "");
  EXPECT_EQ(engine::DeltaOfferFields(OfferOf("1.0.0,a.dll,patch=fedcba9876543210")),
            ",patch=fedcba9876543210");
}

TEST(DeltaOffer, APatchFitsTheBaseWhoseDigestBeginsWithItsPrefix) {
  const TSha256Digest base = *DigestFromHex(kDigest);
  EXPECT_EQ(engine::DigestPrefix(base), "9c1e2f3a4b5c6d7e");
  EXPECT_TRUE(OfferOf("1,a,patch=9c1e2f3a4b5c6d7e").HasPatchFrom(base));
  EXPECT_FALSE(OfferOf("1,a,patch=9c1e2f3a4b5c6d7f").HasPatchFrom(base));
  EXPECT_FALSE(OfferOf("1,a,zst").HasPatchFrom(base));
}

TEST(DeltaOffer, TheFilesAreNamedAfterTheDigestsBelowTheDeltaFolder) {
  const TSha256Digest target = *DigestFromHex(std::string(16, 'a') + std::string(48, '1'));
  EXPECT_EQ(engine::CompressedCopyPath("Report.dll", target),
            "delta/Report.dll.aaaaaaaaaaaaaaaa.zst");
  EXPECT_EQ(engine::PatchPath("Report.dll", "0123456789abcdef", target),
            "delta/Report.dll.0123456789abcdef.aaaaaaaaaaaaaaaa.patch");
}

TEST(DeltaOffer, ThePatchFromTheInstalledCopyComesFirstThenTheCompressedCopyThenNothing) {
  const TSha256Digest target = *DigestFromHex(std::string(64, 'a'));
  const TSha256Digest installed = *DigestFromHex(kDigest);
  const TDeltaOffer both = OfferOf("1,a,zst,patch=9c1e2f3a4b5c6d7e");
  const auto patch = engine::ChooseDeltaRoute(both, "a.dll", target, installed);
  ASSERT_TRUE(patch);
  EXPECT_TRUE(patch->Patch);
  EXPECT_EQ(patch->Path, engine::PatchPath("a.dll", "9c1e2f3a4b5c6d7e", target));
  // An installed copy that matches no base, or none to hash: the compressed copy.
  const TSha256Digest other = *DigestFromHex(std::string(64, 'b'));
  for (const auto& copy : {engine::ChooseDeltaRoute(both, "a.dll", target, other),
                           engine::ChooseDeltaRoute(both, "a.dll", target, std::nullopt)}) {
    ASSERT_TRUE(copy);
    EXPECT_FALSE(copy->Patch);
    EXPECT_EQ(copy->Path, engine::CompressedCopyPath("a.dll", target));
  }
  EXPECT_FALSE(
      engine::ChooseDeltaRoute(OfferOf("1,a,patch=9c1e2f3a4b5c6d7e"), "a.dll", target, other));
  EXPECT_FALSE(engine::ChooseDeltaRoute(OfferOf("1,a"), "a.dll", target, installed));
}
