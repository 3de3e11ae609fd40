#include "engine/SignedCatalogue.h"

#include <string>

#include "engine/AcceptedSerial.h"
#include "engine/BoundedBody.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/TransferProgress.h"
#include "http/HttpClient.h"
#include "util/Base64.h"
#include "util/Ed25519.h"

namespace {

std::string PublicKey(const TUpdaterContext& context) {
  const auto key = DecodeBase64(context.CatalogueKey);
  if (!key || key->size() != kEd25519PublicKeySize)
    RefuseCatalogue("the key built into this program is not valid.");
  return *key;
}

// The signature file's text.  An HTTP error status means the server has no
// signature to offer; other failures (a dropped connection) stay what they
// are.  A file longer than any signature is refused while it arrives.
std::string FetchSignature(TUpdaterContext& context) {
  engine::TBoundedBody body(kMaxSignatureFileSize, [] { RefuseCatalogue(kSignatureTooLargeText); });
  try {
    context.HttpClient.Get(context.DownloadUrl + kSignaturePath, body);
  } catch (const EHttpProtocolException& error) {
    RefuseCatalogue(std::string(kSignatureMissingText) + " (" + error.Message() + ").");
  }
  // Exit cut the transfer: the run ends as after a catalogue cut short.
  EndListingIfAborted(context);
  return std::string(body.Bytes());
}

}  // namespace

bool CatalogueMustBeSigned(const TUpdaterContext& context) { return !context.CatalogueKey.empty(); }

void VerifyCatalogue(TUpdaterContext& context, std::string_view catalogue) {
  const std::string key = PublicKey(context);
  CheckCatalogueSignature(catalogue, FetchSignature(context), key);
  const TCatalogueRelease release = ReadCatalogueRelease(catalogue);
  const uint64_t accepted = engine::ReadAcceptedSerial(context.ProgramFolder);
  CheckCatalogueRelease(release, accepted, context.UtcNow());
  if (release.Serial > accepted)
    engine::RecordAcceptedSerial(context.ProgramFolder, release.Serial);
}
