#include "platform/ContainedFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

#include "platform/FileCalls.h"

namespace platform {
namespace {

// As many links as the kernel itself follows in one path.
constexpr int kMostLinksFollowed = 40;

// A descriptor that is closed when it goes, keeping errno.
class TDescriptor {
 public:
  explicit TDescriptor(int fd = -1) : FFd(fd) {}
  ~TDescriptor() { Reset(-1); }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return FFd; }
  int Release() { return std::exchange(FFd, -1); }
  void Reset(int fd) {
    if (FFd >= 0) {
      const int error = errno;
      ::close(FFd);
      errno = error;
    }
    FFd = fd;
  }

 private:
  int FFd;
};

struct TWalk {
  uid_t FamilyOwner = 0;
  int LinksFollowed = 0;
};

int Fail(int error) {
  errno = error;
  return -1;
}

// The text of the link open as `link`; empty with errno on failure.
std::string LinkTarget(int link, const std::string& shown) {
  char buffer[4096];
  const ssize_t length = calls::ReadLinkAt(link, buffer, sizeof buffer, shown);
  if (length <= 0) return {};
  if (static_cast<size_t>(length) >= sizeof buffer) {
    errno = ENAMETOOLONG;
    return {};
  }
  return std::string(buffer, static_cast<size_t>(length));
}

int WalkFrom(TWalk& walk, TDescriptor& at, std::string_view path, bool mayClimb, std::string shown);

// Follows the link open as `link` (named `shown`), found in the folder `at`
// (named `here`), when the rule allows it: its target is walked from the
// root or from `at`.  Returns the folder reached, or -1 with errno.
int FollowLink(TWalk& walk, const TDescriptor& at, const std::string& here, const TDescriptor& link,
               const struct stat& info, const std::string& shown) {
  if (!MayFollowLink(info.st_uid, walk.FamilyOwner)) return Fail(ELOOP);
  if (++walk.LinksFollowed > kMostLinksFollowed) return Fail(ELOOP);
  const std::string target = LinkTarget(link.Get(), shown);
  if (target.empty()) return -1;
  const bool fromRoot = target.front() == '/';
  TDescriptor base(fromRoot ? calls::OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC, "/")
                            : ::fcntl(at.Get(), F_DUPFD_CLOEXEC, 0));
  if (base.Get() < 0) return -1;
  // A link made by root or the family's owner may lead anywhere, upwards too.
  return WalkFrom(walk, base, target, true, fromRoot ? "/" : here);
}

// Steps from the folder open as `at` along `path`, one component at a time;
// returns the folder reached (`at` is used up), or -1 with errno.  `shown`
// names the place for the file seam.
int WalkFrom(TWalk& walk, TDescriptor& at, std::string_view path, bool mayClimb,
             std::string shown) {
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string component(path.substr(0, slash));
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (component.empty() || component == ".") continue;
    if (component == ".." && !mayClimb) return Fail(EINVAL);
    const std::string here = shown;
    if (!shown.empty() && shown.back() != '/') shown += '/';
    shown += component;
    TDescriptor next(calls::OpenAt(at.Get(), component, O_PATH | O_NOFOLLOW | O_CLOEXEC, shown));
    struct stat info;
    if (next.Get() < 0 || calls::StatOpen(next.Get(), info, shown) != 0) return -1;
    if (S_ISDIR(info.st_mode)) {
      at.Reset(next.Release());
    } else if (S_ISLNK(info.st_mode)) {
      const int reached = FollowLink(walk, at, here, next, info, shown);
      if (reached < 0) return -1;
      at.Reset(reached);
    } else {
      return Fail(ENOTDIR);
    }
  }
  return at.Release();
}

constexpr std::string_view kDescriptorPaths = "/proc/self/fd/";

// The folders open now, by descriptor, with their shown paths.
struct TOpenFolders {
  std::mutex Mutex;
  std::map<int, std::string> Shown;
};

TOpenFolders& OpenFolders() {
  static TOpenFolders folders;
  return folders;
}

void Register(int fd, const std::string& shown) {
  TOpenFolders& folders = OpenFolders();
  std::lock_guard<std::mutex> lock(folders.Mutex);
  folders.Shown[fd] = shown;
}

