#include "engine/UpdateDetection.h"

#include <optional>
#include <string>

#include "engine/BoundedBody.h"
#include "engine/Catalogue.h"
#include "engine/CatalogueRelease.h"
#include "engine/FolderNameIndex.h"
#include "engine/InUseProbe.h"
#include "engine/RootUpdate.h"
#include "engine/SignedCatalogue.h"
#include "engine/TransferProgress.h"
#include "engine/UpdateRecord.h"
#include "engine/VersionCompare.h"
#include "http/HttpClient.h"
#include "platform/Files.h"
#include "util/QuorvinSI.h"
#include "util/allfunct.h"

namespace {

// Where a module is installed, as positions in DirList.
struct TInstallations {
  int First = -1;
  bool Duplicate = false;
  std::string FolderIndexes;  // "2|5"
};

// Fetches the catalogue and stores it whole in the program folder.  In a
// build with a root, the roots come first: the catalogue is checked under
// the newest.
void FetchCatalogue(TUpdaterContext& context) {
  std::optional<engine::TRoot> root;
  if (CatalogueMustBeSigned(context)) root = engine::CurrentRoot(context);
  engine::TBoundedBody body(kMaxCatalogueSize,
                            [] { throw ECatalogueTooLarge(kCatalogueTooLargeText); });
  context.HttpClient.Get(context.DownloadUrl + kCataloguePath, body);
  // Exit pressed during the fetch cuts the transfer at its next progress
  // event: a cut entry could offer a wrong version and later record it as
  // installed.
  EndListingIfAborted(context);
  // In a build with a key nothing unverified is stored, so nothing
  // unverified is ever read.
  const std::string_view catalogue = body.Bytes();
  if (root) VerifyCatalogue(context, *root, catalogue);
  platform::WriteWholeFile(context.ProgramFolder + kCatalogueFileName, catalogue.data(),
                           catalogue.size());
}

TInstallations FindInstallations(TCatalogue& catalogue, TFolderNameIndex& folderNames,
                                 const std::string& module) {
  TInstallations found;
  // The catalogue writes folders in front of the program file with "\".
  const std::string programFile = LocalRelativePath(catalogue.ProgramFileForSearch(module));
  for (const int index : folderNames.FoldersHolding(programFile)) {
    if (found.First < 0) {
      found.First = index;
      found.FolderIndexes = std::to_string(index);
    } else {
      found.Duplicate = true;
      found.FolderIndexes += kFolderIndexSeparator + std::to_string(index);
    }
  }
  return found;
}

// Adds the row and gives it the checked and enabled states its probe asks for.
void AppendRow(IUpdaterWindow& window, const TUpdateRecord& record) {
  window.AddRow(BuildUpdateRecord(record));
  const int row = window.RowCount() - 1;
  window.SetRowChecked(row, !record.InUse);
  window.SetRowEnabled(row, !record.InUse);
}

// One component of an installed module; the splitters are read only between
// their assignment here and the end of this function.
void ExamineComponent(TUpdaterContext& context, TCatalogue& catalogue, TInstalledVersions& versions,
                      const std::string& module, const std::string& component,
                      const TInstallations& installations) {
  context.NSI1.SetSourceString(versions.Version(module, component));
  context.SI.SetSourceString(catalogue.Entry(module, component));
  context.NSI2.SetSourceString(context.SI.FieldList()[kEntryAvailableVersion]);
  const bool newer = AvailableIsNewer(context.NSI2.FieldList(), context.NSI1.FieldList());
  if (!newer && !installations.Duplicate) return;

  TUpdateRecord record;
  record.ModuleName = module;
  record.ComponentKey = component;
  record.ProgramFile = catalogue.ProgramFileForRecord(module);
  record.ComponentFile = context.SI.FieldList()[kEntryComponentFile];
  record.InstalledVersion = context.NSI1.SourceString();
  record.AvailableVersion = context.NSI2.SourceString();
  record.Duplicate = installations.Duplicate;
  record.FolderIndexes = installations.FolderIndexes;

  // The catalogue may name the file with folders in front (of either
  // platform); only its bare name is looked for, so no name from the server
  // reaches outside the installation folder.
  const std::string target =
      (*context.DirList)[installations.First] + BareFileName(record.ComponentFile);
  if (!platform::FileExistsOrRaise(target)) return;
  record.InUse = FileInUse(target);
  AppendRow(context.Window, record);
}

void ExamineModule(TUpdaterContext& context, TCatalogue& catalogue, TFolderNameIndex& folderNames,
                   const std::string& module) {
  const TInstallations installations = FindInstallations(catalogue, folderNames, module);
  if (installations.First < 0) return;
  TStringList components;
  catalogue.ReadComponents(module, components);
  TInstalledVersions versions(AppendBackslash((*context.DirList)[installations.First]));
  for (int index = 0; index < components.Count(); ++index) {
    ExamineComponent(context, catalogue, versions, module, components[index], installations);
  }
}

void ListUpdates(TUpdaterContext& context) {
  TCatalogue catalogue(context.ProgramFolder + kCatalogueFileName);
  TStringList modules;
  catalogue.ReadModules(modules);
  TFolderNameIndex folderNames(*context.DirList);
  for (int index = 0; index < modules.Count(); ++index) {
    // In a signed catalogue the section of that name is the release's.
    if (CatalogueMustBeSigned(context) && IsReleaseSection(modules[index])) continue;
    ExamineModule(context, catalogue, folderNames, modules[index]);
  }
}

void OfferUpdates(IUpdaterWindow& window) {
  window.RepaintList();
  window.SetStatusLine(kChooseUpdatesText);
  window.BecomeUpdateButton();
}

void EndUpToDate(IUpdaterWindow& window) {
  window.SetStatusLine(kUpToDateText);
  window.SetProgressVisible(false);
  window.ShowInformation(kUpToDateText);
  window.RequestTermination();
}

}  // namespace

void GetListOfFiles(TUpdaterContext& context) {
  IUpdaterWindow& window = context.Window;
  window.SetStatusLine(kConnectingText);
  window.SetTag(0);  // clears an abort requested before this run
  // Without the folder list every module would look uninstalled and the
  // program would end saying all is up to date; refuse instead.
  if (!context.DirList) throw Exception("The installation folders have not been listed yet.");
  try {
    FetchCatalogue(context);
    window.SetNextEnabled(false);
    window.SetHistoryEnabled(false);
    ListUpdates(context);
  } catch (...) {
    // An error leaves the window to the user, Exit among the buttons left,
    // and Exit ends the program only when no connection is open: close the
    // one the catalogue came on, even where the server would keep it.
    context.HttpClient.Disconnect();
    throw;
  }
  window.SetHistoryEnabled(true);
  if (window.RowCount() > 0) {
    OfferUpdates(window);
  } else {
    EndUpToDate(window);
  }
}
