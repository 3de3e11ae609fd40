#pragma once
// The partial download of one row, "<bare>.{S}" in the program folder: the
// body goes into the file as it arrives, and into its SHA-256 on the way, so
// nothing is read back afterwards and memory does not grow with the file.
// The digest is computed on a worker thread while the body is received and
// written.  Where the catalogue signs the file's size, not a byte more is
// taken: the write that would pass it raises ETooMuchData, which cuts the
// transfer there.
#include <optional>
#include <string>

#include "http/FileStream.h"
#include "util/BackgroundSha256.h"
#include "util/Errors.h"

namespace engine {

QUORVIN_DECLARE_ERROR(ETooMuchData, Exception);

class TPartialDownload : public TStream {
 public:
  // A good download is flushed to disk before it is staged; its data goes to
  // disk as it arrives, so that flush is short even for a large file.
  TPartialDownload(const std::string& path, std::optional<int64_t> signedSize)
      : FFile(path), FSignedSize(signedSize) {
    FFile.WriteBehind();
  }

  int64_t Position() const override { return FFile.Position(); }
  int64_t Size() const override { return FFile.Size(); }
  void Write(const void* data, size_t size) override;
  void CutAtPosition() override { FFile.CutAtPosition(); }

  // After a transfer that returned (whole, short or cut): the file exists
  // with every byte received, also when there were none.
  void Create();
  // After a transfer that failed: nothing of it is left on disk.
  void Discard();
  // Before the file is staged: its data is flushed to disk first, so a
  // power cut after the rename can never leave a staged file with garbage.
  void SyncAndClose() { FFile.SyncAndClose(); }
  void Close() { FFile.Close(); }

  // The SHA-256 of the bytes received.
  TSha256Digest Digest() { return FHasher.Final(); }

 private:
  TFileStream FFile;
  std::optional<int64_t> FSignedSize;
  TBackgroundSha256 FHasher;
};

}  // namespace engine
