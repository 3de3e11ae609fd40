// Times the installation-folder scan on a generated tree of 10,000 folders
// and compares it with `find DIR -type d` on the same tree; also reports the
// longest interval in which the scan let no window message through.
//
//   bench_scan [folders-per-level...]   default 10 10 99 (10,010 folders)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeUpdaterWindow.h"
#include "engine/FolderScan.h"
#include "http/HttpClient.h"
#include "util/QuorvinSI.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 5;

// Builds `fanout[0]` folders, each holding `fanout[1]` folders, and so on;
// returns the number of folders made.
int BuildTree(const std::string& root, const std::vector<int>& fanout, size_t level = 0) {
  if (level == fanout.size()) return 0;
  int made = 0;
  for (int i = 0; i < fanout[level]; ++i) {
    const std::string folder = root + "Folder" + std::to_string(i) + "/";
    std::filesystem::create_directory(folder);
    made += 1 + BuildTree(folder, fanout, level + 1);
  }
  return made;
}

// One scan; `longestGap` is the longest time between two turns of the
// window's message handling (the start and the end count as turns).
double ScanSeconds(const std::string& root, int& listed, double& longestGap) {
  FakeUpdaterWindow window;
  THttpClient http;
  TQuorvinSI si, psi, nsi1, nsi2, si3;
  TUpdaterContext context{window, http, root, "",   std::make_unique<TStringList>(),
                          si,     psi,  nsi1, nsi2, si3};
  auto last = Clock::now();
  Clock::duration longest{};
  window.onProcessMessages = [&] {
    const auto now = Clock::now();
    longest = std::max(longest, now - last);
    last = now;
  };
  const auto start = last;
  ScanFolder(context, root);
  const auto end = Clock::now();
  longest = std::max(longest, end - last);
  longestGap = std::chrono::duration<double>(longest).count();
  listed = context.DirList->Count();
  return std::chrono::duration<double>(end - start).count();
}

double FindSeconds(const std::string& root) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>("find"), const_cast<char*>(root.c_str()),
                  const_cast<char*>("-type"), const_cast<char*>("d"), nullptr};
  const auto start = Clock::now();
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) return -1;
  ::waitpid(pid, nullptr, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> fanout;
  for (int i = 1; i < argc; ++i) fanout.push_back(std::atoi(argv[i]));
  if (fanout.empty()) fanout = {10, 10, 99};

  std::string root =
      (std::filesystem::temp_directory_path() / "quorvin-bench-scan-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  root += "/";
  const int made = BuildTree(root, fanout);

  double scanBest = 1e9, findBest = 1e9, gapBest = 1e9, gapWorst = 0;
  int listed = 0;
  for (int round = 0; round < kRounds; ++round) {  // warm caches alike, keep the best
    double gap = 0;
    scanBest = std::min(scanBest, ScanSeconds(root, listed, gap));
    gapBest = std::min(gapBest, gap);
    gapWorst = std::max(gapWorst, gap);
    findBest = std::min(findBest, FindSeconds(root));
  }
  std::filesystem::remove_all(root);

  std::printf("folders made %d, listed %d\n", made, listed);
  std::printf("ScanFolder    %8.2f ms\n", scanBest * 1000);
  std::printf("find -type d  %8.2f ms\n", findBest * 1000);
  std::printf("ratio scan/find %.2f\n", scanBest / findBest);
  std::printf("longest interval without a message turn %.2f ms (worst round %.2f ms)\n",
              gapBest * 1000, gapWorst * 1000);
  return listed == made ? 0 : 1;
}
