#include "engine/CatalogueSignature.h"

#include <string>

#include "util/Base64.h"
#include "util/Ed25519.h"

namespace {

std::string_view TrimWhiteSpace(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

void RefuseCatalogue(const std::string& reason) {
  throw ECatalogueNotVerified(kNotVerifiedText + reason);
}

void CheckCatalogueSignature(std::string_view catalogue, std::string_view signatureFile,
                             std::string_view publicKey) {
  if (signatureFile.size() > kMaxSignatureFileSize) RefuseCatalogue(kSignatureTooLargeText);
  const auto signature = DecodeBase64(TrimWhiteSpace(signatureFile));
  if (!signature || signature->size() != kEd25519SignatureSize)
    RefuseCatalogue(kSignatureMalformedText);
  if (!VerifyEd25519(catalogue, *signature, publicKey)) RefuseCatalogue(kSignatureMismatchText);
}
