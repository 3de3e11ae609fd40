#include "engine/DownloadStaging.h"

#include <vector>

#include "engine/CompanionFile.h"
#include "engine/DownloadVerdict.h"
#include "engine/FolderInstall.h"
#include "engine/PartialDownload.h"
#include "engine/SmallerDownload.h"
#include "engine/StagedCheck.h"
#include "engine/StagedInstall.h"
#include "engine/StagingNames.h"
#include "engine/UpdateRecord.h"
#include "http/HttpClient.h"
#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "util/QuorvinSI.h"
#include "util/StrToInt.h"
#include "util/allfunct.h"

namespace {

// The fields of a row that the download reads, copied out of the splitter so
// that nothing handled during the transfer can change them.
struct TRowToFetch {
  engine::TCompanion Companion;
  std::string File;  // as the File column shows it, folders included
  std::string Bare;
  std::string InstalledFolder;  // the module's first installation folder, "" when unknown
};

// The folder of DirList that the record's folder indexes name first: the
// one whose copy detection examined, and the one the file is installed in.
std::string FirstInstallationFolder(const TUpdaterContext& context, const std::string& indexes) {
  int index = -1;
  try {
    index = StrToInt(indexes.substr(0, indexes.find(kFolderIndexSeparator)));
  } catch (const EConvertError&) {
    return {};
  }
  const bool listed = context.DirList && index >= 0 && index < context.DirList->Count();
  return listed ? AppendBackslash((*context.DirList)[index]) : std::string();
}

TRowToFetch RowToFetch(const TUpdaterContext& context, const TStringList& fields) {
  TRowToFetch row;
  row.Companion = {fields[kModuleName], fields[kComponentKey], fields[kAvailableVersion],
                   fields[kProgramFile]};
  row.File = fields[kComponentFile];
  row.Bare = BareFileName(row.File);
  if (fields.Count() > kFolderIndexes)
    row.InstalledFolder = FirstInstallationFolder(context, fields[kFolderIndexes]);
  return row;
}

// What became of one row.
enum class TRowResult {
  kReceived,  // its file is checked and flushed in the partial download, not staged yet
  kStaged,
  kFailedCheck,  // nothing could vouch for the file, or it was not what was signed
  kNotStaged,    // a good file that could not be staged
  kAborted,
};

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Frees the staged name for a new download.  A file staged earlier under the
// same name (another module shipping a file of that name) is installed
// first, so each staged file keeps its own companion; false when it stays,
// or when its installation failed (a copy that could not be recorded is
// taken out again, and the update is lost: the run must say so).
bool StagedNameFree(TUpdaterContext& context, const std::string& staged) {
  if (!platform::FileExists(staged)) return true;
  const bool installed = InstallStagedFile(context, NameOf(platform::ResolvePath(staged)));
  return installed && !platform::FileExists(staged);
}

// A file just staged from a download that was checked as it arrived needs
// no second read before it is installed in this run, when nobody else can
// have written it since (platform/SealedFile.h).  The number of seals is
// bounded, as each holds a descriptor; files beyond it are read again.
constexpr size_t kMostSealedFiles = 256;

void SealStagedFile(TUpdaterContext& context, const std::string& stagedName) {
  if (context.SealedStagedFiles.size() >= kMostSealedFiles) return;
  platform::TSealedFile seal;
  if (seal.Seal(context.ProgramFolder + stagedName))
    context.SealedStagedFiles[stagedName] = std::move(seal);
}

// Turns a good partial download into a staged file.  The companion, with
// the record of what the file was checked against, is on disk before the
// staged file appears, so a staged file never lacks it.  Nothing is staged
// while an installation waits to be finished (also one that freeing the
// name has just left unfinished): its journal tells a staged file that
// never moved by its name alone, and would take a new file of that name for
// it.
bool Stage(TUpdaterContext& context, const TRowToFetch& row) {
  const std::string& folder = context.ProgramFolder;
  const std::string staged = folder + engine::StagedName(row.Bare);
  if (!StagedNameFree(context, staged) || !engine::RecoverInterruptedInstall(folder)) return false;
  engine::RemoveCompanions(folder, row.Bare);
  engine::WriteCompanionFile(
      folder + engine::CompanionName(row.Bare, row.Companion.AvailableVersion), row.Companion);
  if (!platform::MoveFileNoReplace(folder + engine::PartialName(row.Bare), staged)) return false;
  SealStagedFile(context, engine::StagedName(row.Bare));
  return true;
}

void ShowAborted(IUpdaterWindow& window) {
  window.SetProgressVisible(false);
  window.SetStatusLine("Download Aborted");
  window.ShowInformation("Download Aborted");
}

// Streams the row's file into its partial download as it arrives; an empty
// body leaves an empty file.  False, with nothing left on disk, when the
// server sent more than the file's signed size: the transfer was cut at the
// first byte too many.  Any other failure leaves nothing for its row either
// and ends the run.
bool Receive(TUpdaterContext& context, const TRowToFetch& row, engine::TPartialDownload& download) {
  try {
    context.HttpClient.Get(context.DownloadUrl + "download/" + row.Bare, download);
    download.Create();
    return true;
  } catch (const engine::ETooMuchData&) {
    download.Discard();
    return false;
  } catch (...) {
    // The run ends here with only Exit left, and Exit ends the program only
    // when no connection is open: one the server would keep after the
    // failure must not leave that button without effect.
    context.HttpClient.Disconnect();
    download.Discard();
    throw;
  }
}

// The whole file into its partial download, checked and flushed; its
// record goes to the row.
TRowResult FetchWhole(TUpdaterContext& context, TRowToFetch& row,
                      const engine::TExpectedFile& expected) {
  context.AnnouncedLength = 0;  // a transfer that announces nothing is checked against 0
  const std::string partial = context.ProgramFolder + engine::PartialName(row.Bare);
  engine::TPartialDownload download(partial, expected.Size);
  const bool received = Receive(context, row, download);
  if (context.Window.Tag() == kAbortRequested) {
    // Exit may have come after the transfer's last progress event, which
    // left the connection open; closed here, the next Exit ends the program.
    context.HttpClient.Disconnect();
    download.Close();
    return TRowResult::kAborted;
  }
  if (!received) return TRowResult::kFailedCheck;
  // Compared in 64 bits: a cut transfer of 4 GiB or more must not pass on
  // the low bits of its announced length.
  const int64_t size = platform::FileSize(partial);
  const TSha256Digest digest = download.Digest();
  if (!engine::DownloadIsGood(expected, context.AnnouncedLength, size, digest)) {
    // A file that failed its check is of no use to anyone: it goes at once.
    download.Discard();
    return TRowResult::kFailedCheck;
  }
  download.SyncAndClose();  // on disk before it can be staged
  row.Companion.Record = engine::TStagedRecord{digest, size};
  return TRowResult::kReceived;
}

// The row's file by a smaller route where the entry offers one that fits
// and it works, else whole.
TRowResult FetchFile(TUpdaterContext& context, TRowToFetch& row,
                     const engine::TExpectedFile& expected) {
  const engine::TSmallerDownload smaller =
      engine::FetchSmaller(context, {row.Bare, row.InstalledFolder}, expected);
  switch (smaller.Result) {
    case engine::TSmallerDownload::kAborted:
      return TRowResult::kAborted;
    case engine::TSmallerDownload::kRebuilt:
      row.Companion.Record = smaller.Record;
      return TRowResult::kReceived;
    case engine::TSmallerDownload::kNotOffered:
    case engine::TSmallerDownload::kFailed:
      break;
  }
  return FetchWhole(context, row, expected);
}

// Fetches and stages one row.
TRowResult FetchRow(TUpdaterContext& context, TRowToFetch row) {
  IUpdaterWindow& window = context.Window;
  // What the file must be; one that nothing can vouch for (a malformed
  // digest or size, or none in a signed catalogue) is not even fetched.
  const engine::TExpectedFile expected =
      engine::ExpectedFile(context, {row.Companion.ModuleName, row.Companion.ComponentKey,
                                     row.Companion.AvailableVersion, row.Bare});
  if (!engine::IsUsableBareName(row.Bare) ||  // names a folder, not a file
      expected.Trust == engine::TExpectedFile::kUntrusted)
    return TRowResult::kFailedCheck;
  window.SetTag(0);
  const TRowResult received = FetchFile(context, row, expected);
  if (received == TRowResult::kAborted) ShowAborted(window);
  if (received != TRowResult::kReceived) return received;
  return Stage(context, row) ? TRowResult::kStaged : TRowResult::kNotStaged;
}

// "Finished. ", the download error note, the files that failed their check
// and, when a file could not be installed, the start's text of files in use.
std::string FinishedText(const std::string& note, const std::vector<std::string>& failed,
                         bool installed) {
  std::string text = "Finished. " + note;
  if (!failed.empty()) text += " " + engine::FailedFilesText(failed);
  if (!installed) text += (note.empty() ? "" : " ") + std::string(kFilesInUseText);
  return text;
}

}  // namespace

