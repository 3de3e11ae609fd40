#include "util/allfunct.h"

#include <algorithm>

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
  if (path.empty() || path.front() == '/') return "";
  for (size_t start = 0; start <= path.size();) {
    const size_t end = std::min(path.find('/', start), path.size());
    if (path.compare(start, end - start, "..") == 0) return "";
    start = end + 1;
  }
  return path;
}
