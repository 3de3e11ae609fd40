#include "platform/Errors.h"

#include <cstring>

void RaiseCreateError(const std::string& path, int errnum) {
  throw EFCreateError("Cannot create file \"" + path + "\". " + PlatformReasonText(errnum));
}

void RaiseOpenError(const std::string& path, int errnum) {
  throw EFOpenError("Cannot open file \"" + path + "\". " + PlatformReasonText(errnum));
}

std::string PlatformReasonText(int errnum) {
  std::string text = std::strerror(errnum);
  while (!text.empty()) {
    unsigned char last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.') break;
    text.pop_back();
  }
  return text;
}
