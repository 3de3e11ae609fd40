#include "util/Errors.h"

void RaiseConvertError(const std::string& text) {
  throw EConvertError("''" + text + "'' is not a valid integer value");
}

void RaiseListIndexError(long long index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void RaiseOutOfMemory() { throw EOutOfMemory("Out of memory"); }
