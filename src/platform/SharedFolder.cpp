#include "platform/SharedFolder.h"

#include "platform/FileCalls.h"

namespace platform {

bool SharedWithGroup(const std::string& folder) {
  struct stat info;
  if (calls::Stat(folder.empty() ? "." : folder, info) != 0 || !S_ISDIR(info.st_mode)) return false;
  return (info.st_mode & (S_ISGID | S_IWGRP)) == (S_ISGID | S_IWGRP);
}

bool ShareNewFileWithFolderGroup(int fd, const std::string& path, const std::string& folder) {
  if (!SharedWithGroup(folder)) return true;
  struct stat info;
  if (calls::StatOpen(fd, info, path) != 0) return false;
  const mode_t mode = info.st_mode & 07777;
  const mode_t shared = mode | ((mode & (S_IRUSR | S_IWUSR)) >> 3);
  return shared == mode || calls::ChangeMode(fd, shared, path) == 0;
}

}  // namespace platform
