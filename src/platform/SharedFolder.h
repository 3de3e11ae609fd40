#pragma once
// A product family's folder may be shared by a group: owned by the group,
// group-writable and set-group-ID, so that every file an update creates
// belongs to that group.  For the next member of the group to be able to
// update such a file in turn, it must be group-writable too, which the usual
// user mask (022) would prevent.
#include <string>

namespace platform {

// When the folder is group-writable and set-group-ID, lets files and folders
// created from now on carry the same group permissions as their owner's
// (the group bits are cleared from the process's mask).  Anywhere else the
// mask stays as it is.  Returns true when the mask was changed.
bool ShareNewFilesWithFolderGroup(const std::string& folder);

}  // namespace platform
