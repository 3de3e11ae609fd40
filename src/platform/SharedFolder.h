#pragma once
// A product family's folder may be shared by a group: owned by the group,
// group-writable and set-group-ID, so that every file an update creates
// belongs to that group.  For the next member of the group to be able to
// update such a file in turn, it must be group-writable too, which the usual
// user mask (022) would prevent.
//
// The process's mask is left as it is: the browser that History opens, and
// anything else the program starts, must not create group-writable files in
// the user's home.  Instead, each file the updater creates in such a folder
// is given the group's bits through its own descriptor.
#include <sys/stat.h>

#include <string>

namespace platform {

// True when the folder is group-writable and set-group-ID.
bool SharedWithGroup(const std::string& folder);

// Gives the new file open as `fd` (named `path`, for the file seam), which
// was just created in `folder`, the group's read and write bits where its
// owner has them, when the folder is shared with a group; elsewhere the file
// keeps the bits the mask gave it.  False when the bits could not be set.
bool ShareNewFileWithFolderGroup(int fd, const std::string& path, const std::string& folder);

}  // namespace platform
