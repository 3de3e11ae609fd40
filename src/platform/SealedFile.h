#pragma once
// A file this process wrote that nobody else can have written: one it owns,
// whose mode never let its group or others write, held open so that its
// inode cannot be freed and reused for another file.  While the hold lasts,
// the name still naming the same inode proves the bytes are the ones this
// process wrote, without reading them again.  Only root can get past that,
// and root can get past any check.
//
// A file created in a folder shared with its group takes the group's write
// bit (SharedFolder.h) and is never sealed: its content must be read to be
// trusted.
#include <cstdint>
#include <string>

namespace platform {

class TSealedFile {
 public:
  TSealedFile() = default;
  ~TSealedFile();
  TSealedFile(TSealedFile&& other) noexcept;
  TSealedFile& operator=(TSealedFile&& other) noexcept;
  TSealedFile(const TSealedFile&) = delete;
  TSealedFile& operator=(const TSealedFile&) = delete;

  // Holds the regular file at exactly `path` (no link followed) when this
  // process owns it and its mode lets neither group nor others write; false
  // otherwise or when it cannot be opened, holding nothing.
  bool Seal(const std::string& path);
  // Whether `path` still names the held file, `size` bytes long, and
  // nothing else does (one link).  False when nothing is held or the
  // answer cannot be had.
  bool StillAt(const std::string& path, int64_t size) const;

 private:
  int FHandle = -1;
  std::string FPath;  // for the file seam
};

}  // namespace platform
