#include "engine/StagedCheck.h"

#include <cerrno>

#include "engine/CompanionFile.h"
#include "engine/FileDigest.h"
#include "engine/SignedCatalogue.h"
#include "engine/StagingNames.h"
#include "platform/Files.h"

namespace engine {

namespace {

constexpr size_t kNamesShown = 10;

}  // namespace

TStagedCheck CheckStagedFile(const TUpdaterContext& context, const std::string& stagedName,
                             const TStringList& companionLines) {
  const TRecordLines record = ReadStagedRecord(companionLines);
  switch (record.Kind) {
    case TRecordLines::kMalformed:
      return TStagedCheck::kFails;
    case TRecordLines::kNone:
      // Staged by an updater that kept no record: only a build that trusts
      // nothing installs it unchecked.
      return CatalogueMustBeSigned(context) ? TStagedCheck::kFails : TStagedCheck::kPasses;
    case TRecordLines::kRecord:
      break;
  }
  const std::string path = context.ProgramFolder + stagedName;
  // A file this run staged and sealed is still the file it checked.
  const auto sealed = context.SealedStagedFiles.find(stagedName);
  if (sealed != context.SealedStagedFiles.end() && sealed->second.StillAt(path, record.Record.Size))
    return TStagedCheck::kPasses;
  // A file of another size is not worth reading.
  const int64_t size = platform::FileSize(path);
  if (size >= 0 && size != record.Record.Size) return TStagedCheck::kFails;
  const auto digest = DigestOfFile(path);
  if (!digest) {
    // What no later attempt can change fails now; a disk error may pass.
    const bool lasting = errno == ELOOP || errno == EINVAL || errno == EISDIR || errno == ENOENT;
    return lasting ? TStagedCheck::kFails : TStagedCheck::kUnreadable;
  }
  const bool matches = digest->Size == record.Record.Size && digest->Sha256 == record.Record.Sha256;
  return matches ? TStagedCheck::kPasses : TStagedCheck::kFails;
}

void DiscardStagedFile(TUpdaterContext& context, const std::string& stagedName) {
  const std::string& folder = context.ProgramFolder;
  const std::string bare = BareNameOfStaged(stagedName);
  // The staged file goes first, and for good, before its companions: a
  // companion left alone is harmless, a staged file without one is not.
  if (platform::DeleteFileExact(folder + stagedName) && platform::SyncFolder(folder))
    RemoveCompanions(folder, bare);
  context.DiscardedStagedFiles.push_back(bare);
}

std::string FailedFilesText(const std::vector<std::string>& names) {
  std::string text = kFailedFilesText;
  for (size_t index = 0; index < names.size() && index < kNamesShown; ++index)
    text += (index ? ", " : "") + names[index];
  if (names.size() > kNamesShown)
    text += " and " + std::to_string(names.size() - kNamesShown) + " more";
  return text + ".";
}

}  // namespace engine
