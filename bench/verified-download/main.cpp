// One update of one large component through the program's own path:
// detection fetches the catalogue, then the Update handler downloads the
// file, checks its length and SHA-256 as it streams in, flushes it, stages
// and installs it.  Prints the seconds from the Update handler's start to
// its end ("Finished. "), the time a user waits after pressing Update.
//
//   bench_verified_download DOWNLOAD_URL WORK_FOLDER
// DOWNLOAD_URL serves download/allfiles.ini, which offers ModA's component
// Main, file big.bin, newer than 1.0.001 (run.sh writes it).  The
// installation tree is laid out in a new folder below WORK_FOLDER, on the
// disk the caller chose, and removed afterwards.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "FakeUpdaterWindow.h"
#include "engine/DownloadStaging.h"
#include "engine/FolderScan.h"
#include "engine/TransferProgress.h"
#include "engine/UpdateDetection.h"
#include "http/HttpClient.h"
#include "util/QuorvinSI.h"

namespace {

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string LayOutTree(const std::string& workFolder) {
  std::string root = workFolder + "/quorvin-bench-tree-XXXXXX";
  if (::mkdtemp(root.data()) == nullptr) return "";
  root += "/";
  std::filesystem::create_directories(root + "ModA");
  WriteFile(root + "ModA/ModA.exe", "program");
  WriteFile(root + "ModA/big.bin", "old");
  WriteFile(root + "ModA/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  return root;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_verified_download DOWNLOAD_URL WORK_FOLDER\n");
    return 2;
  }
  const std::string root = LayOutTree(argv[2]);
  if (root.empty()) return 2;
  FakeUpdaterWindow window;
  THttpClient http;
  TQuorvinSI si, psi, nsi1, nsi2, si3;
  si.SetDelimiter(',');
  psi.SetDelimiter(',');
  nsi1.SetDelimiter('.');
  nsi2.SetDelimiter('.');
  si3.SetDelimiter('|');
  TUpdaterContext context{window, http, root, argv[1], std::make_unique<TStringList>(),
                          si,     psi,  nsi1, nsi2,    si3};
  // The progress bar follows the transfer, as the window wires it.
  http.OnWorkBegin = [&](THttpClient*, TWorkMode, int64_t max) {
    HttpClientWorkBegin(context, max);
  };
  http.OnWork = [&](THttpClient*, TWorkMode, int64_t count) { HttpClientWork(context, count); };
  http.OnWorkEnd = [&](THttpClient*, TWorkMode) { HttpClientWorkEnd(context); };

  ScanFolder(context, root);
  GetListOfFiles(context);
  if (window.RowCount() != 1) {
    std::fprintf(stderr, "detection listed %d rows, not 1: %s\n", window.RowCount(),
                 window.StatusLine().c_str());
    return 1;
  }
  window.SetRowChecked(0, true);
  const auto start = std::chrono::steady_clock::now();
  DownloadTheFiles(context);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool finished = window.StatusLine() == "Finished. ";
  const auto size = std::filesystem::file_size(root + "ModA/big.bin");
  std::filesystem::remove_all(root);
  if (!finished) {
    std::fprintf(stderr, "the update ended with \"%s\"\n", window.StatusLine().c_str());
    return 1;
  }
  std::printf("%.3f %llu\n", seconds, static_cast<unsigned long long>(size));
  return 0;
}
