#pragma once
// What the demo server serves: the files below <root>/download at
// /download/..., the version history at /history and an index at /.
// Nothing outside <root>/download is ever opened.
#include <filesystem>
#include <string>
#include <vector>

#include "Resource.h"

class Site {
 public:
  // Throws std::runtime_error when root is no folder.
  explicit Site(const std::filesystem::path& root);

  // The answer for a GET or HEAD of the decoded path segments (see Target.h).
  Resource Find(const std::vector<std::string>& segments) const;

 private:
  Resource FindDownload(std::vector<std::string> segments) const;

  std::filesystem::path downloadDir_;  // canonical, so containment is a prefix test
};
