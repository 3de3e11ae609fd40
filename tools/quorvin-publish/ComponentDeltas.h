#pragma once
// The compressed copy and the patches of one component's file, for a server
// tree's download/delta/ (engine/DeltaOffer.h names them there), and the
// offer that the component's catalogue entry states for them.
//
// They are made in memory, and nothing is written until WriteDeltaFiles:
// the publishing tool makes those of every component, and checks the whole
// catalogue, before it writes anything.  Only what saves bytes is kept: the
// compressed copy when it is smaller than the file, a patch when it is
// smaller than the compressed copy (or, without one, the file).  Every file
// kept is rebuilt as the updater will rebuild it (DeltaCheck.h); one that
// does not rebuild the file exactly stops the publishing.  A file of that
// name that is on disk already and rebuilds the file is kept as it is:
// names follow the content, so it is the same file, and making it again
// would only cost time.  A file of 2 GiB or more gets neither: the updater
// never stages one.
#include <cstdint>
#include <string>
#include <vector>

#include "ReleaseArchive.h"
#include "ServerTree.h"
#include "engine/DeltaEncoder.h"
#include "engine/DeltaOffer.h"

struct TComponentFile {
  std::string Bare;  // the bare file name the catalogue entry gives
  std::string Path;  // the file in the server tree
  TSha256Digest Digest{};
};

struct TDeltaFile {
  std::string Path;  // below download/
  int64_t Size = 0;
  std::string Release;  // the base's release; "" for the compressed copy
  std::string Made;     // its bytes, still to be written; "" when the file on disk is kept
};

struct TComponentDeltas {
  engine::TDeltaOffer Offer;
  // The compressed copy first, then the patches in the offer's order.
  std::vector<TDeltaFile> Files;
  int64_t FileSize = 0;
};

TComponentDeltas MakeComponentDeltas(const TServerTree& tree, const TComponentFile& file,
                                     const std::vector<TEarlierVersion>& earlier,
                                     int level = engine::kDefaultDeltaLevel);
// Writes the files made (each whole or not at all, engine's WriteWholeFile).
void WriteDeltaFiles(const TServerTree& tree, const TComponentDeltas& deltas);
