#pragma once
// The folder the updater works on: the one that holds its executable.
#include <string>

namespace platform {

// The folder of the running executable, ending in "/".  Tests may override it.
std::string ProgramFolder();
void SetProgramFolderForTesting(const std::string& folder);  // "" restores the real one

}  // namespace platform
