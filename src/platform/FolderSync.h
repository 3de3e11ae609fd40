#pragma once
// Making a folder's entries durable.
#include <string>

namespace platform {

// Flushes a folder's entries to disk, after a create, rename or delete in
// it that must survive a power cut.  False, errno set, when that could not
// be done: the change may then be lost, and the step that needed it fails.
[[nodiscard]] bool SyncFolder(const std::string& folder);

}  // namespace platform
