#include "http/FileStream.h"

void TFileStream::Write(const void* data, size_t size) {
  if (size == 0) return;
  Create();
  FFile.Write(data, size);
  FSize += static_cast<int64_t>(size);
}

void TFileStream::Create() {
  if (Created()) return;
  FFile.Create(FPath);
  FOpenedPath = FFile.Path();
}

void TFileStream::SyncAndClose() {
  if (!FFile.IsOpen()) return;
  FFile.Sync();
  Close();
}

void TFileStream::Close() {
  if (!FFile.IsOpen()) return;
  FClosed = true;
  FFile.Close();
}
