#pragma once
// Draws one row of the update list from its record: the File, Current,
// Available, Duplicate and In Use columns, lined up under the list's header.
#include <QRect>
#include <array>

#include "util/StringList.h"

class QPainter;

// Widths of the header's sections: File, Current, Available, Duplicate,
// In Use and the empty last one.
using THeaderWidths = std::array<int, 6>;

// Paints the row whose record, split at commas, is `fields`, into
// `itemRect` (the row right of its check box, in the list's coordinates).
// Bold Arial 10 pt on white; red for a row whose module is installed twice
// or whose file is in use, and for an installed version marked with "*"
// (drawn without the mark).  Only the File column is placed relative to the
// item rectangle; the others sit where the header puts them.  A focused row
// gets a dotted outline.  A record of fewer than eight fields raises the
// list index error once the white background is painted.
//
// The list's draw-item handler splits the row's text with the window's
// comma splitter SI and passes its fields:
//   SI.SetSourceString(itemText);
//   PaintUpdateRow(painter, rect, SI.FieldList(), headerWidths, state.focused);
void PaintUpdateRow(QPainter& painter, const QRect& itemRect, const TStringList& fields,
                    const THeaderWidths& widths, bool focused);
