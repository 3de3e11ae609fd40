#pragma once
// What the fault-injection matrix and the soak share: an installation tree
// laid out from a description and served by the scripted server, the steps
// of a run (start, Next and Update) with their outcome as the user sees it,
// and the checks of what every run must leave behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SigningKey.h"
#include "StagedInstallFixture.h"
#include "engine/CompanionFile.h"
#include "engine/DownloadStaging.h"
#include "engine/InstallJournal.h"
#include "engine/StagedCheck.h"
#include "engine/StagingNames.h"
#include "engine/StartupHousekeeping.h"
#include "engine/TransferProgress.h"
#include "engine/UpdateDetection.h"
#include "engine/UpdateRecord.h"
#include "platform/FileSeam.h"
#include "platform/Files.h"
#include "platform/RunLock.h"
#include "platform/TextEncoding.h"
#include "support/ScriptedServer.h"
#include "util/Errors.h"
#include "util/allfunct.h"

namespace faults {

// ---- What is installed and what the catalogue offers ---------------------

struct TComponent {
  std::string Key;            // "Main"
  std::string CatalogueName;  // as the catalogue names the file ("Bin\\Report.dll")
  std::string DiskName;       // the installed copy's name, maybe in another letter case
  std::string OldContent;     // the copy in a folder holds this + "@" + the folder
  std::string NewContent;     // as served
  std::string OldVersion;     // "" when Version.ini records none
  std::string NewVersion;
  mode_t Mode = 0644;
  bool Digest = true;  // the catalogue names the file's SHA-256
};

struct TModule {
  std::string Name;
  std::string ProgramFile;
  std::vector<std::string> Folders;  // below the program folder, one module per folder
  std::vector<TComponent> Components;
  bool VersionFile = true;    // Version.ini present from the start
  mode_t VersionMode = 0644;  // which a rewritten Version.ini keeps
};

struct TLayout {
  std::vector<TModule> Modules;
  bool Signed = false;
  uint64_t Serial = 1;
  // Module folders that an administrator linked in: each is a symbolic link
  // (made by whoever runs the test: root, or the program folder's owner) to
  // the real folder named beside it, below a dot-folder the scan passes over.
  std::vector<std::pair<std::string, std::string>> FolderLinks = {};
};

inline std::string OldContentIn(const TComponent& component, const std::string& folder) {
  return component.OldContent + "@" + folder;
}

inline void LayOut(const TTempTree& tree, const TLayout& layout) {
  for (const auto& [link, real] : layout.FolderLinks) {
    tree.Folder(real);
    std::filesystem::create_symlink(tree.Path(real), tree.Path(link));
  }
  for (const TModule& module : layout.Modules) {
    for (const std::string& folder : module.Folders) {
      tree.Write(folder + "/" + module.ProgramFile, "program");
      std::string versions = "[" + module.Name + "]\r\n";
      for (const TComponent& component : module.Components) {
        const std::string path = folder + "/" + component.DiskName;
        tree.Write(path, OldContentIn(component, folder));
        ::chmod(tree.Path(path).c_str(), component.Mode);
        if (!component.OldVersion.empty())
          versions += component.Key + "=" + component.OldVersion + "\r\n";
      }
      if (module.VersionFile) {
        tree.Write(folder + "/Version.ini", versions);
        ::chmod(tree.Path(folder + "/Version.ini").c_str(), module.VersionMode);
      }
    }
  }
}

inline std::string CatalogueText(const TLayout& layout) {
  std::string text = "[modules]\r\n";
  for (const TModule& module : layout.Modules)
    text += module.Name + "=" + module.ProgramFile + "\r\n";
  for (const TModule& module : layout.Modules) {
    text += "[" + module.Name + "]\r\n";
    for (const TComponent& component : module.Components) {
      text += component.Key + "=" + component.NewVersion + "," + component.CatalogueName;
      if (layout.Signed)
        text += SignedFieldsOf(component.NewContent);
      else if (component.Digest)
        text += "," + Sha256FieldOf(component.NewContent);
      text += "\r\n";
    }
  }
  if (layout.Signed)
    text += "[release]\r\nSerial=" + std::to_string(layout.Serial) +
            "\r\nExpires=2025-03-08T12:00:00Z\r\n";
  return text;
}

inline void Serve(ScriptedServer& server, const TLayout& layout) {
  const std::string catalogue = CatalogueText(layout);
  server.AddFile("/download/allfiles.ini", catalogue);
  if (layout.Signed) server.AddFile("/download/allfiles.ini.sig", SignatureFile(catalogue));
  for (const TModule& module : layout.Modules)
    for (const TComponent& component : module.Components)
      server.AddFile("/download/" + BareFileName(component.CatalogueName), component.NewContent);
}

// ---- The representative update and leftovers ------------------------------

inline TComponent Component(std::string key, std::string catalogueName, std::string diskName,
                            std::string oldVersion, std::string newVersion, std::string newContent,
                            mode_t mode = 0644) {
  TComponent component;
  component.Key = std::move(key);
  component.CatalogueName = std::move(catalogueName);
  component.DiskName = std::move(diskName);
  component.OldContent = "old " + component.DiskName;
  component.NewContent = std::move(newContent);
  component.OldVersion = std::move(oldVersion);
  component.NewVersion = std::move(newVersion);
  component.Mode = mode;
  return component;
}

inline TLayout RepresentativeLayout() {
  TLayout layout;
  layout.Signed = true;
  layout.Serial = 20250301;
  layout.Modules = {
      {"ModA",
       "ModA.exe",
       {"A"},
       {Component("Main", "Report.dll", "Report.dll", "1.0.001", "2.0.000", "new Report"),
        Component("Help", "Docs\\Help.chm", "Help.chm", "1.0.001", "2.0.001", "new Help")}},
      {"ModB",
       "ModB.exe",
       {"B"},
       {Component("Main", "Lib.so", "Lib.so", "", "3.0.000", "new Lib", 0755)},
       false},
      {"ModC",
       "ModC.exe",
       {"C"},
       {Component("Main", "Report.dll", "Report.dll", "1.0.001", "7.0.000", "new Report")},
       true,
       0640},
      {"ModD",
       "ModD.exe",
       {"D1", "D2"},
       {Component("Main", "Data.bin", "Data.bin", "1.0.001", "4.0.000", "new Data", 0600)}},
      {"ModE",
       "ModE.exe",
       {"E"},
       {Component("Main", "Tool.bin", "tool.BIN", "1.0.001", "5.0.000", "new Tool", 0750)}},
  };
  return layout;
}

// What an earlier run left for a start: a catalogue copy, a partial
// download, an unfinished write, ModB's Lib.so staged, ModA's Report.dll
// moved in but its version not yet recorded, and a staged file of a module
// installed nowhere.
inline void LeaveLeftovers(const TTempTree& tree, const TLayout& layout) {
  tree.Write("AllFiles.ini", CatalogueText(layout));
  tree.Write("Gone.dll.{S}", "cut");
  tree.Write(".AllFiles.ini.{T}4242_0", "[mod");
  tree.Write("Lib.so.{F}", "new Lib");
  // Staged as this updater stages: with the record of what was checked.
  tree.Write("Lib.so.V.3.0.000", CompanionText("ModB", "Main", "3.0.000", "ModB.exe") +
                                     Sha256FieldOf("new Lib") + "\r\nsize=7\r\n");
  tree.Write("Orphan.dll.{F}", "orphan");
  tree.Write("Orphan.dll.V.1.0.000", CompanionText("ModZ", "Main", "1.0.000", "ModZ.exe"));

  tree.Write("Report.dll.V.2.0.000", CompanionText("ModA", "Main", "2.0.000", "ModA.exe"));
  std::filesystem::rename(tree.Path("A/Report.dll"), tree.Path("A/Report.dll.{O}"));
  tree.Write("A/Report.dll", "new Report");
  engine::WriteInstallJournal(
      tree.Root, JournalOfInstall(tree, "Report.dll", "A", "2.0.000", "Report.dll.{O}"));
}

// ---- The steps of a run and how they end ----------------------------------

enum class TOutcome {
  Plain,      // "Finished. " alone, "all up to date", or a start-up without a box of failure
  Note,       // "Finished. " followed by a note
  Error,      // the error report
  InUse,      // the start-up's box of files that could not be installed
  Aborted,    // "Download Aborted"
  Discarded,  // the start-up's box of staged files that failed their check again
};

inline const char* OutcomeName(TOutcome outcome) {
  switch (outcome) {
    case TOutcome::Plain:
      return "plain";
    case TOutcome::Note:
      return "note";
    case TOutcome::Error:
      return "error";
    case TOutcome::InUse:
      return "in use";
    case TOutcome::Aborted:
      return "aborted";
    case TOutcome::Discarded:
      return "discarded";
  }
  return "?";
}

// One run of the program over the tree: its window, HTTP client and folders.
class TProgramRun {
 public:
  TProgramRun(const TTempTree& tree, const ScriptedServer& server, const TLayout& layout)
      : FRig(tree.Root, server.Url("/")) {
    FRig.ReportTransfers();
    if (layout.Signed) {
      FRig.Context.CatalogueKey = kTestPublicKey;
      FRig.Context.UtcNow = [] { return int64_t{1740830400}; };
    }
  }

