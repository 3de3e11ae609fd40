#include "engine/DownloadVerdict.h"

#include "engine/Catalogue.h"
#include "engine/ComponentDigest.h"
#include "engine/ComponentSize.h"
#include "engine/SignedCatalogue.h"
#include "util/QuorvinSI.h"
#include "util/allfunct.h"

namespace engine {

namespace {

const TExpectedFile kUntrustedFile{TExpectedFile::kUntrusted, {}, std::nullopt, {}};

TStringList EntryFields(const std::string& catalogueEntry) {
  TQuorvinSI fields;
  fields.SetDelimiter(',');
  fields.SetSourceString(catalogueEntry);
  return fields.FieldList();
}

}  // namespace

TExpectedFile ExpectedFileOfEntry(const std::string& catalogueEntry, bool signedCatalogue) {
  const TStringList fields = EntryFields(catalogueEntry);
  const TDigestClaim digest = ReadDigestClaim(fields);
  const TSizeClaim size = ReadSizeClaim(fields);
  if (digest.Kind == TDigestClaim::kMalformed || size.Kind == TSizeClaim::kMalformed)
    return kUntrustedFile;
  if (signedCatalogue && (digest.Kind == TDigestClaim::kNone || size.Kind == TSizeClaim::kNone))
    return kUntrustedFile;
  TExpectedFile expected;
  if (digest.Kind == TDigestClaim::kSha256) {
    expected.Trust = TExpectedFile::kLengthAndSha256;
    expected.Sha256 = digest.Sha256;
  }
  if (size.Kind == TSizeClaim::kSize) expected.Size = size.Size;
  expected.Offer = ReadDeltaOffer(fields);
  return expected;
}

TExpectedFile ExpectedFile(const TUpdaterContext& context, const TRowEntry& row) {
  TCatalogue catalogue(context.ProgramFolder + kCatalogueFileName);
  const std::string entry = catalogue.Entry(row.Module, row.Component);
  const bool signedCatalogue = CatalogueMustBeSigned(context);
  const TStringList fields = EntryFields(entry);
  if (signedCatalogue && (fields.Count() <= kEntryComponentFile ||
                          fields[kEntryAvailableVersion] != row.AvailableVersion ||
                          BareFileName(fields[kEntryComponentFile]) != row.BareName))
    return kUntrustedFile;
  return ExpectedFileOfEntry(entry, signedCatalogue);
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
  if (expected.Size && receivedLength != *expected.Size) return false;
  return receivedLength == announcedLength;
}

}  // namespace engine
