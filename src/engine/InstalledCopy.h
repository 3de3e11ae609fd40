#pragma once
// The installed copy of a component's file that a patch starts from: the
// copy in the module's first installation folder, the one detection reports
// first (its Version.ini gave the installed version, its copy was probed for
// use, and it is the copy the installation replaces).  A module installed
// in several folders may hold other versions in the others; they do not
// count.
//
// The copy is read once: into a private copy made in the program folder
// (platform::TMappedFile::OpenPrivateCopy), hashed on the way, since its
// SHA-256 tells which patch fits; the private copy is mapped, and the patch
// reads its base from the mapping, so a copy of any size costs no memory of
// ours.  A private copy, because the installed
// file stays open to its application and to the family's group, and a
// mapping of the file itself would end the updater if one of them cut it
// shorter meanwhile.  The folder is reached by the contained walk
// from the program folder (platform/ContainedFolder.h), and the file itself
// is never a symbolic link: a member of the family's group who planted one
// could otherwise make the updater read any file it can read.  What cannot
// be reached or read this way is no base; the download then does without.
#include <cstdint>
#include <span>
#include <string>

#include "platform/MappedFile.h"
#include "util/Sha256.h"

namespace engine {

class TInstalledCopy {
 public:
  // Maps and hashes the copy of `bare` in `folder` (a folder of DirList,
  // below `programFolder`, both ending in "/").  The name is matched without
  // regard to case, as detection found it.  False, with nothing mapped, when
  // it cannot be had.  The window gets its turns while a large copy is
  // hashed.
  bool Open(const std::string& programFolder, const std::string& folder, const std::string& bare);

  std::span<const uint8_t> Bytes() const { return FMapping.Bytes(); }
  const TSha256Digest& Sha256() const { return FSha256; }

 private:
  platform::TMappedFile FMapping;
  TSha256Digest FSha256{};
};

}  // namespace engine
