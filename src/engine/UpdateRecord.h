#pragma once
// The update list record: the item text of one row of the update list.  Nine
// fields joined by single commas, with no quoting and no trailing comma.
// Detection builds it; drawing, the folder report and the download take it
// apart again with a comma splitter and read the fields by position.
#include <string>

#include "util/StringList.h"

// Field positions within a record.
enum TUpdateRecordField : int {
  kModuleName = 0,
  kComponentKey = 1,
  kProgramFile = 2,
  kComponentFile = 3,     // as the catalogue writes it, folders included
  kInstalledVersion = 4,  // a leading "*" marks a row that is shown but never fetched
  kAvailableVersion = 5,
  kDuplicateFlag = 6,  // "Y" when the module is installed in several folders
  kInUseFlag = 7,      // "Y" when the installed copy was found in use
  kFolderIndexes = 8,  // DirList positions joined by "|", first installation first
};
constexpr int kUpdateRecordFieldCount = 9;

// The two flag texts.  Readers compare with "Y" exactly; anything else is unset.
inline constexpr const char* kFlagSet = "Y";
inline constexpr const char* kFlagClear = "N";
// The separator between the folder indexes of a record.
constexpr char kFolderIndexSeparator = '|';
// Marks an installed version that is shown but never downloaded.
constexpr char kNeverDownloadMark = '*';

struct TUpdateRecord {
  std::string ModuleName;
  std::string ComponentKey;
  std::string ProgramFile;
  std::string ComponentFile;
  std::string InstalledVersion;
  std::string AvailableVersion;
  bool Duplicate = false;
  bool InUse = false;
  std::string FolderIndexes;
};

// The record's text: the fields in order, flags as "Y" or "N".
std::string BuildUpdateRecord(const TUpdateRecord& record);

// Takes apart the fields of a record that was split at commas.  A missing
// field raises the list index error, as any read past the end does.
TUpdateRecord TakeApartUpdateRecord(const TStringList& fields);

// True only for the exact text "Y".
bool FlagIsSet(const std::string& flag);
