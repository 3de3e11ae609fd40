// Fuzz target: the catalogue, a folder's Version.ini and a companion file,
// read the way detection and the install read them, with the version
// comparison.  Every failure must be one of the program's own errors.
//
// Input: the catalogue's bytes, the line "####", the Version.ini's bytes,
// the line "####", the companion's bytes (missing parts are empty files).
#include "engine/Catalogue.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ScratchFolder.h"
#include "engine/CompanionFile.h"
#include "engine/FolderNameIndex.h"
#include "engine/UpdateRecord.h"
#include "engine/VersionCompare.h"
#include "platform/ProfileText.h"
#include "util/QuorvinSI.h"
#include "util/allfunct.h"

namespace {

constexpr std::string_view kPartSeparator = "\n####\n";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "catalogue: %s\n", what.c_str());
  std::abort();
}

std::vector<std::string> SplitParts(std::string_view input) {
  std::vector<std::string> parts;
  for (size_t end; parts.size() < 2 && (end = input.find(kPartSeparator)) != std::string::npos;
       input.remove_prefix(end + kPartSeparator.size())) {
    parts.emplace_back(input.substr(0, end));
  }
  parts.emplace_back(input);
  parts.resize(3);
  return parts;
}

struct TFolders {
  std::string program, installation;
};

const TFolders& Folders() {
  static const TFolders folders = [] {
    const std::string root = FuzzScratchFolder();
    TFolders made{root + "program/", root + "installation/"};
    ::mkdir(made.program.c_str(), 0755);
    ::mkdir(made.installation.c_str(), 0755);
    return made;
  }();
  return folders;
}

// A record rebuilt from its text keeps its fields, as long as none holds the
// separator (the record has no quoting, by design).
void CheckRecordRoundTrip(const TUpdateRecord& record) {
  const std::string text = BuildUpdateRecord(record);
  TQuorvinSI splitter;
  splitter.SetDelimiter(',');
  splitter.SetSourceString(text);
  if (splitter.FieldList().Count() != kUpdateRecordFieldCount) return;  // a field held a comma
  const TUpdateRecord back = TakeApartUpdateRecord(splitter.FieldList());
  if (back.ModuleName != record.ModuleName || back.ComponentKey != record.ComponentKey ||
      back.ComponentFile != record.ComponentFile ||
      back.AvailableVersion != record.AvailableVersion || back.Duplicate != record.Duplicate)
    Fail("update record does not survive its text");
}

// One component as detection examines it and the install records it.
void ExamineComponent(TCatalogue& catalogue, TInstalledVersions& versions,
                      const std::string& module, const std::string& component) {
  TQuorvinSI entry, offered, installed;
  entry.SetDelimiter(',');
  offered.SetDelimiter('.');
  installed.SetDelimiter('.');
  installed.SetSourceString(versions.Version(module, component));
  entry.SetSourceString(catalogue.Entry(module, component));
  offered.SetSourceString(entry.FieldList()[kEntryAvailableVersion]);
  const bool newer = AvailableIsNewer(offered.FieldList(), installed.FieldList());

  TUpdateRecord record{module,
                       component,
                       catalogue.ProgramFileForRecord(module),
                       entry.FieldList()[kEntryComponentFile],
                       installed.SourceString(),
                       offered.SourceString(),
                       newer,
                       false,
                       "0"};
  const std::string bare = BareFileName(record.ComponentFile);
  if (bare.find('/') != std::string::npos || bare == "." || bare == "..")
    Fail("component file \"" + record.ComponentFile + "\" escapes its folder as \"" + bare + "\"");
  CheckRecordRoundTrip(record);

  try {
    versions.SetVersion(module, component, record.AvailableVersion);
  } catch (const EIniFileException&) {
    return;  // a name that cannot be stored is refused, never half written
  }
  const std::string stored(platform::TrimBlanks(record.AvailableVersion));
  if (versions.Version(module, component) != stored.substr(0, 2047) && stored.size() <= 2047)
    Fail("recorded version does not read back");
}

void ReadCatalogue(const TFolders& folders) {
  TCatalogue catalogue(folders.program + kCatalogueFileName);
  TInstalledVersions versions(folders.installation);
  TStringList folderList;
  folderList.Add(folders.installation);
  TFolderNameIndex names(folderList);
  TStringList modules;
  catalogue.ReadModules(modules);
  for (int m = 0; m < modules.Count() && m < 16; ++m) {
    const std::string& module = modules[m];
    (void)names.FoldersHolding(LocalRelativePath(catalogue.ProgramFileForSearch(module)));
    TStringList components;
    catalogue.ReadComponents(module, components);
    for (int c = 0; c < components.Count() && c < 16; ++c) {
      try {
        ExamineComponent(catalogue, versions, module, components[c]);
      } catch (const EConvertError&) {
      } catch (const EStringListError&) {
      }
    }
  }
}

void ReadCompanion(const TFolders& folders, const std::string& bytes) {
  const std::string path = folders.program + "App.exe.V.1";
  WriteFuzzFile(path, bytes.data(), bytes.size());
  const TStringList lines = engine::ReadCompanionLines(path);
  for (const std::string& line : lines.Items()) {
    if (line.find_first_of("\r\n") != std::string::npos) Fail("companion line holds a line end");
  }
  if (lines.Count() < 4) return;
  const engine::TCompanion companion{lines[0], lines[1], lines[2], lines[3]};
  engine::WriteCompanionFile(path, companion);
  const TStringList again = engine::ReadCompanionLines(path);
  if (again.Count() != 4 || again[0] != companion.ModuleName ||
      again[1] != companion.ComponentKey || again[2] != companion.AvailableVersion ||
      again[3] != companion.ProgramFile)
    Fail("companion does not survive a rewrite");
  if (engine::FindCompanion(folders.program, "App.exe") != "App.exe.V.1")
    Fail("companion not found");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TFolders& folders = Folders();
  const std::vector<std::string> parts =
      SplitParts(std::string_view(reinterpret_cast<const char*>(data), size));
  WriteFuzzFile(folders.program + kCatalogueFileName, parts[0].data(), parts[0].size());
  WriteFuzzFile(folders.installation + kVersionFileName, parts[1].data(), parts[1].size());
  ReadCatalogue(folders);
  ReadCompanion(folders, parts[2]);
  return 0;
}
