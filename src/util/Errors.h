#pragma once
// The framework's error classes.  The root class and the file errors live
// on the platform layer's floor (platform/Errors.h), which raises them; this
// header adds the other families and is the one the layers above include.
#include <string>

#include "platform/Errors.h"

QUORVIN_DECLARE_ERROR(EConvertError, Exception);
QUORVIN_DECLARE_ERROR(EStringListError, Exception);
QUORVIN_DECLARE_ERROR(EIniFileException, Exception);
QUORVIN_DECLARE_ERROR(EOutOfMemory, Exception);
// The silent error: the error report drops it without a box.
QUORVIN_DECLARE_ERROR(EAbort, Exception);

// "''%s'' is not a valid integer value"
[[noreturn]] void RaiseConvertError(const std::string& text);
// "List index out of bounds (%d)"
[[noreturn]] void RaiseListIndexError(long long index);
// "Out of memory"
[[noreturn]] void RaiseOutOfMemory();
