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

std::string LocalRelativePath(const std::string& cataloguePath) {
  std::string path = cataloguePath;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}
