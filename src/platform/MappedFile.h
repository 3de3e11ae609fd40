#pragma once
// A regular file mapped into memory read-only, so that a large file can be
// read at random (a patch's base file) without a copy of it on the heap:
// its pages come from the file system's cache and cost no memory of ours.
//
// A mapping shows the file as it is on disk: a file that another process
// cuts shorter while it is mapped faults when its lost pages are read, which
// ends the process.  Map with Open or OpenExact only files that nothing else
// writes meanwhile; a file that others may write is mapped by
// OpenPrivateCopy, which maps a copy of it that nobody else can reach.
#include <cstddef>
#include <cstdint>
#include <functional>
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
  // The file at exactly this path (a symbolic link refused, as OpenExact),
  // copied first into a file without a name made in `scratchFolder` (ending
  // in "/"; a folder on a disk, so the copy costs page cache, not memory of
  // ours), which goes when the mapping does.  Nobody else can open the copy,
  // so nothing done to the original can change or fault what is mapped.  A
  // file that changes size while it is copied raises EFOpenError (EAGAIN),
  // as does a scratch folder's file system that cannot make such a file.
  // `eachBlock` sees each block of at most a MiB as it is copied, in order
  // (to hash the file on the way, and give a window its turn).
  void OpenPrivateCopy(const std::string& path, const std::string& scratchFolder,
                       const std::function<void(std::span<const uint8_t>)>& eachBlock = {});
  void Close();

  std::span<const uint8_t> Bytes() const { return {FData, FSize}; }

 private:
  void Map(const std::string& path, const std::string& shown, int flags);
  void MapDescriptor(int fd, size_t size, const std::string& path, const std::string& shown);

  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  void* FMapping = nullptr;  // what munmap takes back; none for an empty file
};

}  // namespace platform
