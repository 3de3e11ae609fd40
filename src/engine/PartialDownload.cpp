#include "engine/PartialDownload.h"

#include "platform/Files.h"
#include "util/Errors.h"

namespace engine {

void TPartialDownload::Write(const void* data, size_t size) {
  if (FSignedSize && static_cast<int64_t>(size) > *FSignedSize - FFile.Position())
    throw ETooMuchData("The server sent more than the file's signed size.");
  Create();
  FHasher.Update(data, size);
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
