// Times 100,000 ReadString calls, each through a new TIniFile as update
// detection makes them, on a generated INI file of 1 MiB.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "util/IniFiles.h"

namespace {

constexpr int kCalls = 100000;
constexpr size_t kFileSize = 1 << 20;
constexpr int kKeysPerSection = 40;

std::string KeyName(int component) { return "Component" + std::to_string(component) + ".dll"; }
std::string ValueOf(int section, int component) {
  return "1." + std::to_string(section) + "." + std::to_string(component) + ",Tools\\" +
         KeyName(component);
}

// Writes sections of kKeysPerSection entries until the file holds 1 MiB;
// returns the number of sections.
int GenerateFile(const std::string& path) {
  std::string text;
  int sections = 0;
  while (text.size() < kFileSize) {
    text += "[Module" + std::to_string(sections) + "]\r\n";
    for (int k = 0; k < kKeysPerSection; ++k)
      text += KeyName(k) + " = " + ValueOf(sections, k) + "\r\n";
    ++sections;
  }
  std::ofstream(path, std::ios::binary) << text;
  return sections;
}

}  // namespace

int main() {
  const auto folder =
      std::filesystem::temp_directory_path() / ("quorvin-bench-ini-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "allfiles.ini").string();
  const int sections = GenerateFile(path);

  unsigned state = 12345;  // a fixed pseudo-random walk over sections and keys
  int wrong = 0;
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  for (int call = 0; call < kCalls; ++call) {
    state = state * 1103515245u + 12345u;
    const int section = static_cast<int>((state >> 8) % static_cast<unsigned>(sections));
    const int component = static_cast<int>((state >> 20) % kKeysPerSection);
    TIniFile ini(path);
    const std::string value =
        ini.ReadString("module" + std::to_string(section), KeyName(component), "XXX,1.0.001");
    if (value != ValueOf(section, component)) ++wrong;
  }
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  std::filesystem::remove_all(folder);

  // CPU time as well: on a busy machine the wall-clock figure mostly measures
  // the wait for a processor.
  std::printf(
      "%d ReadString calls on a %.2f MiB INI file (%d sections): %.1f ms wall, %.1f ms CPU, "
      "%.2f us CPU per call\n",
      kCalls, static_cast<double>(kFileSize) / (1 << 20), sections, elapsed.count(), cpuMs,
      cpuMs * 1000.0 / kCalls);
  if (wrong > 0) std::printf("%d calls returned a wrong value\n", wrong);
  return wrong == 0 ? 0 : 1;
}
