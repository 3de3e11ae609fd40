#pragma once
// Making a folder's entries durable.
#include <string>

namespace platform {

// Flushes a folder's entries to disk (after a rename or a create).
void SyncFolder(const std::string& folder);

}  // namespace platform
