#include "engine/UpdateRecord.h"

namespace {

const char* FlagText(bool set) { return set ? kFlagSet : kFlagClear; }

}  // namespace

std::string BuildUpdateRecord(const TUpdateRecord& record) {
  std::string text;
  for (const std::string* field :
       {&record.ModuleName, &record.ComponentKey, &record.ProgramFile, &record.ComponentFile,
        &record.InstalledVersion, &record.AvailableVersion}) {
    text += *field;
    text += ',';
  }
  text += FlagText(record.Duplicate);
  text += ',';
  text += FlagText(record.InUse);
  text += ',';
  text += record.FolderIndexes;
  return text;
}

TUpdateRecord TakeApartUpdateRecord(const TStringList& fields) {
  TUpdateRecord record;
  record.ModuleName = fields[kModuleName];
  record.ComponentKey = fields[kComponentKey];
  record.ProgramFile = fields[kProgramFile];
  record.ComponentFile = fields[kComponentFile];
  record.InstalledVersion = fields[kInstalledVersion];
  record.AvailableVersion = fields[kAvailableVersion];
  record.Duplicate = FlagIsSet(fields[kDuplicateFlag]);
  record.InUse = FlagIsSet(fields[kInUseFlag]);
  record.FolderIndexes = fields[kFolderIndexes];
  return record;
}

bool FlagIsSet(const std::string& flag) { return flag == kFlagSet; }
