// Times update detection (the Next handler) for 200 modules over 2,000
// folders, the catalogue served by the scripted server on 127.0.0.1.
//
//   bench_detection [modules] [folders] [components-per-module]
// Each module is installed in one folder (every tenth module in a second
// one too); of its components, every second is offered newer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FakeUpdaterWindow.h"
#include "engine/FolderScan.h"
#include "engine/UpdateDetection.h"
#include "http/HttpClient.h"
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

}  // namespace

int main(int argc, char** argv) {
  const int modules = argc > 1 ? std::atoi(argv[1]) : 200;
  const int folders = argc > 2 ? std::atoi(argv[2]) : 2000;
  const int components = argc > 3 ? std::atoi(argv[3]) : 4;

  std::string root =
      (std::filesystem::temp_directory_path() / "quorvin-bench-detect-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  root += "/";
  const std::string catalogue = BuildInstallation(root, modules, folders, components);

  ScriptedServer server;
  server.AddFile("/download/allfiles.ini", catalogue);
  FakeUpdaterWindow window;
  THttpClient http;
  TQuorvinSI si, psi, nsi1, nsi2, si3;
  si.SetDelimiter(',');
  psi.SetDelimiter(',');
  nsi1.SetDelimiter('.');
  nsi2.SetDelimiter('.');
  si3.SetDelimiter('|');
  TUpdaterContext context{
      window, http, root, server.Url("/"), std::make_unique<TStringList>(), si, psi,
      nsi1,   nsi2, si3};
  ScanFolder(context, root);

  const auto start = Clock::now();
  GetListOfFiles(context);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::filesystem::remove_all(root);

  std::printf("modules %d, folders listed %d, catalogue %zu bytes, rows %d\n", modules,
              context.DirList->Count(), catalogue.size(), window.RowCount());
  std::printf("GetListOfFiles %.1f ms\n", seconds * 1000);
  return window.RowCount() > 0 ? 0 : 1;
}
