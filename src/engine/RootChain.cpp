#include "engine/RootChain.h"

#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/SignatureLines.h"

namespace engine {

namespace {

std::vector<TSignatureLine> SignaturesOf(const TSignedRoot& root, const std::string& name) {
  auto lines = ReadSignatureLines(root.Signatures);
  if (!lines) RefuseCatalogue("the signatures of " + name + " are not in the expected form.");
  return *lines;
}

// Raises unless a threshold of the role's keys signed the root's text.
void CheckSignedBy(const TSignedRoot& root, const std::vector<TSignatureLine>& lines,
                   const TKeyRole& keys, const std::string& failure) {
  const int signers = CountSigners(root.Text, lines, keys);
  if (signers < keys.Threshold)
    RefuseCatalogue(failure + " (" + std::to_string(signers) + " of " +
                    std::to_string(keys.Threshold) + ").");
}

}  // namespace

std::string RootName(uint64_t version) { return "root " + std::to_string(version); }

TRoot AcceptNextRoot(const TRoot& current, const TSignedRoot& next) {
  const uint64_t expected = current.Version + 1;
  const std::string name = RootName(expected);
  const auto lines = SignaturesOf(next, name);
  CheckSignedBy(next, lines, current.RootKeys,
                name + " is not signed by enough root keys of " + RootName(current.Version));
  const TRoot root = ParseRoot(next.Text, name);
  if (root.Version != expected)
    RefuseCatalogue("the file of " + name + " carries version " + std::to_string(root.Version) +
                    ".");
  CheckSignedBy(next, lines, root.RootKeys, name + " is not signed by enough of its own root keys");
  return root;
}

TRoot ReadFirstRoot(const TSignedRoot& signedRoot, const std::string& what) {
  const TRoot root = ParseRoot(signedRoot.Text, what);
  CheckSignedBy(signedRoot, SignaturesOf(signedRoot, what), root.RootKeys,
                what + " is not signed by enough of its own root keys");
  return root;
}

TRoot WalkRootChain(const TRoot& start, IRootSource& source, const TRootAccepted& accepted) {
  TRoot current = start;
  while (current.Version < UINT64_MAX) {
    const auto next = source.Fetch(current.Version + 1);
    if (!next) break;
    current = AcceptNextRoot(current, *next);
    if (accepted) accepted(current, *next);
  }
  return current;
}

void CheckRootCurrent(const TRoot& root, int64_t now) {
  if (root.Expires && now > *root.Expires)
    RefuseCatalogue(
        ExpiredText("its root of trust (" + RootName(root.Version) + ")", *root.Expires, now));
}

}  // namespace engine
