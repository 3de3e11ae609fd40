#pragma once
// A regular file mapped into memory read-only, so that a large file can be
// read at random (a patch's base file) without a copy of it on the heap:
// its pages come from the file system's cache and cost no memory of ours.
//
// The mapping shows the file as it is on disk: a file that another process
// cuts shorter while it is mapped would fault when its lost pages are read.
// Map only files that nothing else writes meanwhile.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

class TMappedFile {
 public:
  TMappedFile() = default;
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  // Maps the regular file at the path (looked up without regard to case),
  // whole.  Raises EFOpenError with the platform's reason; a folder, a FIFO
  // or a device is refused.  An empty file maps to no bytes.
  void Open(const std::string& path);
  // The same for the file at exactly this path (nothing looked up without
  // regard to case), where a symbolic link is refused (ELOOP): for a file
  // reached inside a folder that someone else may write to.
  void OpenExact(const std::string& path);
  void Close();

  std::span<const uint8_t> Bytes() const { return {FData, FSize}; }

 private:
  void Map(const std::string& path, const std::string& shown, int flags);

  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  void* FMapping = nullptr;  // what munmap takes back; none for an empty file
};

}  // namespace platform
