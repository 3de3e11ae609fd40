#pragma once
// Whether a downloaded file may be staged.
//
// What a file must be is known before its transfer starts (TExpectedFile);
// the verdict comes once it has arrived: the length the transfer announced,
// the bytes received, and their SHA-256, which the download computes as the
// body streams in (TSha256Hasher).
//
// The expectation comes from the component's entry in the catalogue copy:
//   - no digest and an unsigned catalogue: the length check alone, as always;
//   - a SHA-256 digest (any build): the length check and the digest;
//   - a malformed digest (any build), or no digest in a signed catalogue:
//     nothing can vouch for the file, so it is not fetched and never staged.
#include <cstdint>
#include <string>

#include "engine/UpdaterContext.h"
#include "util/Sha256.h"

namespace engine {

struct TExpectedFile {
  enum TTrust { kLengthOnly, kLengthAndSha256, kUntrusted };
  TTrust Trust = kLengthOnly;
  TSha256Digest Sha256{};  // when Trust is kLengthAndSha256
};

// The expectation of a catalogue entry's file.
TExpectedFile ExpectedFileOfEntry(const std::string& catalogueEntry, bool signedCatalogue);
// The same for a component, read again from the catalogue copy that
// detection stored (and, in a build with a key, verified) in the program folder.
TExpectedFile ExpectedFile(const TUpdaterContext& context, const std::string& module,
                           const std::string& component);

// True when the file may be staged: the announced length was received, no
// more and no less, and its digest matches where one is expected.
bool DownloadIsGood(const TExpectedFile& expected, int64_t announcedLength, int64_t receivedLength,
                    const TSha256Digest& received);

}  // namespace engine
