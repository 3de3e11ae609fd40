#include "engine/PartialDownload.h"

#include "platform/Files.h"
#include "util/Errors.h"

namespace engine {

void TPartialDownload::Write(const void* data, size_t size) {
  Create();
  if (FHashed) FHasher.Update(data, size);
  FFile.Write(data, size);
}

void TPartialDownload::Create() {
  if (FFile.Created()) return;
  FFile.Create();
}

void TPartialDownload::Discard() {
  if (!FFile.Created()) return;
  try {
    FFile.Close();
  } catch (const Exception&) {
    // The file goes anyway.
  }
  platform::DeleteFileExact(FFile.Path());
}

}  // namespace engine
