#include "Sign.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "CatalogueEditor.h"
#include "FileDigest.h"
#include "KeyFiles.h"
#include "ServerTree.h"
#include "Verify.h"
#include "platform/Files.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/UtcTime.h"

namespace {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

// Sets every component's digest.  Returns what stops the signing: the
// editor's problems (its own and those of the edits) and the files that
// cannot be read.
std::vector<std::string> SetDigests(TCatalogueEditor& editor, const TServerTree& tree) {
  std::vector<std::string> missing;
  for (const TComponentEntry& component : editor.Components()) {
    const std::string path = tree.Component(component.BareName);
    const auto digest = Sha256OfFile(path);
    if (digest)
      editor.SetDigest(component, *digest);
    else
      missing.push_back("missing component file " + path + " ([" + component.Module + "] " +
                        component.Key + ")");
  }
  std::vector<std::string> problems = editor.Problems();
  problems.insert(problems.end(), missing.begin(), missing.end());
  return problems;
}

void WriteText(const std::string& path, const std::string& text) {
  platform::WriteWholeFile(path, text.data(), text.size());
}

}  // namespace

int Sign(const std::string& secretKeyFile, const std::string& serverRoot,
         std::optional<int> expiresInDays, std::ostream& out, std::ostream& err) {
  const std::string seed = ReadSecretKey(secretKeyFile);
  const TServerTree tree(serverRoot);
  TCatalogueEditor editor(platform::ReadWholeFile(tree.Catalogue()));
  std::vector<std::string> problems = SetDigests(editor, tree);
  if (editor.Serial() == std::numeric_limits<uint64_t>::max())
    problems.push_back("[release] Serial is at its largest; no later serial exists");
  if (!problems.empty()) {
    for (const std::string& problem : problems) err << "quorvin-publish: " << problem << "\n";
    err << "quorvin-publish: nothing was written\n";
    return 1;
  }

  const int64_t now = SystemUtcNow();
  const uint64_t serial = std::max(editor.Serial() + 1, UtcTimeDigits(now));
  std::optional<std::string> expires;
  if (expiresInDays) expires = FormatUtcTime(now + *expiresInDays * kSecondsPerDay);
  editor.SetRelease(serial, expires);
  const std::string catalogue = editor.Text();
  WriteText(tree.Catalogue(), catalogue);
  WriteText(tree.Signature(), EncodeBase64(SignEd25519(catalogue, seed)) + "\n");
  out << "signed " << tree.Catalogue() << ": serial " << serial
      << (expires ? ", expires " + *expires : std::string()) << ", " << editor.Components().size()
      << " component entries\n";

  // What was written is checked as the updater will check it.
  std::ostringstream report;
  if (Verify(EncodeBase64(Ed25519PublicKey(seed)), serverRoot, report) == 0) return 0;
  err << report.str() << "quorvin-publish: the signed tree does not verify\n";
  return 1;
}
