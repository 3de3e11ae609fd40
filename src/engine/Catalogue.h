#pragma once
// The two INI files that carry all knowledge of versions.
//
// The catalogue, "allfiles.ini", comes from the download server and is kept
// in the program folder.  Its section "modules" names each module and the
// module's program file (the file whose presence marks a folder as an
// installation of the module); each module's own section names its
// components, each with a catalogue entry "version,file[,anything]".
//
// "Version.ini" lies in each installation folder: one section per module,
// one key per component, the installed version text as value.
//
// Every text is kept as read (versions too: "1.0.001" stays "1.0.001"); a
// missing key gives the default named below.
#include <cstdint>
#include <string>

#include "util/Errors.h"
#include "util/IniFiles.h"
#include "util/StringList.h"

inline constexpr const char* kCatalogueFileName = "allfiles.ini";
inline constexpr const char* kCataloguePath =
    "download/allfiles.ini";  // below the server's base URL
// The catalogue is kept in memory while it arrives.  A real one is a few
// kilobytes; a server sending more than this is refused while it sends.
inline constexpr int64_t kMaxCatalogueSize = int64_t{16} << 20;
inline constexpr const char* kCatalogueTooLargeText =
    "The update catalogue is too large (more than 16 MiB).";
QUORVIN_DECLARE_ERROR(ECatalogueTooLarge, Exception);
inline constexpr const char* kVersionFileName = "Version.ini";
inline constexpr const char* kModulesSection = "modules";

// Program file while looking for a module's installation folders.
inline constexpr const char* kProgramFileSearchDefault = "nope";
// Program file while building a row of the update list.
inline constexpr const char* kProgramFileRecordDefault = "xx.exe";
// Catalogue entry of a component that the module's section lacks; its
// version "XXX" is no number, so comparing it fails.
inline constexpr const char* kCatalogueEntryDefault = "XXX,1.0.001";
// Installed version of a component that Version.ini does not name.
inline constexpr const char* kInstalledVersionDefault = "1.0.001";

// Fields of a catalogue entry split at commas; later fields are ignored.
constexpr int kEntryAvailableVersion = 0;
constexpr int kEntryComponentFile = 1;

// The local catalogue copy, read through the INI layer once, when the
// object is made: nothing changes the copy while it is read, and one that
// was just written is too fresh for the INI cache to trust from read to read.
// A copy that is there but cannot be read raises EFOpenError: read as
// empty, it would announce that all is up to date, or let a download pass
// without the digest its entry names.
// A catalogue's bytes held in memory (TCatalogue's other source).
struct TCatalogueBytes {
  const std::string& Bytes;
};

class TCatalogue {
 public:
  explicit TCatalogue(const std::string& path) : FIni(path, true) {}
  // Read from memory exactly as a copy holding these bytes would be, for a
  // catalogue that is checked before it is ever written.
  explicit TCatalogue(TCatalogueBytes catalogue)
      : FIni(TIniSnapshot::OfBytes(catalogue.Bytes, kCatalogueFileName)) {}

  // The module names, in file order.
  void ReadModules(TStringList& modules) { FIni.ReadSection(kModulesSection, modules); }
  std::string ProgramFileForSearch(const std::string& module) {
    return FIni.ReadString(kModulesSection, module, kProgramFileSearchDefault);
  }
  std::string ProgramFileForRecord(const std::string& module) {
    return FIni.ReadString(kModulesSection, module, kProgramFileRecordDefault);
  }
  // The module's component keys, in file order; none when it has no section.
  void ReadComponents(const std::string& module, TStringList& components) {
    FIni.ReadSection(module, components);
  }
  std::string Entry(const std::string& module, const std::string& component) {
    return FIni.ReadString(module, component, kCatalogueEntryDefault);
  }

 private:
  TIniSnapshot FIni;
};

// The Version.ini of one installation folder (`folder` ends in "/").
class TInstalledVersions {
 public:
  explicit TInstalledVersions(const std::string& folder) : FIni(folder + kVersionFileName) {}

  std::string Version(const std::string& module, const std::string& component) {
    return FIni.ReadString(module, component, kInstalledVersionDefault);
  }
  // Records a newly installed version; raises EIniFileException on failure.
  void SetVersion(const std::string& module, const std::string& component,
                  const std::string& version) {
    FIni.WriteString(module, component, version);
  }

 private:
  TIniFile FIni;
};
