#pragma once
// Writing and reading whole files, and opening one to write from its start.
#include <cstddef>
#include <string>

#include "platform/UnfinishedWrite.h"

namespace platform {

// Creates or replaces a whole file: the data is written beside the target
// (in a temporary file, UnfinishedWrite.h), flushed to disk and renamed into
// place, so the target is never half written.  A symbolic link under the
// name is replaced, not written through.  A replaced file keeps its
// permission bits (and owner and group where allowed); when they cannot be
// set the write fails.  The write is done when its folder is flushed too.
// Raises EFCreateError with the platform's reason on failure; when only
// the folder's flush failed, the new file is in place all the same.
void WriteWholeFile(const std::string& path, const void* data, size_t size);
// Opens a file for writing from its start, as a download arriving piece by
// piece needs it: an existing file of that name (found without regard to
// case) is emptied in place and keeps its owner and permissions, else the
// file is created under the name given.  The same files are refused as by
// WriteWholeFile, and so is a symbolic link under the name (ELOOP): the
// file it points at is never emptied.  Returns the descriptor and the
// exact path opened; raises EFCreateError with the platform's reason.
int OpenForReplacing(const std::string& path, std::string& opened);
// A file created anew takes the group's bits in a folder shared with a
// group (SharedFolder.h) in both.
// Reads a whole regular file; raises EFOpenError with the platform's
// reason.  Anything else under the name is refused without waiting: a
// folder (EISDIR), a FIFO, a device or a socket (EINVAL).
std::string ReadWholeFile(const std::string& path);

}  // namespace platform
