// The in-use probe against files that other processes hold.
#include "engine/InUseProbe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DetectTestSupport.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

// A child process that holds a file while it lives; killed and reaped at
// the end of the test.
class Holder {
 public:
  // Runs `program` with `file` opened on descriptor `fd` using `flags`.
  Holder(const std::string& program, const std::string& file, int fd, int flags) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!file.empty()) posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), flags, 0);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("60"), nullptr};
    spawned_ = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Holder() {
    if (!spawned_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  // Waits, with a deadline, until /proc shows the child's `link` (for
  // example "fd/0" or "exe") leading to `file`.
  bool WaitUntilHolding(const std::string& link, const std::string& file) const {
    if (!spawned_) return false;
    const std::string proc = "/proc/" + std::to_string(pid_) + "/" + link;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (SameFile(proc, file)) return true;
      std::this_thread::yield();
    }
    return false;
  }

 private:
  pid_t pid_ = 0;
  bool spawned_ = false;
};

TEST(InUseProbe, PlainClosedFileIsFree) {
  TempTree tree;
  EXPECT_FALSE(FileInUse(tree.File("App/Report.dll")));
}

TEST(InUseProbe, MissingFileFolderAndReadOnlyFileAreInUse) {
  TempTree tree;
  EXPECT_TRUE(FileInUse(tree.Path("App/Missing.dll")));
  EXPECT_TRUE(FileInUse(tree.Folder("App/Folder.dll")));
  const std::string readOnly = tree.File("App/ReadOnly.dll");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_TRUE(FileInUse(readOnly));
}

TEST(InUseProbe, FindsTheFileWithoutRegardToCase) {
  TempTree tree;
  tree.File("App/ModA.EXE");
  EXPECT_FALSE(FileInUse(tree.Path("App/moda.exe")));
}

TEST(InUseProbe, FileOpenForReadingInAnotherProcessIsInUse) {
  TempTree tree;
  const std::string file = tree.File("App/Report.dll");
  Holder holder("/bin/sleep", file, 0, O_RDONLY);
  ASSERT_TRUE(holder.WaitUntilHolding("fd/0", file));
  EXPECT_TRUE(FileInUse(file));
}

TEST(InUseProbe, FileOpenForWritingInAnotherProcessIsInUse) {
  TempTree tree;
  const std::string file = tree.File("App/Report.dll");
  Holder holder("/bin/sleep", file, 1, O_WRONLY | O_APPEND);
  ASSERT_TRUE(holder.WaitUntilHolding("fd/1", file));
  EXPECT_TRUE(FileInUse(file));
}

TEST(InUseProbe, RunningProgramImageIsInUse) {
  TempTree tree;
  const std::string program = tree.Path("App/Sleeper");
  std::filesystem::create_directories(tree.Path("App"));
  std::filesystem::copy_file("/bin/sleep", program);
  ::chmod(program.c_str(), 0755);
  Holder holder(program, "", 0, 0);
  ASSERT_TRUE(holder.WaitUntilHolding("exe", program));
  EXPECT_TRUE(FileInUse(program));
}

TEST(InUseProbe, ProbingLeavesContentsAndTimeStampsAlone) {
  TempTree tree;
  const std::string content("MZ\0\x01 binary \r\n tail", 20);
  const std::string file = tree.File("App/Report.dll", content);
  const timespec past[2] = {{1000000000, 123}, {1100000000, 456}};  // access, modification
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
  struct stat before, after;
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  EXPECT_FALSE(FileInUse(file));
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(tree.Read("App/Report.dll"), content);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
  EXPECT_EQ(after.st_mode, before.st_mode);
}

}  // namespace
