// Times update detection (the Next handler) for 200 modules over 2,000
// folders, the catalogue served by the scripted server on 127.0.0.1,
// against a floor: listing each folder once and looking each module's
// program file up in those listings, which detection cannot do without.
//
//   bench_detection [modules] [folders] [components-per-module] [rounds]
// Each module is installed in one folder (every tenth module in a second
// one too); of its components, every second is offered newer.  Each is run
// `rounds` times (default 5), alternating, and the best time counts.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "FakeUpdaterWindow.h"
#include "engine/FolderScan.h"
#include "engine/UpdateDetection.h"
#include "http/HttpClient.h"
#include "platform/TextEncoding.h"
#include "support/ScriptedServer.h"
#include "util/QuorvinSI.h"

namespace {

using Clock = std::chrono::steady_clock;

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string FolderName(int index) { return "App" + std::to_string(index) + "/"; }

// Lays out the tree and returns the catalogue.
std::string BuildInstallation(const std::string& root, int modules, int folders, int components) {
  for (int f = 0; f < folders; ++f) {
    std::filesystem::create_directories(root + FolderName(f / 10) + "Sub" + std::to_string(f));
  }
  std::string catalogue = "[modules]\r\n";
  std::string sections;
  for (int m = 0; m < modules; ++m) {
    const std::string name = "Mod" + std::to_string(m);
    catalogue += name + "=" + name + ".exe\r\n";
    sections += "[" + name + "]\r\n";
    std::string versions = "[" + name + "]\r\n";
    const int spread = std::max(1, folders / modules);
    std::vector<std::string> homes = {root + FolderName(m * spread / 10) + "Sub" +
                                      std::to_string(m * spread) + "/"};
    if (m % 10 == 0) homes.push_back(homes[0] + "Second/");
    for (int c = 0; c < components; ++c) {
      const std::string file = name + "_" + std::to_string(c) + ".dll";
      sections +=
          "C" + std::to_string(c) + "=1.0." + (c % 2 ? "005" : "004") + ",Lib\\" + file + "\r\n";
      versions += "C" + std::to_string(c) + "=1.0.004\r\n";
      for (const std::string& home : homes) {
        std::filesystem::create_directories(home);
        WriteFile(home + file, "component");
      }
    }
    for (const std::string& home : homes) {
      WriteFile(home + name + ".exe", "program");
      WriteFile(home + "Version.ini", versions);
    }
  }
  return catalogue + sections;
}

// One run of the Next handler over the scanned folders; returns its seconds.
double DetectionSeconds(const std::string& root, const std::string& url, int& folders, int& rows) {
  FakeUpdaterWindow window;
  THttpClient http;
  TQuorvinSI si, psi, nsi1, nsi2, si3;
  si.SetDelimiter(',');
  psi.SetDelimiter(',');
  nsi1.SetDelimiter('.');
  nsi2.SetDelimiter('.');
  si3.SetDelimiter('|');
  TUpdaterContext context{window, http, root, url,  std::make_unique<TStringList>(),
                          si,     psi,  nsi1, nsi2, si3};
  ScanFolder(context, root);
  const auto start = Clock::now();
  GetListOfFiles(context);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  folders = context.DirList->Count();
  rows = window.RowCount();
  return seconds;
}

// The floor: every folder listed once (names only, case-folded), then each
// program file looked up in every listing.  Returns its seconds.
double FloorSeconds(const std::vector<std::string>& folders,
                    const std::vector<std::string>& programFiles, int& found) {
  const auto start = Clock::now();
  std::vector<std::unordered_set<std::string>> listings(folders.size());
  for (size_t f = 0; f < folders.size(); ++f) {
    if (DIR* dir = ::opendir(folders[f].c_str())) {
      while (const dirent* entry = ::readdir(dir))
        listings[f].insert(platform::FoldCase(entry->d_name));
      ::closedir(dir);
    }
  }
  found = 0;
  for (const std::string& file : programFiles) {
    const std::string folded = platform::FoldCase(file);
    for (const auto& listing : listings) found += static_cast<int>(listing.count(folded));
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int modules = argc > 1 ? std::atoi(argv[1]) : 200;
  const int folders = argc > 2 ? std::atoi(argv[2]) : 2000;
  const int components = argc > 3 ? std::atoi(argv[3]) : 4;
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;

  std::string root =
      (std::filesystem::temp_directory_path() / "quorvin-bench-detect-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  root += "/";
  const std::string catalogue = BuildInstallation(root, modules, folders, components);
  std::vector<std::string> folderPaths, programFiles;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_directory()) folderPaths.push_back(entry.path().string() + "/");
  for (int m = 0; m < modules; ++m) programFiles.push_back("Mod" + std::to_string(m) + ".exe");

  ScriptedServer server;
  server.AddFile("/download/allfiles.ini", catalogue);
  double detectBest = 1e9, floorBest = 1e9;
  int listed = 0, rows = 0, found = 0;
  for (int round = 0; round < rounds; ++round) {
    detectBest = std::min(detectBest, DetectionSeconds(root, server.Url("/"), listed, rows));
    floorBest = std::min(floorBest, FloorSeconds(folderPaths, programFiles, found));
  }
  std::filesystem::remove_all(root);

  std::printf("modules %d, folders listed %d, catalogue %zu bytes, rows %d, installations %d\n",
              modules, listed, catalogue.size(), rows, found);
  std::printf("GetListOfFiles %8.1f ms (best of %d)\n", detectBest * 1000, rounds);
  std::printf("floor          %8.1f ms (list each folder once, look each program file up)\n",
              floorBest * 1000);
  std::printf("ratio detection/floor %.2f\n", detectBest / floorBest);
  return rows > 0 ? 0 : 1;
}
