#pragma once
// The vendor's archive of earlier releases, where the publishing tool finds
// the earlier versions of each component to make patches from.
//
// The archive is a folder with one folder per earlier release, each a copy
// of that release's server tree as it was published (its delta folder need
// not be kept):
//
//   ARCHIVE/<release>/download/allfiles.ini   the release's catalogue
//   ARCHIVE/<release>/download/<bare name>    its component files
//
// A folder without download/allfiles.ini is no release, and neither is one
// whose name begins with a dot (quorvin-publish archive fills such a folder
// and renames it when it is whole).  Releases are
// ordered by their catalogue's serial (its [release] section), newest
// first; releases of equal serial (unsigned ones all have 0) by their
// folder's name, the later first, so folders named by date sort right.
//
// A component's earlier versions are its files in those releases, found by
// module and component key, told apart by their SHA-256 (a file that did
// not change is one version however many releases carry it).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "util/Sha256.h"

// How many earlier versions get a patch when the vendor says nothing: the
// versions most users are on, a release or three behind.
inline constexpr int kDefaultPatchCount = 3;

struct TEarlierVersion {
  std::string Release;  // the release's folder name
  std::string Path;     // the file
  TSha256Digest Digest{};
};

class TReleaseArchive {
 public:
  // Reads which releases the archive holds.  Raises Exception naming the
  // catalogue whose serial cannot be read.
  explicit TReleaseArchive(const std::string& root);

  // The release folder names, newest first.
  std::vector<std::string> Releases() const;
  // The last `count` versions of the component's file, newest first,
  // leaving out the version `current` (the one being published).
  std::vector<TEarlierVersion> EarlierVersions(const std::string& module,
                                               const std::string& component,
                                               const TSha256Digest& current, int count) const;
  // The newest version of the component's file whose SHA-256 begins with
  // the digest prefix `base` (engine/DeltaOffer.h); nothing when no release
  // holds one.
  std::optional<TEarlierVersion> VersionWithPrefix(const std::string& module,
                                                   const std::string& component,
                                                   const std::string& base) const;

 private:
  struct TRelease {
    std::string Name;
    uint64_t Serial = 0;
  };
  // The component's file in the release and its digest; nothing when the
  // release names none or it cannot be read.  Each file is hashed once.
  std::optional<TEarlierVersion> VersionIn(const TRelease& release, const std::string& module,
                                           const std::string& component) const;

  std::string FRoot;  // ends in "/"
  std::vector<TRelease> FReleases;
  mutable std::map<std::string, std::optional<TSha256Digest>> FDigests;  // by path
};
