#pragma once
// quorvin-publish archive: keeps a signed release in the vendor's archive
// (ReleaseArchive.h), so that the next releases can make patches from its
// files.  Copies SERVER_ROOT's catalogue, its signatures and every file a
// component entry names into ARCHIVE/<serial>/download/, <serial> being the
// catalogue's serial; each copy is checked against the digest and size the
// catalogue was signed with.  The release is filled in ARCHIVE/.<serial>
// and renamed into place when whole, so the archive never holds half a
// release.  Archiving the same catalogue again changes nothing; another
// catalogue of the same serial is refused.  Raises Exception (nothing is
// left behind) for an unsigned catalogue, a missing file or a file that is
// not what the catalogue says.  Returns the exit status.
#include <ostream>
#include <string>

int ArchiveRelease(const std::string& serverRoot, const std::string& archiveRoot,
                   std::ostream& out);
