#pragma once
// A child process that holds a file open (or runs it) while it lives, for
// the in-use tests.  Killed and reaped at the end of the test.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

inline bool DetectSameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

// A child process that holds a file while it lives; killed and reaped at
// the end of the test.
class DetectFileHolder {
 public:
  // Runs `program` with `file` opened on descriptor `fd` using `flags`.
  DetectFileHolder(const std::string& program, const std::string& file, int fd, int flags) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!file.empty()) posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), flags, 0);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("60"), nullptr};
    spawned_ = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~DetectFileHolder() {
    if (!spawned_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  // Waits, with a deadline, until /proc shows the child's `link` (for
  // example "fd/0" or "exe") leading to `file`.
  bool WaitUntilHolding(const std::string& link, const std::string& file) const {
    if (!spawned_) return false;
    const std::string proc = "/proc/" + std::to_string(pid_) + "/" + link;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (DetectSameFile(proc, file)) return true;
      std::this_thread::yield();
    }
    return false;
  }

 private:
  pid_t pid_ = 0;
  bool spawned_ = false;
};
