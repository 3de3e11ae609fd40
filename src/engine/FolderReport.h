#pragma once
// The folder report shown on a double click on an update list row: the
// folders in which the row's module is installed.
#include <string>

#include "engine/UpdaterContext.h"

inline constexpr const char* kFolderReportHeading = "The program is in the following folder(s)";

// The report's text for the row `itemIndex` whose record is `record`: the
// heading, then the full DirList path of each of the record's folder
// indexes, every line ended by CR LF.  Empty when there is nothing to report:
// no current row (negative index), a record of fewer than nine fields, or no
// folder index.  An index that does not convert raises EConvertError; one
// outside DirList raises the list index error.  Splits the record with SI
// and the indexes with SI3.
std::string FolderReportText(TUpdaterContext& context, int itemIndex, const std::string& record);

// The double-click handler's work: shows the report for the list's current
// row `itemIndex` in the information box, and nothing when the list has no
// current row or the report would be empty.
void ShowFolderReport(TUpdaterContext& context, int itemIndex);
