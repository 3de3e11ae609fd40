#include "engine/SignedCatalogue.h"

#include <string>

#include "engine/AcceptedSerial.h"
#include "engine/BoundedBody.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/RootUpdate.h"
#include "engine/SignatureLines.h"
#include "engine/TransferProgress.h"
#include "http/HttpClient.h"

namespace {

// The signature file's text.  An HTTP error status means the server has no
// signature to offer; other failures (a dropped connection) stay what they
// are.  A file longer than any signature file is refused while it arrives.
std::string FetchSignature(TUpdaterContext& context) {
  engine::TBoundedBody body(engine::kMaxSignatureFileSize,
                            [] { RefuseCatalogue(kSignatureTooLargeText); });
  try {
    context.HttpClient.Get(context.DownloadUrl + kSignaturePath, body);
  } catch (const EHttpProtocolException& error) {
    RefuseCatalogue(kSignatureMissingText + HttpStatusText(error.ErrorCode()));
  }
  // Exit cut the transfer: the run ends as after a catalogue cut short.
  EndListingIfAborted(context);
  return std::string(body.Bytes());
}

// Records the catalogue's serial under the root's catalogue keys, unless the
// file says so already.
void RecordSerial(const std::string& programFolder, const engine::TAcceptedSerial& before,
                  const engine::TRoot& root, uint64_t serial) {
  const engine::TAcceptedSerial accepted{serial,
                                         engine::CatalogueKeysFingerprint(root.CatalogueKeys)};
  if (before.Keys == accepted.Keys && before.Serial >= serial) return;
  engine::RecordAcceptedSerial(programFolder, accepted);
}

}  // namespace

bool CatalogueMustBeSigned(const TUpdaterContext& context) {
  return !context.BuiltInRootText.empty() || !context.CatalogueKey.empty();
}

void VerifyCatalogue(TUpdaterContext& context, const engine::TRoot& root,
                     std::string_view catalogue) {
  CheckCatalogueSignature(catalogue, FetchSignature(context), root.CatalogueKeys);
  const TCatalogueRelease release = ReadCatalogueRelease(catalogue);
  const engine::TAcceptedSerial before = engine::ReadAcceptedSerial(context.ProgramFolder);
  const uint64_t toReach = engine::SerialToReach(before, root, *engine::BuiltInRoot(context));
  CheckCatalogueRelease(release, toReach, context.UtcNow());
  RecordSerial(context.ProgramFolder, before, root, release.Serial);
}
