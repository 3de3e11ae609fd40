#pragma once
// Whether a downloaded file may be staged.
//
// What a file must be is known before its transfer starts (TExpectedFile);
// the verdict comes once it has arrived: the length the transfer announced,
// the bytes received, and their SHA-256, which the download computes as the
// body streams in.
//
// The expectation comes from the component's entry in the catalogue copy
// (ComponentDigest.h, ComponentSize.h):
//   - an unsigned catalogue: the length check, and the digest and the size
//     where the entry names them;
//   - a signed catalogue: the length check, the digest and the size, which
//     every entry must name;
//   - a malformed digest or size (any build), or a digest or size missing
//     in a signed catalogue, or an entry that is not the one the row was
//     built from: nothing can vouch for the file, so it is not fetched and
//     never staged.
// The entry also names the smaller files that may stand in for the whole
// one (DeltaOffer.h); whatever arrives by them meets the same expectation.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/DeltaOffer.h"
#include "engine/UpdaterContext.h"
#include "util/Sha256.h"

namespace engine {

struct TExpectedFile {
  enum TTrust { kLengthOnly, kLengthAndSha256, kUntrusted };
  TTrust Trust = kLengthOnly;
  TSha256Digest Sha256{};       // when Trust is kLengthAndSha256
  std::optional<int64_t> Size;  // the signed size, where the entry names one
  TDeltaOffer Offer = {};       // the compressed copy and patches the entry names
};

// The expectation of a catalogue entry's file.
TExpectedFile ExpectedFileOfEntry(const std::string& catalogueEntry, bool signedCatalogue);

// The row a file is fetched for, as its update list record holds it.
struct TRowEntry {
  std::string Module, Component;
  std::string AvailableVersion;
  std::string BareName;
};
// The expectation of a row's file, read again from the catalogue copy that
// detection stored (and, in a build with a root, verified) in the program
// folder.  In a build with a root the entry must still offer the row's
// version and file: nothing but the signed entry the row was built from
// vouches for its file.
TExpectedFile ExpectedFile(const TUpdaterContext& context, const TRowEntry& row);

// True when the file may be staged: the announced length was received, no
// more and no less, it has the signed size where there is one, and its
// digest matches where one is expected.
bool DownloadIsGood(const TExpectedFile& expected, int64_t announcedLength, int64_t receivedLength,
                    const TSha256Digest& received);

}  // namespace engine
