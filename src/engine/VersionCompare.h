#pragma once
// Tells whether the version the catalogue offers counts as newer than the
// installed one.  Both arrive split at full stops (major, minor, build).
//
// This is deliberately not an ordering: the offered version counts as newer
// as soon as one of its three components is greater than the installed
// component at the same position.  Components are compared in order and
// converted only when reached, so a comparison decided at the minor
// component never reads (or requires) the build components.  A component
// that does not convert raises EConvertError; one that is missing raises the
// list index error.
#include "util/StringList.h"

bool AvailableIsNewer(const TStringList& available, const TStringList& installed);
