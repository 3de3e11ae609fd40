#pragma once
// Shared pieces of the detection tests: a temporary folder tree and an
// engine context on a fake window.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "FakeUpdaterWindow.h"
#include "engine/UpdaterContext.h"
#include "http/HttpClient.h"
#include "util/QuorvinSI.h"

// A temporary folder, removed with everything in it at the end of the test.
// Its path ends in "/".  Readable by every user, so a test may look at it
// with lowered rights.
class DetectTree {
 public:
  DetectTree() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvin-detect-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    ::chmod(pattern.c_str(), 0755);
    root_ = pattern + "/";
  }
  ~DetectTree() {
    // Give every folder its rights back first, so nothing is left behind.
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(
             root_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(root_, ignored);
  }
  DetectTree(const DetectTree&) = delete;
  DetectTree& operator=(const DetectTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + relative; }

  // Creates the folder and any missing parents; returns its path with "/".
  std::string Folder(const std::string& relative) const {
    std::filesystem::create_directories(root_ + relative);
    return root_ + relative + (relative.empty() || relative.back() == '/' ? "" : "/");
  }
  // Writes a file (creating its folder); returns its path.
  std::string File(const std::string& relative, const std::string& content = "x") const {
    const std::filesystem::path path = root_ + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return path.string();
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(root_ + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string root_;
};

// Lowers the file-system rights of this thread to those of "nobody" for
// its lifetime, so a test run as root meets permissions as a user does.
class AsUnprivilegedUser {
 public:
  AsUnprivilegedUser() : previous_(::geteuid() == 0 ? ::setfsuid(65534) : -1) {}
  ~AsUnprivilegedUser() {
    if (previous_ >= 0) ::setfsuid(static_cast<uid_t>(previous_));
  }

 private:
  int previous_;
};

// An engine context over a fake window, with the window's five splitters
// and an empty folder list.
struct DetectContext {
  explicit DetectContext(const std::string& programFolder, const std::string& downloadUrl = "")
      : context{window, http, programFolder, downloadUrl, std::make_unique<TStringList>(),
                si,     psi,  nsi1,          nsi2,        si3} {
    si.SetDelimiter(',');
    psi.SetDelimiter(',');
    nsi1.SetDelimiter('.');
    nsi2.SetDelimiter('.');
    si3.SetDelimiter('|');
  }

  std::string Folder(int index) const { return (*context.DirList)[index]; }

  FakeUpdaterWindow window;
  THttpClient http;
  TQuorvinSI si, psi, nsi1, nsi2, si3;
  TUpdaterContext context;
};
