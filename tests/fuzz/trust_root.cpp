// Fuzz target: what the chain of roots brings from the server and from the
// program folder: a root's text, its signature file, and the record of kept
// roots.  A root is accepted only when it carries the next version and a
// threshold of the previous root's root keys and of its own signed it, and
// what is accepted reads back the same; every refusal is the program's own
// verification error, and no input makes the kept record trust anything
// that the built-in root did not vouch for.
//
// Input: the root's text, the line "####", its signature file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ScratchFolder.h"
#include "engine/CatalogueSignature.h"
#include "engine/KeptRoots.h"
#include "engine/RootChain.h"
#include "engine/SignatureLines.h"
#include "util/Ed25519.h"

namespace {

constexpr std::string_view kPartSeparator = "\n####\n";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "trust_root: %s\n", what.c_str());
  std::abort();
}

// The built-in root: one key for both roles.
const std::string& Seed() {
  static const std::string seed(kEd25519SeedSize, '\x42');
  return seed;
}

const engine::TRoot& First() {
  static const engine::TRoot root = engine::OneKeyRoot(Ed25519PublicKey(Seed()));
  return root;
}

void CheckNextRoot(const engine::TSignedRoot& next) {
  engine::TRoot accepted;
  try {
    accepted = engine::AcceptNextRoot(First(), next);
  } catch (const ECatalogueNotVerified&) {
    return;
  }
  if (accepted.Version != First().Version + 1) Fail("a root of another version was accepted");
  const auto lines = engine::ReadSignatureLines(next.Signatures);
  if (!lines || engine::CountSigners(next.Text, *lines, First().RootKeys) < 1)
    Fail("a root the first root's key did not sign was accepted");
  if (accepted.RootKeys.Threshold < 1 ||
      static_cast<size_t>(accepted.RootKeys.Threshold) > accepted.RootKeys.Keys.size() ||
      accepted.CatalogueKeys.Threshold < 1 ||
      static_cast<size_t>(accepted.CatalogueKeys.Threshold) > accepted.CatalogueKeys.Keys.size())
    Fail("a root whose thresholds cannot be reached was accepted");
  // The tool's text of what was read reads back the same.
  const engine::TRoot again = engine::ParseRoot(engine::RootText(accepted), "again");
  if (engine::RootText(again) != engine::RootText(accepted)) Fail("a root changed in a round trip");
}

// The bytes as a kept record: whatever it holds, the walk from the first
// root never accepts a root that the first root's key did not sign.
void CheckKeptRecord(std::string_view bytes) {
  const std::string& folder = FuzzScratchFolder();
  WriteFuzzFile(folder + engine::kKeptRootsFileName, bytes.data(), bytes.size());
  engine::TKeptRoots kept(folder);
  try {
    engine::WalkRootChain(First(), kept, [](const engine::TRoot&, const engine::TSignedRoot& root) {
      const auto lines = engine::ReadSignatureLines(root.Signatures);
      if (!lines) Fail("a kept root without readable signatures was accepted");
    });
  } catch (const ECatalogueNotVerified&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find(kPartSeparator);
  engine::TSignedRoot next;
  next.Text = std::string(input.substr(0, split));
  if (split != std::string_view::npos)
    next.Signatures = std::string(input.substr(split + kPartSeparator.size()));
  CheckNextRoot(next);
  // The same text signed by the first root's key, as the vendor would.
  const engine::TSignedRoot signedByVendor{
      next.Text,
      engine::NamedSignatureLine(First().RootKeys.Keys[0].Key, SignEd25519(next.Text, Seed()))};
  CheckNextRoot(signedByVendor);
  CheckKeptRecord(input);
  return 0;
}
