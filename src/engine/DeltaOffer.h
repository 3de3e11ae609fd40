#pragma once
// Smaller downloads of a component's file: what a catalogue entry offers
// besides the file itself, and where those files lie on the server.
//
// Two kinds of file can stand in for the whole file "download/<bare>":
//   - the compressed copy: the file compressed with zstd;
//   - a patch: the file compressed with zstd against an earlier version of
//     it (the base), which the frames reference as their prefix, so only what
//     changed costs bytes.  A patch is of use to a user who has that base.
// Both are whole files of their own, fetched with a plain GET (the updater
// never asks for a byte range), and both are named after the SHA-256 of the
// file they rebuild, so a name never changes its content: a cache or a
// mirror can never hand out a stale one, and a client holding an older
// catalogue asks for names that a newer release leaves alone.  They lie
// below "download/delta/", which the publishing tool keeps:
//
//   download/delta/<bare>.<T>.zst          the compressed copy
//   download/delta/<bare>.<B>.<T>.patch    a patch from base B
//
// where T and B are the first 16 hexadecimal digits (lower case) of the
// SHA-256 of the file rebuilt and of the base.  The file format is
// RebuildStream.h's.
//
// The component's catalogue entry says what exists, in fields of its own
// after the version and the file (where "sha256=" is), each with the blanks
// around it dropped:
//
//   Main=2.1.005,Report.dll,sha256=<64 digits>,zst,patch=9c1e2f3a4b5c6d7e,patch=...
//
//   "zst"            the compressed copy exists;
//   "patch=<B>"      a patch from the base whose digest begins with B
//                    (16 lower-case hexadecimal digits) exists; one field
//                    per base, the publishing tool writes the newest first.
//
// These fields only name routes to a file: what the file must be is still
// the entry's signed digest (and size), and whatever arrives by any route
// is checked against it before it is staged.  So a field the updater cannot
// read is passed over, never an error, and an entry without such fields
// reads exactly as before: the updater then asks for nothing but the file.
// The catalogue is signed whole, so these fields are as trusted as the rest.
//
// The base that counts on the user's side is the installed copy in the
// module's first installation folder: the folder whose Version.ini gave the
// installed version, whose copy was probed for being in use, and whose copy
// the installation replaces.  Its SHA-256 decides which patch, if any, fits.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Sha256.h"
#include "util/StringList.h"

namespace engine {

inline constexpr const char* kCompressedCopyField = "zst";
inline constexpr const char* kPatchFieldName = "patch=";
inline constexpr const char* kDeltaFolder = "delta/";  // below "download/"
inline constexpr size_t kDigestPrefixLength = 16;      // hexadecimal digits

struct TDeltaOffer {
  bool CompressedCopy = false;
  std::vector<std::string> PatchBases;  // digest prefixes, in the entry's order, no repeats

  bool Empty() const { return !CompressedCopy && PatchBases.empty(); }
  bool HasPatchFrom(const TSha256Digest& base) const;
};

// The offer of an entry's fields (the entry split at commas).
TDeltaOffer ReadDeltaOffer(const TStringList& entryFields);
// The fields that state the offer, each after a comma: "" for an empty one,
// else for example ",zst,patch=9c1e2f3a4b5c6d7e".
std::string DeltaOfferFields(const TDeltaOffer& offer);

// The first kDigestPrefixLength hexadecimal digits of the digest.
std::string DigestPrefix(const TSha256Digest& digest);
bool IsDigestPrefix(std::string_view text);

// The one smaller download worth trying before the whole file: the patch
// from the installed copy when the offer has one, else the compressed copy
// when it is offered.  Whatever fails of it, the whole file comes next: a
// second smaller route would only add a request to a run gone wrong once.
struct TDeltaRoute {
  std::string Path;  // below "download/"
  bool Patch = false;
};
std::optional<TDeltaRoute> ChooseDeltaRoute(const TDeltaOffer& offer, const std::string& bare,
                                            const TSha256Digest& target,
                                            const std::optional<TSha256Digest>& installed);

// The paths below "download/" of the compressed copy and of a patch.
std::string CompressedCopyPath(const std::string& bare, const TSha256Digest& target);
std::string PatchPath(const std::string& bare, const std::string& basePrefix,
                      const TSha256Digest& target);

}  // namespace engine
