#pragma once
// Whether an installed file may be replaced now (the engine's in-use probe,
// engine/InUseProbe.h, says what "in use" means).
#include <string>

namespace platform {

bool FileInUse(const std::string& path);
bool ProcessHoldsFile(const std::string& path);

}  // namespace platform
