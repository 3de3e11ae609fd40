#include "engine/CatalogueSignature.h"

#include "engine/SignatureLines.h"

void RefuseCatalogue(const std::string& reason) {
  throw ECatalogueNotVerified(kNotVerifiedText + reason);
}

std::string HttpStatusText(int statusCode) {
  return " (HTTP status " + std::to_string(statusCode) + ").";
}

void CheckCatalogueSignature(std::string_view catalogue, std::string_view signatureFile,
                             const engine::TKeyRole& catalogueKeys) {
  if (signatureFile.size() > engine::kMaxSignatureFileSize) RefuseCatalogue(kSignatureTooLargeText);
  const auto lines = engine::ReadSignatureLines(signatureFile);
  if (!lines || lines->empty()) RefuseCatalogue(kSignatureMalformedText);
  const int signers = engine::CountSigners(catalogue, *lines, catalogueKeys);
  if (signers >= catalogueKeys.Threshold) return;
  if (catalogueKeys.Threshold == 1) RefuseCatalogue(kSignatureMismatchText);
  RefuseCatalogue("it is signed by " + std::to_string(signers) + " of the " +
                  std::to_string(catalogueKeys.Threshold) + " different catalogue keys it needs.");
}
