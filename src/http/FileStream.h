#pragma once
// A stream that writes a body straight into a file as it arrives, so that
// memory does not grow with the body.  The file is created (or an existing
// one of that name, in any letter case, emptied in place) at the first
// write, or by Create when nothing came; a body that fails before its first
// byte never touches the disk.  Errors raise EFCreateError.
#include <string>

#include "http/Stream.h"
#include "platform/OutputFile.h"

class TFileStream : public TStream {
 public:
  explicit TFileStream(std::string path) : FPath(std::move(path)) {}

  int64_t Position() const override { return FSize; }
  int64_t Size() const override { return FSize; }
  void Write(const void* data, size_t size) override;
  // The file is only ever written at its end, so there is never anything
  // beyond the position.
  void CutAtPosition() override {}

  // Creates the file now unless it exists already: an empty body still
  // leaves an empty file.
  void Create();
  // Sends what is written to disk as it comes (platform::TOutputFile), for a
  // file that will be flushed with SyncAndClose.  Before the first write.
  void WriteBehind() { FFile.WriteBehind(); }
  bool Created() const { return FFile.IsOpen() || FClosed; }
  // The exact path of the file (the name given until it is created).
  const std::string& Path() const { return FFile.IsOpen() ? FFile.Path() : FOpenedPath; }
  // Flushes the file to disk (before it is renamed into a place that must
  // never hold half a file), then closes it.
  void SyncAndClose();
  void Close();

 private:
  std::string FPath;
  std::string FOpenedPath = FPath;
  platform::TOutputFile FFile;
  int64_t FSize = 0;
  bool FClosed = false;
};
