#include "Site.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "HistoryPage.h"

namespace fs = std::filesystem;

namespace {

std::string ContentTypeFor(const fs::path& file) {
  std::string extension = file.extension().string();
  if (strcasecmp(extension.c_str(), ".ini") == 0 || strcasecmp(extension.c_str(), ".txt") == 0)
    return "text/plain; charset=utf-8";
  if (strcasecmp(extension.c_str(), ".html") == 0) return "text/html; charset=utf-8";
  return "application/octet-stream";
}

// The entry of folder whose name equals name apart from letter case, so a
// catalogue that spells a file differently from the disk still finds it (the
// product family comes from a file system that ignores case).
std::string MatchIgnoringCase(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (fs::exists(folder / name, error)) return name;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string candidate = entry.path().filename().string();
    if (strcasecmp(candidate.c_str(), name.c_str()) == 0) return candidate;
  }
  return name;
}

bool IsInside(const fs::path& path, const fs::path& folder) {
  auto [folderEnd, pathAt] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return folderEnd == folder.end() && pathAt != path.end();
}

}  // namespace

Site::Site(const fs::path& root) {
  std::error_code error;
  if (!fs::is_directory(root, error))
    throw std::runtime_error("root folder not found: " + root.string());
  fs::path download = root / "download";
  downloadDir_ = fs::weakly_canonical(download, error);
  if (error) downloadDir_ = fs::absolute(download);
}

Resource Site::Find(const std::vector<std::string>& segments) const {
  if (segments.empty())
    return Resource::Text(200, "OK", "text/html; charset=utf-8", IndexPageHtml());
  if (segments.size() == 1 && (segments[0] == "history" || segments[0] == "history.html"))
    return Resource::Text(200, "OK", "text/html; charset=utf-8", HistoryPageHtml());
  if (segments.size() >= 2 && segments[0] == "download")
    return FindDownload(std::vector<std::string>(segments.begin() + 1, segments.end()));
  return Resource::Error(404, "Not Found");
}

Resource Site::FindDownload(std::vector<std::string> segments) const {
  fs::path path = downloadDir_;
  for (const std::string& segment : segments) path /= MatchIgnoringCase(path, segment);

  // Symbolic links inside the tree are followed, but only to files that
  // still lie below the download folder.
  std::error_code error;
  fs::path real = fs::canonical(path, error);
  if (error || !IsInside(real, downloadDir_)) return Resource::Error(404, "Not Found");

  Resource resource;
  resource.file = FileDescriptor(::open(real.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!resource.file.IsOpen() || ::fstat(resource.file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
    return Resource::Error(404, "Not Found");
  resource.fileSize = info.st_size;
  resource.contentType = ContentTypeFor(real);
  return resource;
}
