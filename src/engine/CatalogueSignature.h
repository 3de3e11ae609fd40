#pragma once
// The signature of a catalogue: "download/allfiles.ini.sig" beside it, the
// base64 text (one line; blanks and line breaks around it are ignored) of
// the 64-byte Ed25519 signature over the catalogue's exact bytes.
//
// A catalogue that fails any check is refused with ECatalogueNotVerified,
// whose message starts with kNotVerifiedText and says why.
#include <cstddef>
#include <string_view>

#include "util/Errors.h"

QUORVIN_DECLARE_ERROR(ECatalogueNotVerified, Exception);

inline constexpr const char* kSignaturePath = "download/allfiles.ini.sig";  // below the base URL
// A signature file is 88 characters of base64; anything much longer is not
// one and is refused while it arrives, before it is decoded.
inline constexpr size_t kMaxSignatureFileSize = 1024;

inline constexpr const char* kNotVerifiedText = "The update catalogue could not be verified: ";
// Followed by the HTTP status line in parentheses and a full stop.
inline constexpr const char* kSignatureMissingText = "its signature is missing";
inline constexpr const char* kSignatureTooLargeText = "its signature file is too large.";
inline constexpr const char* kSignatureMalformedText = "its signature is not in the expected form.";
inline constexpr const char* kSignatureMismatchText = "its signature does not match.";

// Raises ECatalogueNotVerified with kNotVerifiedText and the reason.
[[noreturn]] void RefuseCatalogue(const std::string& reason);

// Checks the signature file's text against the catalogue's bytes and the
// public key (32 raw bytes); raises ECatalogueNotVerified when it does not hold.
void CheckCatalogueSignature(std::string_view catalogue, std::string_view signatureFile,
                             std::string_view publicKey);
