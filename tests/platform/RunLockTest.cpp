// One run at a time per program folder, on a lock only members can hold.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/RunLock.h"
#include "platform/TempFolder.h"

using platform::TRunLock;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(0, ::stat(path.c_str(), &info)) << path;
  return info.st_mode & 07777;
}

// Runs the body in a child process as a user who is neither the folder's
// owner nor in its group; true when the body returned true.
template <typename Body>
bool AsAStranger(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    const bool lowered = ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                         ::setresuid(65534, 65534, 65534) == 0;
    ::_exit(lowered && body() ? 0 : 1);
  }
  int status = -1;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// flock belongs to the open file description, so a second open in this
// same process meets the lock as another run would.
TEST(RunLockTest, ASecondRunIsRefusedUntilTheFirstEnds) {
  TempFolder folder;
  TRunLock second;
  {
    TRunLock first;
    ASSERT_TRUE(first.Take(folder.Path()));
    EXPECT_TRUE(first.Held());
    EXPECT_FALSE(second.Take(folder.Path()));
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_FALSE(second.Held());
  }
  EXPECT_TRUE(second.Take(folder.Path()));
  EXPECT_TRUE(second.Held());
}

// The file only its owner, and the group of a shared folder, may open; the
// user's mask neither widens nor narrows that.
TEST(RunLockTest, TheLockFileIsTheMembersAlone) {
  TempFolder plain, shared;
  ASSERT_EQ(0, ::chmod(shared.Path().c_str(), 02777));
  const mode_t saved = ::umask(0077);
  {
    TRunLock inPlain, inShared;
    EXPECT_TRUE(inPlain.Take(plain.Path()));
    EXPECT_TRUE(inShared.Take(shared.Path()));
  }
  ::umask(0);
  EXPECT_EQ(ModeOf(plain / "quorvin-updater.lock"), 0600u);
  EXPECT_EQ(ModeOf(shared / "quorvin-updater.lock"), 0660u);

  // One that others may open is made private again by its owner.
  ASSERT_EQ(0, ::chmod((plain / "quorvin-updater.lock").c_str(), 0666));
  TRunLock again;
  EXPECT_TRUE(again.Take(plain.Path()));
  EXPECT_EQ(ModeOf(plain / "quorvin-updater.lock"), 0660u);
  ::umask(saved);
}

// A stranger may open the folder and lock it, but that stops nobody; the
// lock file a stranger cannot open at all.
TEST(RunLockTest, AStrangerCannotStopAnUpdate) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a user to be the stranger";
  TempFolder folder;
  ASSERT_EQ(0, ::chmod(folder.Path().c_str(), 02775));
  {
    TRunLock made;
    ASSERT_TRUE(made.Take(folder.Path()));
  }
  EXPECT_TRUE(AsAStranger([&] {
    const int fd = ::open((folder / "quorvin-updater.lock").c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 && errno == EACCES;
  }));
  const int strangers = ::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(0, ::flock(strangers, LOCK_EX | LOCK_NB));
  TRunLock run;
  EXPECT_TRUE(run.Take(folder.Path()));
  ::close(strangers);

  // The stranger's own updater cannot take the lock, and says why.
  EXPECT_TRUE(AsAStranger([&] {
    TRunLock theirs;
    return !theirs.Take(folder.Path()) && errno == EACCES;
  }));
}

// Any other failure is no lock either, and says why: a missing folder,
// something else than a regular file under the lock's name.
TEST(RunLockTest, WithoutTheLockNoRunGoesOn) {
  TempFolder folder;
  TRunLock nowhere;
  EXPECT_FALSE(nowhere.Take(folder / "missing/"));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(nowhere.Held());

  ASSERT_EQ(0, ::mkfifo((folder / "quorvin-updater.lock").c_str(), 0600));
  EXPECT_FALSE(nowhere.Take(folder.Path()));
  EXPECT_EQ(errno, EINVAL);
  ASSERT_EQ(0, ::unlink((folder / "quorvin-updater.lock").c_str()));
  ASSERT_EQ(0, ::mkdir((folder / "quorvin-updater.lock").c_str(), 0700));
  EXPECT_FALSE(nowhere.Take(folder.Path()));
  EXPECT_EQ(errno, EISDIR);
}
