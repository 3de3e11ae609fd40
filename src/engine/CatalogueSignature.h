#pragma once
// The signatures of a catalogue: "download/allfiles.ini.sig" beside it, a
// signature file (SignatureLines.h) over the catalogue's exact bytes.  The
// catalogue is trusted when a threshold of distinct catalogue keys of the
// current root (TrustRoot.h) signed it.
//
// A catalogue that fails any check is refused with ECatalogueNotVerified,
// whose message starts with kNotVerifiedText and says why.  Nothing a server
// sent is ever part of that text: an HTTP failure is named by its status
// code alone.
#include <string>
#include <string_view>

#include "engine/TrustRoot.h"
#include "util/Errors.h"

QUORVIN_DECLARE_ERROR(ECatalogueNotVerified, Exception);

inline constexpr const char* kSignaturePath = "download/allfiles.ini.sig";  // below the base URL

inline constexpr const char* kNotVerifiedText = "The update catalogue could not be verified: ";
// Followed by HttpStatusText.
inline constexpr const char* kSignatureMissingText = "its signature is missing";
inline constexpr const char* kSignatureTooLargeText = "its signature file is too large.";
inline constexpr const char* kSignatureMalformedText = "its signature is not in the expected form.";
inline constexpr const char* kSignatureMismatchText = "its signature does not match.";

// Raises ECatalogueNotVerified with kNotVerifiedText and the reason.
[[noreturn]] void RefuseCatalogue(const std::string& reason);

// " (HTTP status 404)." for a status code: the server's own words stay out.
std::string HttpStatusText(int statusCode);

// Checks the signature file's text against the catalogue's bytes and the
// catalogue keys of the current root; raises ECatalogueNotVerified when
// fewer distinct keys than the threshold signed it.
void CheckCatalogueSignature(std::string_view catalogue, std::string_view signatureFile,
                             const engine::TKeyRole& catalogueKeys);
