#include "Roots.h"

#include "KeyFiles.h"
#include "engine/CatalogueSignature.h"
#include "engine/SignatureLines.h"
#include "platform/Files.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Errors.h"
#include "util/UtcTime.h"

namespace {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

std::string ReadText(const std::string& path) {
  if (!platform::FileExists(path)) throw Exception(path + " does not exist");
  return platform::ReadWholeFile(path);
}

void WriteText(const std::string& path, const std::string& text) {
  platform::WriteWholeFile(path, text.data(), text.size());
}

engine::TKeyRole KeysOf(const std::vector<std::string>& texts, const std::string& labelPrefix) {
  engine::TKeyRole role;
  for (size_t index = 0; index < texts.size(); ++index)
    role.Add(ReadLabelledKey(texts[index], labelPrefix + std::to_string(index + 1)));
  return role;
}

// Applies what the options set to a root.
void Apply(const TRootOptions& options, engine::TRoot& root) {
  if (!options.RootKeys.empty()) root.RootKeys = KeysOf(options.RootKeys, "root-key-");
  if (!options.CatalogueKeys.empty())
    root.CatalogueKeys = KeysOf(options.CatalogueKeys, "catalogue-key-");
  if (options.RootThreshold) root.RootKeys.Threshold = *options.RootThreshold;
  if (options.CatalogueThreshold) root.CatalogueKeys.Threshold = *options.CatalogueThreshold;
  root.Expires.reset();
  if (options.ExpiresInDays)
    root.Expires = SystemUtcNow() + *options.ExpiresInDays * kSecondsPerDay;
}

// Writes a new root's text, after reading it back as the updater will.
// The reader's refusal says what is wrong ("its RootThreshold must be ...").
void WriteNewRoot(const engine::TRoot& root, const std::string& rootFile) {
  if (platform::FileExists(rootFile))
    throw Exception(rootFile + " already exists; a root is never overwritten");
  const std::string text = engine::RootText(root);
  try {
    engine::ParseRoot(text, "the new root");
  } catch (const ECatalogueNotVerified& error) {
    throw Exception(error.Message().substr(std::string(kNotVerifiedText).size()));
  }
  WriteText(rootFile, text);
}

std::string KeysText(const engine::TKeyRole& role, const char* what) {
  return std::to_string(role.Keys.size()) + " " + what + (role.Keys.size() == 1 ? "" : "s") +
         " (threshold " + std::to_string(role.Threshold) + ")";
}

void Describe(const engine::TRoot& root, const std::string& rootFile, std::ostream& out) {
  out << "wrote " << rootFile << ": " << engine::RootName(root.Version) << ", "
      << KeysText(root.RootKeys, "root key") << ", "
      << KeysText(root.CatalogueKeys, "catalogue key")
      << (root.Expires ? ", expires " + FormatUtcTime(*root.Expires) : std::string())
      << (root.SerialFloor ? ", serial floor " + std::to_string(root.SerialFloor) : std::string())
      << "\n";
}

}  // namespace

engine::TSignedRoot ReadSignedRoot(const std::string& rootFile) {
  return {ReadText(rootFile), ReadText(rootFile + ".sig")};
}

std::optional<engine::TSignedRoot> TTreeRoots::Fetch(uint64_t version) {
  if (!platform::FileExists(FTree.RootFile(version))) return std::nullopt;
  const std::string text = platform::ReadWholeFile(FTree.RootFile(version));
  // As on the server: a root without its signature file does not verify.
  const std::string signatures = platform::FileExists(FTree.RootSignatures(version))
                                     ? platform::ReadWholeFile(FTree.RootSignatures(version))
                                     : std::string();
  return engine::TSignedRoot{text, signatures};
}

int RootCreate(const TRootOptions& options, const std::string& rootFile, std::ostream& out) {
  if (options.RootKeys.empty() || options.CatalogueKeys.empty())
    throw Exception("a first root needs at least one --root-key and one --catalogue-key");
  engine::TRoot root;
  Apply(options, root);
  if (options.SerialFloor) root.SerialFloor = *options.SerialFloor;
  WriteNewRoot(root, rootFile);
  Describe(root, rootFile, out);
  out << "sign it with " << root.RootKeys.Threshold
      << " of its root keys: quorvin-publish root-sign SECRET_FILE... " << rootFile << "\n";
  return 0;
}

int RootNext(const TRootOptions& options, const std::string& previousFile,
             const std::string& rootFile, std::ostream& out) {
  engine::TRoot previous;
  try {
    previous = engine::ParseRoot(ReadText(previousFile), previousFile);
  } catch (const ECatalogueNotVerified& error) {
    throw Exception(error.Message().substr(std::string(kNotVerifiedText).size()));
  }
  engine::TRoot root = previous;
  root.Version = previous.Version + 1;
  Apply(options, root);
  // New catalogue keys start the serials again; a floor of this moment
  // keeps every catalogue signed before it out, whoever signed it.
  if (options.SerialFloor)
    root.SerialFloor = *options.SerialFloor;
  else if (!engine::SameCatalogueKeys(previous, root))
    root.SerialFloor = UtcTimeDigits(SystemUtcNow());
  WriteNewRoot(root, rootFile);
  Describe(root, rootFile, out);
  out << "sign it with " << previous.RootKeys.Threshold << " of the root keys of "
      << engine::RootName(previous.Version) << " and " << root.RootKeys.Threshold
      << " of its own: quorvin-publish root-sign SECRET_FILE... " << rootFile << "\n";
  return 0;
}

int RootSign(const std::vector<std::string>& secretKeyFiles, const std::string& rootFile,
             std::ostream& out) {
  const std::string text = ReadText(rootFile);
  const std::string signatureFile = rootFile + ".sig";
  std::vector<engine::TSignatureLine> lines;
  if (platform::FileExists(signatureFile)) {
    auto read = engine::ReadSignatureLines(platform::ReadWholeFile(signatureFile));
    if (!read) throw Exception(signatureFile + " is not a signature file");
    lines = std::move(*read);
  }
  for (const std::string& secretKeyFile : secretKeyFiles) {
    const std::string seed = ReadSecretKey(secretKeyFile);
    const std::string key = Ed25519PublicKey(seed);
    // A key signs once: its earlier signature (of an earlier text) goes.
    std::erase_if(lines, [&](const engine::TSignatureLine& line) {
      return line.Key ? *line.Key == key : VerifyEd25519(text, line.Signature, key);
    });
    lines.push_back({key, SignEd25519(text, seed)});
  }
  std::string signatures;
  for (const engine::TSignatureLine& line : lines)
    signatures += line.Key ? engine::NamedSignatureLine(*line.Key, line.Signature)
                           : EncodeBase64(line.Signature) + "\n";
  WriteText(signatureFile, signatures);
  out << "signed " << rootFile << ": " << signatureFile << " holds " << lines.size()
      << (lines.size() == 1 ? " signature" : " signatures") << "\n";
  return 0;
}
