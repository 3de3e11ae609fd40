#include "engine/CatalogueSignature.h"

#include <string>

#include "platform/ProfileText.h"
#include "util/Base64.h"
#include "util/Ed25519.h"

void RefuseCatalogue(const std::string& reason) {
  throw ECatalogueNotVerified(kNotVerifiedText + reason);
}

void CheckCatalogueSignature(std::string_view catalogue, std::string_view signatureFile,
                             std::string_view publicKey) {
  if (signatureFile.size() > kMaxSignatureFileSize) RefuseCatalogue(kSignatureTooLargeText);
  const auto signature = DecodeBase64(platform::TrimBlanks(signatureFile));
  if (!signature || signature->size() != kEd25519SignatureSize)
    RefuseCatalogue(kSignatureMalformedText);
  if (!VerifyEd25519(catalogue, *signature, publicKey)) RefuseCatalogue(kSignatureMismatchText);
}