void Unregister(int fd) {
  TOpenFolders& folders = OpenFolders();
  std::lock_guard<std::mutex> lock(folders.Mutex);
  folders.Shown.erase(fd);
}

// The stamp of the folder open as `folder` (AT_FDCWD: the one at `path`);
// `path` names it for the seam.
bool StampOf(int folder, const std::string& path, TFolderStamp& stamp) {
  struct statx info;
  const bool open = folder != AT_FDCWD;
  if (calls::StatExtended(folder, open ? "" : path.c_str(), open ? AT_EMPTY_PATH : 0,
                          STATX_TYPE | STATX_INO | STATX_BTIME, info, path) != 0 ||
      !S_ISDIR(info.stx_mode))
    return false;
  stamp.Device = makedev(info.stx_dev_major, info.stx_dev_minor);
  stamp.Inode = info.stx_ino;
  stamp.Born =
      (info.stx_mask & STATX_BTIME) == 0
          ? 0
          : static_cast<uint64_t>(info.stx_btime.tv_sec) * 1000000000u + info.stx_btime.tv_nsec;
  return true;
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

TFolderStamp FolderStampOf(const std::string& path) {
  TFolderStamp stamp;
  if (!StampOf(AT_FDCWD, path, stamp)) stamp = {};
  return stamp;
}

bool MayFollowLink(uid_t linkOwner, uid_t familyOwner) {
  return linkOwner == 0 || linkOwner == familyOwner;
}

uid_t FamilyOwner(const std::string& family) {
  struct stat info;
  return calls::Stat(family, info) == 0 ? info.st_uid : 0;
}

TContainedFolder::~TContainedFolder() { Close(); }

TContainedFolder::TContainedFolder(TContainedFolder&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)),
      FPath(std::move(other.FPath)),
      FShown(std::move(other.FShown)),
      FStamp(other.FStamp) {}

TContainedFolder& TContainedFolder::operator=(TContainedFolder&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, -1);
    FPath = std::move(other.FPath);
    FShown = std::move(other.FShown);
    FStamp = other.FStamp;
  }
  return *this;
}

void TContainedFolder::Close() {
  if (FHandle >= 0) {
    Unregister(FHandle);
    ::close(FHandle);
  }
  FHandle = -1;
  FPath.clear();
  FShown.clear();
  FStamp = {};
}

bool TContainedFolder::Open(const std::string& family, const std::string& relative) {
  Close();
  const std::string familyFolder = WithSlash(family);
  // The program folder's own path is the administrator's: it is taken as
  // it stands, links and all.
  TDescriptor at(
      calls::OpenAt(AT_FDCWD, familyFolder, O_PATH | O_DIRECTORY | O_CLOEXEC, familyFolder));
  struct stat info;
  if (at.Get() < 0 || calls::StatOpen(at.Get(), info, familyFolder) != 0) return false;
  TWalk walk{info.st_uid};
  TDescriptor reached(WalkFrom(walk, at, relative, false, familyFolder));
  if (reached.Get() < 0) return false;
  // Read access, for listing the folder and locking it.
  const std::string shown = WithSlash(familyFolder + relative);
  TDescriptor opened(calls::OpenAt(reached.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, shown));
  TFolderStamp stamp;
  if (opened.Get() < 0 || !StampOf(opened.Get(), shown, stamp)) return false;
  FHandle = opened.Release();
  FPath = std::string(kDescriptorPaths) + std::to_string(FHandle) + "/";
  FShown = shown;
  FStamp = stamp;
  Register(FHandle, FShown);
  return true;
}

std::string ShownPath(const std::string& path) {
  if (!path.starts_with(kDescriptorPaths)) return path;
  const size_t slash = path.find('/', kDescriptorPaths.size());
  int fd = -1;
  const std::string_view number = std::string_view(path).substr(
      kDescriptorPaths.size(),
      slash == std::string::npos ? std::string::npos : slash - kDescriptorPaths.size());
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), fd);
  if (error != std::errc() || end != number.data() + number.size()) return path;
  TOpenFolders& folders = OpenFolders();
  std::lock_guard<std::mutex> lock(folders.Mutex);
  const auto open = folders.Shown.find(fd);
  if (open == folders.Shown.end()) return path;
  return slash == std::string::npos ? open->second : open->second + path.substr(slash + 1);
}

bool FolderIsGone(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP; }

}  // namespace platform
