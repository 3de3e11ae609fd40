#include "Sign.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "CatalogueEditor.h"
#include "KeyFiles.h"
#include "ServerTree.h"
#include "Verify.h"
#include "engine/FileDigest.h"
#include "engine/SignatureLines.h"
#include "platform/Files.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Errors.h"
#include "util/UtcTime.h"

namespace {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

// Sets every component's digest and size.  Returns what stops the signing:
// the editor's problems (its own and those of the edits) and the files that
// cannot be read.
std::vector<std::string> SetDigests(TCatalogueEditor& editor, const TServerTree& tree) {
  std::vector<std::string> missing;
  for (const TComponentEntry& component : editor.Components()) {
    const std::string path = tree.Component(component.BareName);
    const auto digest = engine::DigestOfFile(path, true);
    if (digest)
      editor.SetDigest(component, digest->Sha256, digest->Size);
    else
      missing.push_back("missing component file " + path + " ([" + component.Module + "] " +
                        component.Key + ")");
  }
  std::vector<std::string> problems = editor.Problems();
  problems.insert(problems.end(), missing.begin(), missing.end());
  return problems;
}

// The signature file of the catalogue: one bare line for one key, a named
// line per key for several.
std::string Signatures(const std::string& catalogue, const std::vector<std::string>& seeds) {
  if (seeds.size() == 1) return EncodeBase64(SignEd25519(catalogue, seeds.front())) + "\n";
  std::string text;
  for (const std::string& seed : seeds)
    text += engine::NamedSignatureLine(Ed25519PublicKey(seed), SignEd25519(catalogue, seed));
  return text;
}

int Refuse(const std::vector<std::string>& problems, std::ostream& err) {
  for (const std::string& problem : problems) err << "quorvin-publish: " << problem << "\n";
  err << "quorvin-publish: nothing was written\n";
  return 1;
}

void WriteText(const std::string& path, const std::string& text) {
  platform::WriteWholeFile(path, text.data(), text.size());
}

}  // namespace

int Sign(const TSignOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<std::string> seeds;
  for (const std::string& file : options.SecretKeyFiles) seeds.push_back(ReadSecretKey(file));
  if (!options.FirstRoot && seeds.size() != 1)
    throw Exception("signing with several keys needs --root FIRST_ROOT_FILE");
  const engine::TRoot firstRoot =
      options.FirstRoot ? *options.FirstRoot : engine::OneKeyRoot(Ed25519PublicKey(seeds.front()));
  const TServerTree tree(options.ServerRoot);
  TCatalogueEditor editor(platform::ReadWholeFile(tree.Catalogue()));
  std::vector<std::string> problems = SetDigests(editor, tree);
  if (!options.RestartSerial && editor.Serial() == std::numeric_limits<uint64_t>::max())
    problems.push_back(
        "[release] Serial is at its largest; no later serial exists (see --restart-serial)");
  if (!problems.empty()) return Refuse(problems, err);

  const int64_t now = SystemUtcNow();
  const uint64_t clock = UtcTimeDigits(now);
  const uint64_t serial = options.RestartSerial ? clock : std::max(editor.Serial() + 1, clock);
  const std::string expires = FormatUtcTime(now + options.ExpiresInDays * kSecondsPerDay);
  editor.SetRelease(serial, expires);
  const TPendingCatalogue pending{editor.Text(), Signatures(editor.Text(), seeds)};

  // What would be written is checked as the updater will check it.
  std::ostringstream report;
  if (Verify(firstRoot, options.ServerRoot, report, pending) != 0) {
    err << report.str() << "quorvin-publish: the signed tree would not verify\n";
    return Refuse({}, err);
  }
  // The signatures first: an updater that fetches between the two writes
  // gets the old catalogue with signatures that do not match it and is
  // refused, never misled (README: publish a whole tree at once instead).
  WriteText(tree.Signature(), pending.Signatures);
  WriteText(tree.Catalogue(), pending.Catalogue);
  out << "signed " << tree.Catalogue() << ": serial " << serial << ", expires " << expires << ", "
      << editor.Components().size() << " component entries, " << seeds.size()
      << (seeds.size() == 1 ? " signature" : " signatures") << "\n";
  return 0;
}
