#pragma once
// Small helpers that the file functions of the platform layer share.  Only
// the platform layer includes this.
#include <cerrno>
#include <string>

namespace platform {

// Sets errno and returns false, for functions that report failure that way.
inline bool FailWith(int error) {
  errno = error;
  return false;
}

// Splits "a/b/c" into its folder "a/" and its name "c"; a bare name has the
// folder "".
inline void SplitFolderAndName(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
}

}  // namespace platform
