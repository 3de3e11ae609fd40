#include "util/Errors.h"

#include <cstring>

void RaiseConvertError(const std::string& text) {
  throw EConvertError("''" + text + "'' is not a valid integer value");
}

void RaiseListIndexError(long long index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void RaiseCreateError(const std::string& path, int errnum) {
  throw EFCreateError("Cannot create file \"" + path + "\". " + PlatformReasonText(errnum));
}

void RaiseOpenError(const std::string& path, int errnum) {
  throw EFOpenError("Cannot open file \"" + path + "\". " + PlatformReasonText(errnum));
}

void RaiseOutOfMemory() { throw EOutOfMemory("Out of memory"); }

std::string PlatformReasonText(int errnum) {
  std::string text = std::strerror(errnum);
  while (!text.empty()) {
    unsigned char last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.') break;
    text.pop_back();
  }
  return text;
}