void DownloadTheFiles(TUpdaterContext& context) {
  IUpdaterWindow& window = context.Window;
  window.SetHint("");
  window.SetNextEnabled(false);
  window.SetHistoryEnabled(false);
  window.SetProgressVisible(true);
  window.SetProgressPosition(0);
  // Seals last no longer than the run that made them, however it ends.
  struct TDropSeals {
    std::map<std::string, platform::TSealedFile>& Seals;
    ~TDropSeals() { Seals.clear(); }
  } dropSeals{context.SealedStagedFiles};
  std::vector<std::string> failed;  // the files that failed their check, as the list shows them
  // Staged files discarded during the run (also those that freeing a name
  // for a new download took in) are named with them.
  context.DiscardedStagedFiles.clear();
  const int rowCount = window.RowCount();
  for (int index = 0; index < rowCount; ++index) {
    context.PSI.SetSourceString(window.RowText(index));
    window.SetItemIndex(index);
    if (!window.RowChecked(index)) continue;
    const TStringList& fields = context.PSI.FieldList();
    const std::string& installed = fields[kInstalledVersion];
    if (!installed.empty() && installed[0] == kNeverDownloadMark) continue;
    const TRowToFetch row = RowToFetch(context, fields);
    // A comma inside a field would shift every field after it: such a row
    // names no file for certain, and is not fetched.
    const TRowResult result = fields.Count() == kUpdateRecordFieldCount ? FetchRow(context, row)
                                                                        : TRowResult::kFailedCheck;
    if (result == TRowResult::kAborted) return;
    const std::string_view file = platform::TrimBlanks(row.File);
    if (result == TRowResult::kFailedCheck && !file.empty()) failed.emplace_back(file);
    if (result != TRowResult::kStaged) window.SetHint(kDownloadErrorNote);
  }
  window.SetProgressVisible(false);
  // A file that could not be moved in stays staged for the next start, which
  // installs it; the user hears of it as the start would tell it.  A staged
  // file that failed its check again is named like a download that failed.
  const bool installed = InstallStagedFiles(context);
  if (!context.DiscardedStagedFiles.empty()) window.SetHint(kDownloadErrorNote);
  failed.insert(failed.end(), context.DiscardedStagedFiles.begin(),
                context.DiscardedStagedFiles.end());
  context.DiscardedStagedFiles.clear();
  const std::string finished = FinishedText(window.Hint(), failed, installed);
  window.SetStatusLine(finished);
  window.ShowInformation(finished);
  window.RequestTermination();
}
