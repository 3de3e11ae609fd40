#include "ui/LookManager.h"

#include "ui/LookStyle.h"

bool TLookManager::Activate(const uint8_t* data, size_t size) {
  FActive = ApplyLookPackage(data, size);
  return FActive;
}
