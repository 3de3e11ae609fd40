#pragma once
// The vendor's side of roots of trust (engine/TrustRoot.h, RootChain.h):
//
//   root-create  the first root, from keys and thresholds
//   root-next    the next root after a published one (a rotation): the same
//                keys and thresholds unless options replace them
//   root-sign    adds the signatures of one or several secret keys to a
//                root's signature file (ROOT_FILE.sig), each line naming its key
//
// A root is published below SERVER_ROOT as download/root/<N>.root with
// download/root/<N>.root.sig; root N+1 needs the signatures of a threshold
// of root N's root keys and of a threshold of its own.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ServerTree.h"
#include "engine/RootChain.h"

// What root-create and root-next are told; every unset part keeps what the
// previous root had (root-create has none: keys and thresholds of 1).
struct TRootOptions {
  std::vector<std::string> RootKeys;       // "[LABEL:]BASE64"
  std::vector<std::string> CatalogueKeys;  // "[LABEL:]BASE64"
  std::optional<int> RootThreshold, CatalogueThreshold;
  std::optional<int> ExpiresInDays;  // an expiry is never carried over
  std::optional<uint64_t> SerialFloor;
};

int RootCreate(const TRootOptions& options, const std::string& rootFile, std::ostream& out);
int RootNext(const TRootOptions& options, const std::string& previousFile,
             const std::string& rootFile, std::ostream& out);
int RootSign(const std::vector<std::string>& secretKeyFiles, const std::string& rootFile,
             std::ostream& out);

// A root file and its signature file (the same path + ".sig"); raises
// Exception when either cannot be read.
engine::TSignedRoot ReadSignedRoot(const std::string& rootFile);

// The roots a server tree publishes, for the walk the updater makes.
class TTreeRoots : public engine::IRootSource {
 public:
  explicit TTreeRoots(const TServerTree& tree) : FTree(tree) {}
  std::optional<engine::TSignedRoot> Fetch(uint64_t version) override;

 private:
  const TServerTree& FTree;
};
