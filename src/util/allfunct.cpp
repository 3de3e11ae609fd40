#include "util/allfunct.h"

std::string AppendBackslash(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + '/';
}

std::string BareFileName(const std::string& componentFile) {
  const size_t separator = componentFile.find_last_of("\\:/");
  std::string name =
      separator == std::string::npos ? componentFile : componentFile.substr(separator + 1);
  if (name == "." || name == "..") return "";
  return name;
}
