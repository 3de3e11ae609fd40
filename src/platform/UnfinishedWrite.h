#pragma once
// The hidden temporary file a whole-file write works in, beside its target:
// "." + name + ".{T}" + process id + "_" + counter.  One is left only when
// the process died in the middle of a write; the next run may delete it.
#include <string>

namespace platform {

// True when `entry` is such a file, of a write to `name` when one is given
// (letter case ignored), else of a write to any name.
bool IsUnfinishedWrite(const std::string& entry, const std::string& name = "");

// A fresh temporary path for a write to `name` in `folder` (ending in "/",
// or "" for the current folder).
std::string NewTempPathBeside(const std::string& folder, const std::string& name);

}  // namespace platform
