#pragma once
// How a screen reader reads one row of the update list: as a person reads the
// painted row, column by column, instead of the raw record.
#include <QString>

// "Report.dll, current 1.0.001, available 1.0.002, installed more than once,
// in use" — the marks only when set.  A record too short to paint is read as
// it stands.
QString SpokenUpdateRow(const QString& record);
