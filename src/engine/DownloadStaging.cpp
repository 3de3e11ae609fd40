#include "engine/DownloadStaging.h"

#include "engine/CompanionFile.h"
#include "engine/DownloadVerdict.h"
#include "engine/FolderInstall.h"
#include "engine/PartialDownload.h"
#include "engine/StagedInstall.h"
#include "engine/StagingNames.h"
#include "engine/UpdateRecord.h"
#include "http/HttpClient.h"
#include "platform/Files.h"
#include "util/QuorvinSI.h"
#include "util/allfunct.h"

namespace {

// The fields of a row that the download reads, copied out of the splitter so
// that nothing handled during the transfer can change them.
struct TRowToFetch {
  engine::TCompanion Companion;
  std::string Bare;
};

TRowToFetch RowToFetch(const TStringList& fields) {
  TRowToFetch row;
  row.Companion = {fields[kModuleName], fields[kComponentKey], fields[kAvailableVersion],
                   fields[kProgramFile]};
  row.Bare = BareFileName(fields[kComponentFile]);
  return row;
}

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

// Turns a good partial download into a staged file.  The companion is on
// disk before the staged file appears, so a staged file never lacks it.
// Nothing is staged while an installation waits to be finished (also one
// that freeing the name has just left unfinished): its journal tells a
// staged file that never moved by its name alone, and would take a new file
// of that name for it.
bool Stage(TUpdaterContext& context, const TRowToFetch& row) {
  const std::string& folder = context.ProgramFolder;
  const std::string staged = folder + engine::StagedName(row.Bare);
  if (!StagedNameFree(context, staged) || !engine::RecoverInterruptedInstall(folder)) return false;
  engine::RemoveCompanions(folder, row.Bare);
  engine::WriteCompanionFile(
      folder + engine::CompanionName(row.Bare, row.Companion.AvailableVersion), row.Companion);
  return platform::MoveFileNoReplace(folder + engine::PartialName(row.Bare), staged);
}

void ShowAborted(IUpdaterWindow& window) {
  window.SetProgressVisible(false);
  window.SetStatusLine("Download Aborted");
  window.ShowInformation("Download Aborted");
}

// Streams the row's file into its partial download as it arrives; an empty
// body leaves an empty file.  A failed transfer leaves nothing for its row.
void Receive(TUpdaterContext& context, const TRowToFetch& row, engine::TPartialDownload& download) {
  try {
    context.HttpClient.Get(context.DownloadUrl + "download/" + row.Bare, download);
    download.Create();
  } catch (...) {
    // The run ends here with only Exit left, and Exit ends the program only
    // when no connection is open: one the server would keep after the
    // failure must not leave that button without effect.
    context.HttpClient.Disconnect();
    download.Discard();
    throw;
  }
}

// Fetches and stages one row; false when the user aborted.
bool FetchRow(TUpdaterContext& context, const TRowToFetch& row) {
  IUpdaterWindow& window = context.Window;
  // What the file must be; one that nothing can vouch for (a malformed
  // digest, or none in a signed catalogue) is not even fetched.
  const engine::TExpectedFile expected =
      engine::ExpectedFile(context, row.Companion.ModuleName, row.Companion.ComponentKey);
  if (!engine::IsUsableBareName(row.Bare) ||  // names a folder, not a file
      expected.Trust == engine::TExpectedFile::kUntrusted) {
    window.SetHint(kDownloadErrorNote);
    return true;
  }
  window.SetTag(0);
  context.AnnouncedLength = 0;  // a transfer that announces nothing is checked against 0
  const std::string partial = context.ProgramFolder + engine::PartialName(row.Bare);
  engine::TPartialDownload download(partial,
                                    expected.Trust == engine::TExpectedFile::kLengthAndSha256);
  Receive(context, row, download);
  if (window.Tag() == kAbortRequested) {
    // Exit may have come after the transfer's last progress event, which
    // left the connection open; closed here, the next Exit ends the program.
    context.HttpClient.Disconnect();
    download.Close();
    ShowAborted(window);
    return false;
  }
  // Compared in 64 bits: a cut transfer of 4 GiB or more must not pass on
  // the low bits of its announced length.
  if (!engine::DownloadIsGood(expected, context.AnnouncedLength, platform::FileSize(partial),
                              download.Digest())) {
    download.Close();
    window.SetHint(kDownloadErrorNote);
    return true;
  }
  download.SyncAndClose();  // on disk before it can be staged
  if (!Stage(context, row)) window.SetHint(kDownloadErrorNote);
  return true;
}

}  // namespace

void DownloadTheFiles(TUpdaterContext& context) {
  IUpdaterWindow& window = context.Window;
  window.SetHint("");
  window.SetNextEnabled(false);
  window.SetHistoryEnabled(false);
  window.SetProgressVisible(true);
  window.SetProgressPosition(0);
  const int rowCount = window.RowCount();
  for (int index = 0; index < rowCount; ++index) {
    context.PSI.SetSourceString(window.RowText(index));
    window.SetItemIndex(index);
    if (!window.RowChecked(index)) continue;
    const TStringList& fields = context.PSI.FieldList();
    const std::string& installed = fields[kInstalledVersion];
    if (!installed.empty() && installed[0] == kNeverDownloadMark) continue;
    if (!FetchRow(context, RowToFetch(fields))) return;
  }
  window.SetProgressVisible(false);
  // A file that could not be moved in stays staged for the next start, which
  // installs it; the user hears of it as the start would tell it.
  const bool installed = InstallStagedFiles(context);
  std::string finished = "Finished. " + window.Hint();
  if (!installed) finished += (window.Hint().empty() ? "" : " ") + std::string(kFilesInUseText);
  window.SetStatusLine(finished);
  window.ShowInformation(finished);
  window.RequestTermination();
}
