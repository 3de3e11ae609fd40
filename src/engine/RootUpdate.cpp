#include "engine/RootUpdate.h"

#include "engine/BoundedBody.h"
#include "engine/CatalogueSignature.h"
#include "engine/KeptRoots.h"
#include "engine/RootChain.h"
#include "engine/SignatureLines.h"
#include "engine/TransferProgress.h"
#include "http/HttpClient.h"
#include "util/Base64.h"
#include "util/Ed25519.h"

namespace engine {

namespace {

constexpr int kNotFound = 404;
constexpr int kGone = 410;

// The next roots as the download server publishes them.
class TServerRoots : public IRootSource {
 public:
  explicit TServerRoots(TUpdaterContext& context) : FContext(context) {}

  std::optional<TSignedRoot> Fetch(uint64_t version) override {
    const std::string path = kRootFolderPath + std::to_string(version);
    const std::string name = RootName(version);
    TSignedRoot root;
    try {
      root.Text = Get(path + kRootSuffix, kMaxRootSize, name + " is larger than a root can be.");
    } catch (const EHttpProtocolException& error) {
      if (error.ErrorCode() == kNotFound || error.ErrorCode() == kGone) return std::nullopt;
      RefuseCatalogue(name + " could not be fetched" + HttpStatusText(error.ErrorCode()));
    }
    try {
      root.Signatures = Get(path + kRootSignatureSuffix, kMaxSignatureFileSize,
                            "the signatures of " + name + " are too large.");
    } catch (const EHttpProtocolException& error) {
      RefuseCatalogue("the signatures of " + name + " are missing" +
                      HttpStatusText(error.ErrorCode()));
    }
    return root;
  }

 private:
  // A body kept in memory, refused while it arrives once it passes the cap.
  std::string Get(const std::string& path, size_t cap, const std::string& tooLarge) {
    TBoundedBody body(static_cast<int64_t>(cap), [&] { RefuseCatalogue(tooLarge); });
    FContext.HttpClient.Get(FContext.DownloadUrl + path, body);
    // Exit cut the transfer: the run ends as after a catalogue cut short.
    EndListingIfAborted(FContext);
    return std::string(body.Bytes());
  }

  TUpdaterContext& FContext;
};

// The kept roots that still follow from the built-in one, in order; the
// walk stops at the first that does not (a damaged file, or a root the
// server never vouched for), and the rest is set aside.
TRoot FollowKeptRoots(const TRoot& builtIn, const std::string& programFolder,
                      std::vector<TKeptRoot>& chain, bool& changed) {
  TKeptRoots kept(programFolder);
  TRoot current = builtIn;
  try {
    current = WalkRootChain(builtIn, kept, [&](const TRoot& root, const TSignedRoot& text) {
      current = root;
      chain.push_back({root.Version, text});
    });
  } catch (const ECatalogueNotVerified&) {
    // The kept record is damaged from here on; the server has the roots.
  }
  changed = chain.size() != kept.Count();
  return current;
}

}  // namespace

std::optional<TRoot> BuiltInRoot(const TUpdaterContext& context) {
  if (!context.BuiltInRootText.empty())
    return ReadFirstRoot({context.BuiltInRootText, context.BuiltInRootSignatures},
                         "the root built into this program");
  if (context.CatalogueKey.empty()) return std::nullopt;
  const auto key = DecodeBase64(context.CatalogueKey);
  if (!key || key->size() != kEd25519PublicKeySize)
    RefuseCatalogue("the key built into this program is not valid.");
  return OneKeyRoot(*key);
}

TRoot CurrentRoot(TUpdaterContext& context) {
  const std::optional<TRoot> builtIn = BuiltInRoot(context);
  if (!builtIn) throw Exception("This program holds no root of trust.");
  std::vector<TKeptRoot> chain;
  bool changed = false;
  TRoot current = FollowKeptRoots(*builtIn, context.ProgramFolder, chain, changed);
  TServerRoots server(context);
  try {
    current = WalkRootChain(current, server, [&](const TRoot& root, const TSignedRoot& text) {
      chain.push_back({root.Version, text});
      changed = true;
    });
  } catch (...) {
    // What was accepted before the failing step stays accepted; the step's
    // own error is the one the user hears of.
    try {
      if (changed) WriteKeptRoots(context.ProgramFolder, chain);
    } catch (const Exception&) {
    }
    throw;
  }
  if (changed) WriteKeptRoots(context.ProgramFolder, chain);
  CheckRootCurrent(current, context.UtcNow());
  return current;
}

}  // namespace engine