  TOutcome Start() {
    if (!Guarded([&] { Timer1Timer(FRig.Context); })) return TOutcome::Error;
    for (const std::string& box : FRig.Window.boxes) {
      if (box == kFilesInUseText) return TOutcome::InUse;
      // The run lock could not be taken: the box says why, as an error would.
      if (box.starts_with("Cannot lock file ")) return TOutcome::Error;
      // A staged file that no longer matches what was checked when it was
      // staged: its bytes did not survive.
      if (box.starts_with(engine::kFailedFilesText)) return TOutcome::Discarded;
    }
    return TOutcome::Plain;
  }

  // Next, then Update when Next offered rows; the start must have run.
  TOutcome NextAndUpdate() {
    if (!FRig.Context.DirList) return TOutcome::Error;
    if (!Guarded([&] { GetListOfFiles(FRig.Context); })) return TOutcome::Error;
    FInUseShown = AnyRowInUse();
    if (!FRig.Window.isUpdateButton) return TOutcome::Plain;  // all up to date
    const size_t boxesBefore = FRig.Window.boxes.size();
    if (!Guarded([&] { DownloadTheFiles(FRig.Context); })) return TOutcome::Error;
    if (FRig.Window.boxes.size() == boxesBefore) return TOutcome::Error;  // never ended
    const std::string& last = FRig.Window.boxes.back();
    if (last == "Finished. ") return TOutcome::Plain;
    if (last.rfind("Finished. ", 0) == 0) return TOutcome::Note;
    return TOutcome::Aborted;
  }

