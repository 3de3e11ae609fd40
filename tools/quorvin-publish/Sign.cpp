#include "Sign.h"

#include <algorithm>
#include <limits>
#include <map>
#include <sstream>

#include "CatalogueEditor.h"
#include "ComponentDeltas.h"
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

// What signing a component entry takes: its file's digest, and the smaller
// downloads made for it.
struct TSignedComponent {
  const TComponentEntry* Entry = nullptr;
  std::string Path;
  engine::TFileDigest Digest;
  TComponentDeltas Deltas;
};

// Hashes every component's file, each once however many entries name it.
// Returns the files that cannot be read.
std::vector<std::string> DigestFiles(const TCatalogueEditor& editor, const TServerTree& tree,
                                     std::vector<TSignedComponent>& signedComponents,
                                     std::map<std::string, engine::TFileDigest>& digests) {
  std::vector<std::string> missing;
  for (const TComponentEntry& component : editor.Components()) {
    const std::string path = tree.Component(component.BareName);
    if (!digests.count(path)) {
      const auto digest = engine::DigestOfFile(path, true);
      if (!digest) {
        missing.push_back("missing component file " + path + " ([" + component.Module + "] " +
                          component.Key + ")");
        continue;
      }
      digests[path] = *digest;
    }
    signedComponents.push_back({&component, path, digests[path], {}});
  }
  return missing;
}

// Makes every component's compressed copy and patches, in memory.
void MakeDeltas(const TSignOptions& options, const TServerTree& tree,
                std::vector<TSignedComponent>& signedComponents) {
  const TReleaseArchive archive(options.Archive);
  for (TSignedComponent& component : signedComponents) {
    const TComponentEntry& entry = *component.Entry;
    const auto earlier = archive.EarlierVersions(entry.Module, entry.Key, component.Digest.Sha256,
                                                 options.PatchCount);
    component.Deltas = MakeComponentDeltas(
        tree, {entry.BareName, component.Path, component.Digest.Sha256}, earlier, options.Level);
  }
}

// One line per component that offers smaller downloads: what each costs.
void ReportDeltas(const std::vector<TSignedComponent>& signedComponents, std::ostream& out) {
  for (const TSignedComponent& component : signedComponents) {
    const TComponentDeltas& deltas = component.Deltas;
    if (deltas.Files.empty()) continue;
    out << "  [" << component.Entry->Module << "] " << component.Entry->Key << " ("
        << deltas.FileSize << " bytes):";
    const char* separator = " ";
    for (const TDeltaFile& file : deltas.Files) {
      out << separator
          << (file.Release.empty() ? "compressed copy" : "patch from release " + file.Release)
          << " " << file.Size << " bytes";
      separator = ", ";
    }
    out << "\n";
  }
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
  std::vector<TSignedComponent> signedComponents;
  TPendingCatalogue pending;
  std::vector<std::string> problems = editor.Problems();
  const std::vector<std::string> missing =
      DigestFiles(editor, tree, signedComponents, pending.Digests);
  problems.insert(problems.end(), missing.begin(), missing.end());
  if (!options.RestartSerial && editor.Serial() == std::numeric_limits<uint64_t>::max())
    problems.push_back(
        "[release] Serial is at its largest; no later serial exists (see --restart-serial)");
  if (!problems.empty()) return Refuse(problems, err);

  if (!options.Archive.empty()) {
    try {
      MakeDeltas(options, tree, signedComponents);
    } catch (const Exception& error) {
      return Refuse({error.Message()}, err);
    }
  }
  for (const TSignedComponent& component : signedComponents) {
    editor.SetDigest(*component.Entry, component.Digest.Sha256, component.Digest.Size,
                     component.Deltas.Offer);
    for (const TDeltaFile& file : component.Deltas.Files)
      pending.CheckedDeltaFiles.insert(file.Path);
  }
  if (!editor.Problems().empty()) return Refuse(editor.Problems(), err);

  const int64_t now = SystemUtcNow();
  const uint64_t clock = UtcTimeDigits(now);
  const uint64_t serial = options.RestartSerial ? clock : std::max(editor.Serial() + 1, clock);
  const std::string expires = FormatUtcTime(now + options.ExpiresInDays * kSecondsPerDay);
  editor.SetRelease(serial, expires);
  pending.Catalogue = editor.Text();
  pending.Signatures = Signatures(pending.Catalogue, seeds);

  // What would be written is checked as the updater will check it.
  std::ostringstream report;
  if (Verify(firstRoot, options.ServerRoot, report, pending, options.Archive) != 0) {
    err << report.str() << "quorvin-publish: the signed tree would not verify\n";
    return Refuse({}, err);
  }
  // The smaller downloads before the catalogue that names them.  Then the
  // signatures: an updater that fetches between the two writes gets the old
  // catalogue with signatures that do not match it and is refused, never
  // misled (README: publish a whole tree at once instead).
  for (const TSignedComponent& component : signedComponents)
    WriteDeltaFiles(tree, component.Deltas);
  WriteText(tree.Signature(), pending.Signatures);
  WriteText(tree.Catalogue(), pending.Catalogue);
  out << "signed " << tree.Catalogue() << ": serial " << serial << ", expires " << expires << ", "
      << editor.Components().size() << " component entries, " << seeds.size()
      << (seeds.size() == 1 ? " signature" : " signatures") << "\n";
  ReportDeltas(signedComponents, out);
  return 0;
}
