#include "engine/DownloadVerdict.h"

#include "engine/Catalogue.h"
#include "engine/ComponentDigest.h"
#include "util/QuorvinSI.h"

namespace engine {

TExpectedFile ExpectedFileOfEntry(const std::string& catalogueEntry, bool signedCatalogue) {
  TQuorvinSI fields;
  fields.SetDelimiter(',');
  fields.SetSourceString(catalogueEntry);
  const TDigestClaim claim = ReadDigestClaim(fields.FieldList());
  switch (claim.Kind) {
    case TDigestClaim::kSha256:
      return {TExpectedFile::kLengthAndSha256, claim.Sha256};
    case TDigestClaim::kMalformed:
      return {TExpectedFile::kUntrusted, {}};
    case TDigestClaim::kNone:
      break;
  }
  return {signedCatalogue ? TExpectedFile::kUntrusted : TExpectedFile::kLengthOnly, {}};
}

TExpectedFile ExpectedFile(const TUpdaterContext& context, const std::string& module,
                           const std::string& component) {
  TCatalogue catalogue(context.ProgramFolder + kCatalogueFileName);
  return ExpectedFileOfEntry(catalogue.Entry(module, component), !context.CatalogueKey.empty());
}

bool DownloadIsGood(const TExpectedFile& expected, int64_t announcedLength, int64_t receivedLength,
                    const TSha256Digest& received) {
  switch (expected.Trust) {
    case TExpectedFile::kUntrusted:
      return false;
    case TExpectedFile::kLengthAndSha256:
      if (received != expected.Sha256) return false;
      break;
    case TExpectedFile::kLengthOnly:
      break;
  }
  return receivedLength == announcedLength;
}

}  // namespace engine