  // True when Next showed a row In Use: the user was told that its file
  // would be left alone.
  bool InUseShown() const { return FInUseShown; }
  FakeUpdaterWindow& Window() { return FRig.Window; }
  TEngineRig& Rig() { return FRig; }

 private:
  template <class Step>
  bool Guarded(Step step) {
    try {
      step();
      return true;
    } catch (const Exception& error) {
      FError = error.Message();
    } catch (const std::exception& error) {
      FError = error.what();
    }
    return false;
  }

  bool AnyRowInUse() {
    TQuorvinSI fields;
    fields.SetDelimiter(',');
    for (int index = 0; index < FRig.Window.RowCount(); ++index) {
      fields.SetSourceString(FRig.Window.RowText(index));
      if (fields.FieldList()[kInUseFlag] == "Y") return true;
    }
    return false;
  }

  TEngineRig FRig;
  std::string FError;
  bool FInUseShown = false;
};

// The errors an operation may meet: one that changes the disk fails as a
// full disk, a failing disk or a permission taken away makes it fail; a
// look only as a failing disk makes it fail (a look refused for want of
// permission finds nothing, by design, as for a file not there).
inline std::vector<int> ErrorsOf(platform::TFileOp op) {
  if (platform::ChangesDisk(op)) return {ENOSPC, EIO, EACCES};
  return {EIO};
}

// The fault that makes the operation at `index` (from 1) of a run's record
// fail with the error, once or from then on.  A full disk and a permission
// taken away fail only the operations that change the disk, from then on
// too; a failing disk fails every one.
inline platform::TFileFault FaultAt(const std::vector<platform::TFileOpRecord>& record,
                                    size_t index, int error, bool persistent) {
  if (error == EIO) return {static_cast<int64_t>(index), error, persistent, {}};
  int64_t changes = 0;
  for (size_t at = 0; at < index && at < record.size(); ++at)
    changes += platform::ChangesDisk(record[at].Op);
  return {changes, error, persistent,
          [](platform::TFileOp op, const std::string&) { return platform::ChangesDisk(op); }};
}

// Arms the file seam for its lifetime.
class TArmedFault {
 public:
  explicit TArmedFault(platform::TFileFault fault) { platform::ArmFileFaultForTesting(fault); }
  ~TArmedFault() { platform::DisarmFileFaultForTesting(); }
  TArmedFault(const TArmedFault&) = delete;
  TArmedFault& operator=(const TArmedFault&) = delete;
};

// ---- What a run must leave ---------------------------------------------

// Line breaks written out, so that a file's content stays on its line.
inline std::string OnOneLine(const std::string& text) {
  std::string line;
  for (const char c : text) line += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  return line;
}

// Every file and folder below the root, one per line: path, mode, content.
inline std::string Snapshot(const TTempTree& tree) {
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Root)) {
    const std::string relative = entry.path().string().substr(tree.Root.size());
    struct stat info;
    if (::lstat(entry.path().c_str(), &info) != 0) continue;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    lines.push_back(relative + (S_ISDIR(info.st_mode) ? "/ " : " ") + mode +
                    (S_ISREG(info.st_mode) ? " " + OnOneLine(tree.Read(relative)) : ""));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// True for a staged file whose companion names a program file that no
// module of the layout has: the next start discards it.
inline bool IsOrphan(const TTempTree& tree, const TLayout& layout, const std::string& staged) {
  const std::string bare = engine::BareNameOfStaged(staged);
  const std::string companion = engine::FindCompanion(tree.Root, bare);
  if (companion.empty()) return false;
  const TStringList lines = engine::ReadCompanionLines(tree.Path(companion));
  if (lines.Count() < 4) return false;
  for (const TModule& module : layout.Modules)
    if (platform::SameTextIgnoringCase(module.ProgramFile, lines[3])) return false;
  return true;
}

// True for what the program folder may hold after a failure without the
// user having to hear of it: the run lock's file, the catalogue copy,
// partial downloads and temporary files of writes (the next start deletes
// them; one it cannot delete it leaves without a word), staged files of modules installed
// nowhere (the next start discards them) and companions without their
// staged file (harmless: a companion is only read beside its staged file,
// and the next staging of that name removes it).
inline bool IsHarmlessLeftover(const TTempTree& tree, const TLayout& layout,
                               const std::string& name) {
  if (platform::IsUnfinishedWrite(name) || name == platform::kRunLockFileName) return true;
  const std::string folded = platform::FoldCase(name);
  if (folded.ends_with(".{s}") || folded == "allfiles.ini") return true;
  if (name.ends_with(engine::kStagedSuffix)) return IsOrphan(tree, layout, name);
  if (name.find(engine::kCompanionInfix) == std::string::npos) return false;
  for (const auto& entry : std::filesystem::directory_iterator(tree.Root)) {
    const std::string other = entry.path().filename().string();
    if (other.ends_with(engine::kStagedSuffix) && !IsOrphan(tree, layout, other) &&
        engine::IsCompanionOf(name, engine::BareNameOfStaged(other)))
      return false;
  }
  return true;
}

// The snapshot without the harmless leftovers of the program folder.
inline std::string Outcome(const TTempTree& tree, const TLayout& layout) {
  std::string kept;
  std::istringstream lines(Snapshot(tree));
  for (std::string line; std::getline(lines, line);) {
    const std::string name = line.substr(0, line.find(' '));
    if (name.find('/') == std::string::npos && IsHarmlessLeftover(tree, layout, name)) continue;
    kept += line + "\n";
  }
  return kept;
}

// The folder (relative, with "/") of the installation a journal says is
// under way, "" when there is none.
inline std::string FolderUnderWay(const TTempTree& tree) {
  if (!tree.Exists("InstallJournal.{J}")) return "";
  const auto journal = engine::ReadInstallJournal(tree.Root);
  if (!journal) return "?";
  return journal->Folder.substr(tree.Root.size());
}

// The keys of a module's section in a folder's Version.ini.
inline std::set<std::string> RecordedKeys(const TTempTree& tree, const std::string& folder,
                                          const std::string& module) {
  TStringList keys;
  TIniFile(tree.Path(folder + "/Version.ini")).ReadSection(module, keys);
  std::set<std::string> set;
  for (int index = 0; index < keys.Count(); ++index) set.insert(keys[index]);
  return set;
}

// Checks every installation folder: each component's copy is the old file
// with the old version or the new file with the new version, with its mode,
// Version.ini records no other key, and nothing else lies beside the
// module's files.  With `underWayMayWait`, a folder whose installation a
// journal says is under way is left for the next start (a disk that stays
// broken may keep the program from finishing or undoing it at once).
// Returns what is wrong, "" when nothing is.
inline std::string CheckFolders(const TTempTree& tree, const TLayout& layout,
                                bool underWayMayWait = false) {
  const std::string underWay = underWayMayWait ? FolderUnderWay(tree) : "";
  std::string wrong;
  for (const TModule& module : layout.Modules) {
    for (const std::string& folder : module.Folders) {
      if (underWay == folder + "/") continue;
      std::vector<std::string> expected = {module.ProgramFile, "Version.ini"};
      std::set<std::string> keys;
      for (const TComponent& component : module.Components) {
        const std::string path = folder + "/" + component.DiskName;
        expected.push_back(component.DiskName);
        const std::string version = RecordedVersion(tree, folder, module.Name, component.Key);
        const std::string content = tree.Exists(path) ? tree.Read(path) : "<missing>";
        const bool old =
            content == OldContentIn(component, folder) && version == component.OldVersion;
        const bool updated = content == component.NewContent && version == component.NewVersion;
        if (!version.empty()) keys.insert(component.Key);
        struct stat info {};
        ::stat(tree.Path(path).c_str(), &info);
        if (!old && !updated)
          wrong +=
              path + " holds \"" + content.substr(0, 40) + "\" with version \"" + version + "\"\n";
        else if ((info.st_mode & 07777) != component.Mode)
          wrong += path + " lost its mode\n";
      }
      if (RecordedKeys(tree, folder, module.Name) != keys)
        wrong += folder + "/Version.ini records other keys\n";
      if (tree.Read(folder + "/" + module.ProgramFile) != "program")
        wrong += folder + "/" + module.ProgramFile + " changed\n";
      struct stat versionFile {};
      if (module.VersionFile &&
          ::stat(tree.Path(folder + "/Version.ini").c_str(), &versionFile) == 0 &&
          (versionFile.st_mode & 07777) != module.VersionMode)
        wrong += folder + "/Version.ini lost its mode\n";
      for (const auto& entry : std::filesystem::directory_iterator(tree.Path(folder))) {
        const std::string name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
          wrong += folder + "/" + name + " should not be there\n";
      }
    }
  }
  return wrong;
}

// Every module's first folder holds the new files with the new versions.
inline std::string CheckAllInstalled(const TTempTree& tree, const TLayout& layout) {
  std::string wrong;
  for (const TModule& module : layout.Modules) {
    const std::string& folder = module.Folders.front();
    for (const TComponent& component : module.Components) {
      if (tree.Read(folder + "/" + component.DiskName) != component.NewContent ||
          RecordedVersion(tree, folder, module.Name, component.Key) != component.NewVersion)
        wrong += folder + "/" + component.DiskName + " is not installed\n";
    }
  }
  return wrong;
}

// After a start that ran to its end: nothing pending is left.
inline std::string CheckNothingPending(const TTempTree& tree) {
  std::string wrong;
  if (tree.Exists("InstallJournal.{J}")) wrong += "an installation is still under way\n";
  for (const auto& entry : std::filesystem::directory_iterator(tree.Root)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(engine::kStagedSuffix)) wrong += name + " is still staged\n";
  }
  return wrong;
}

}  // namespace faults
