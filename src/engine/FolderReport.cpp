#include "engine/FolderReport.h"

#include "engine/UpdateRecord.h"
#include "util/QuorvinSI.h"
#include "util/StrToInt.h"

namespace {

const char* const kLineEnd = "\r\n";

const TStringList& FolderList(TUpdaterContext& context, int folderIndex) {
  // Rows are only ever built after the folders were listed; without the
  // list any index is out of range.
  if (!context.DirList) RaiseListIndexError(folderIndex);
  return *context.DirList;
}

}  // namespace

std::string FolderReportText(TUpdaterContext& context, int itemIndex, const std::string& record) {
  if (itemIndex < 0) return {};
  context.SI.SetSourceString(record);
  if (context.SI.FieldList().Count() < kUpdateRecordFieldCount) return {};
  context.SI3.SetSourceString(context.SI.FieldList()[kFolderIndexes]);
  const TStringList& indexes = context.SI3.FieldList();
  if (indexes.Count() == 0) return {};

  std::string text = std::string(kFolderReportHeading) + kLineEnd;
  for (int index = 0; index < indexes.Count(); ++index) {
    const int folderIndex = StrToInt(indexes[index]);
    text += FolderList(context, folderIndex)[folderIndex] + kLineEnd;
  }
  return text;
}

void ShowFolderReport(TUpdaterContext& context, int itemIndex) {
  if (itemIndex < 0) return;  // the row text is read only for a current row
  const std::string text = FolderReportText(context, itemIndex, context.Window.RowText(itemIndex));
  if (!text.empty()) context.Window.ShowInformation(text);
}
