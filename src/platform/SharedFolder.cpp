#include "platform/SharedFolder.h"

#include <sys/stat.h>

#include "platform/FileCalls.h"

namespace platform {

bool ShareNewFilesWithFolderGroup(const std::string& folder) {
  struct stat info;
  if (calls::Stat(folder, info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if ((info.st_mode & (S_ISGID | S_IWGRP)) != (S_ISGID | S_IWGRP)) return false;
  const mode_t mask = ::umask(0);
  ::umask(mask & ~S_IRWXG);
  return true;
}

}  // namespace platform
