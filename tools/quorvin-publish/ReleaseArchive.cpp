#include "ReleaseArchive.h"

#include <algorithm>
#include <filesystem>

#include "engine/Catalogue.h"
#include "engine/CatalogueRelease.h"
#include "engine/DeltaOffer.h"
#include "engine/FileDigest.h"
#include "platform/Files.h"
#include "util/IniFiles.h"
#include "util/QuorvinSI.h"
#include "util/allfunct.h"

namespace {

std::string CatalogueOf(const std::string& releaseFolder) { return releaseFolder + kCataloguePath; }

// The file a release's catalogue names for the component, "" when it names none.
std::string ComponentFileIn(const std::string& releaseFolder, const std::string& module,
                            const std::string& component) {
  const TIniSnapshot catalogue(CatalogueOf(releaseFolder), true);
  TQuorvinSI fields;
  fields.SetDelimiter(',');
  fields.SetSourceString(catalogue.ReadString(module, component, ""));
  if (fields.FieldList().Count() <= kEntryComponentFile) return "";
  const std::string bare = BareFileName(fields.FieldList()[kEntryComponentFile]);
  return bare.empty() ? "" : releaseFolder + "download/" + bare;
}

}  // namespace

TReleaseArchive::TReleaseArchive(const std::string& root) : FRoot(AppendBackslash(root)) {
  if (!platform::FolderExists(FRoot)) throw Exception(root + " is no folder");
  for (const auto& entry : std::filesystem::directory_iterator(FRoot)) {
    const std::string name = entry.path().filename().string();
    const std::string catalogue = CatalogueOf(FRoot + name + "/");
    if (name.starts_with(".") || !entry.is_directory() || !platform::FileExists(catalogue))
      continue;
    try {
      FReleases.push_back({name, ReadCatalogueRelease(platform::ReadWholeFile(catalogue)).Serial});
    } catch (const Exception& error) {
      throw Exception(catalogue + ": " + error.Message());
    }
  }
  std::sort(FReleases.begin(), FReleases.end(), [](const TRelease& a, const TRelease& b) {
    return a.Serial != b.Serial ? a.Serial > b.Serial : a.Name > b.Name;
  });
}

std::vector<std::string> TReleaseArchive::Releases() const {
  std::vector<std::string> names;
  for (const TRelease& release : FReleases) names.push_back(release.Name);
  return names;
}

std::optional<TEarlierVersion> TReleaseArchive::VersionIn(const TRelease& release,
                                                          const std::string& module,
                                                          const std::string& component) const {
  const std::string path = ComponentFileIn(FRoot + release.Name + "/", module, component);
  if (path.empty()) return std::nullopt;
  if (!FDigests.count(path)) {
    const auto file = engine::DigestOfFile(path, true);
    FDigests[path] = file ? std::optional(file->Sha256) : std::nullopt;
  }
  if (!FDigests[path]) return std::nullopt;
  return TEarlierVersion{release.Name, path, *FDigests[path]};
}

std::vector<TEarlierVersion> TReleaseArchive::EarlierVersions(const std::string& module,
                                                              const std::string& component,
                                                              const TSha256Digest& current,
                                                              int count) const {
  std::vector<TEarlierVersion> versions;
  std::vector<TSha256Digest> seen{current};
  for (const TRelease& release : FReleases) {
    if (static_cast<int>(versions.size()) >= count) break;
    const auto version = VersionIn(release, module, component);
    if (!version || std::find(seen.begin(), seen.end(), version->Digest) != seen.end()) continue;
    seen.push_back(version->Digest);
    versions.push_back(*version);
  }
  return versions;
}

std::optional<TEarlierVersion> TReleaseArchive::VersionWithPrefix(const std::string& module,
                                                                  const std::string& component,
                                                                  const std::string& base) const {
  for (const TRelease& release : FReleases) {
    const auto version = VersionIn(release, module, component);
    if (version && engine::DigestPrefix(version->Digest) == base) return version;
  }
  return std::nullopt;
}
