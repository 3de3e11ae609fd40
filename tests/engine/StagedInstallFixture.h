#pragma once
// A temporary installation tree and an engine context around it, for the
// tests of download, staging, installation and start-up housekeeping.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FakeUpdaterWindow.h"
#include "engine/InstallJournal.h"
#include "engine/TransferProgress.h"
#include "engine/UpdaterContext.h"
#include "http/HttpClient.h"
#include "platform/ContainedFolder.h"
#include "platform/FileSeam.h"
#include "util/IniFiles.h"
#include "util/QuorvinSI.h"

// A folder below /tmp that lives as long as the object; paths are relative
// to it unless they begin with "/".
class TTempTree {
 public:
  // In memory (/dev/shm), where flushing to disk costs nothing, when asked
  // and available; else below /tmp.
  explicit TTempTree(bool inMemory = false) {
    const bool shm = inMemory && std::filesystem::is_directory("/dev/shm");
    std::string pattern = std::string(shm ? "/dev/shm" : "/tmp") + "/quorvin-install-XXXXXX";
    Root = std::string(::mkdtemp(pattern.data())) + "/";
  }
  ~TTempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(Root, ignored);
  }
  TTempTree(const TTempTree&) = delete;
  TTempTree& operator=(const TTempTree&) = delete;

  std::string Path(const std::string& relative) const { return Root + relative; }
  void Folder(const std::string& relative) const {
    std::filesystem::create_directories(Path(relative));
  }
  void Write(const std::string& relative, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
    std::ofstream(Path(relative), std::ios::binary) << content;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(std::filesystem::symlink_status(Path(relative)));
  }
  // Sets a file's modification time to the given number of seconds after 2000-01-01.
  void Age(const std::string& relative, long seconds) const {
    const timespec times[2] = {{946684800 + seconds, 0}, {946684800 + seconds, 0}};
    ::utimensat(AT_FDCWD, Path(relative).c_str(), times, 0);
  }
  // The names in a folder, sorted, joined by spaces.
  std::string Listing(const std::string& relative = "") const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Path(relative)))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
  }

  std::string Root;  // ends in "/"
};

// What the main window owns, around a temporary program folder.
struct TEngineRig {
  explicit TEngineRig(const std::string& programFolder, const std::string& downloadUrl = "")
      : Context{Window, Http, programFolder, downloadUrl, nullptr, SI, PSI, NSI1, NSI2, SI3} {
    SI.SetDelimiter(',');
    PSI.SetDelimiter(',');
    NSI1.SetDelimiter('.');
    NSI2.SetDelimiter('.');
    SI3.SetDelimiter('|');
  }
  // The client's work events drive the transfer progress, as the window
  // wires them.
  void ReportTransfers() {
    Http.OnWorkBegin = [this](THttpClient*, TWorkMode, int64_t max) {
      HttpClientWorkBegin(Context, max);
    };
    Http.OnWork = [this](THttpClient*, TWorkMode, int64_t count) {
      HttpClientWork(Context, count);
    };
    Http.OnWorkEnd = [this](THttpClient*, TWorkMode) { HttpClientWorkEnd(Context); };
  }
  // DirList with the given folders below the program folder, in order.
  void Folders(std::initializer_list<std::string> relative) {
    Context.DirList = std::make_unique<TStringList>();
    for (const auto& folder : relative) Context.DirList->Add(Context.ProgramFolder + folder + "/");
  }

  FakeUpdaterWindow Window;
  THttpClient Http;
  TQuorvinSI SI, PSI, NSI1, NSI2, SI3;
  TUpdaterContext Context;
};

// The version recorded in a folder's Version.ini ("" when none).
inline std::string RecordedVersion(const TTempTree& tree, const std::string& folder,
                                   const std::string& module, const std::string& key) {
  TIniFile versionFile(tree.Path(folder + "/Version.ini"));
  return versionFile.ReadString(module, key, "");
}

// The four-line companion text.
inline std::string CompanionText(const std::string& module, const std::string& key,
                                 const std::string& version, const std::string& programFile) {
  return module + "\r\n" + key + "\r\n" + version + "\r\n" + programFile + "\r\n";
}

// The journal of an installation of `bare` (staged in the tree's root)
// into `folder` as module ModA's Main component at `version`, as written
// just before the staged file moves in.  `aside` names the old copy's
// place, if any.
inline engine::TInstallJournal JournalOfInstall(const TTempTree& tree, const std::string& bare,
                                                const std::string& folder,
                                                const std::string& version,
                                                const std::string& aside = "") {
  engine::TInstallJournal journal;
  journal.StagedName = bare + ".{F}";
  journal.CompanionName = bare + ".V." + version;
  journal.Folder = tree.Path(folder + "/");
  journal.FolderStamp = platform::FolderStampOf(journal.Folder);
  journal.TargetName = bare;
  journal.AsideName = aside;
  journal.ModuleName = "ModA";
  journal.ComponentKey = "Main";
  journal.AvailableVersion = version;
  return journal;
}

// A journal names its folder by its stamp too (device, inode, birth), and
// recovery refuses a folder that is not the one named.  A tree that a test
// lays out anew as another left it (a copy, a state after a power cut) has
// other folders: its journal, when it has one that reads, is made to name
// them.
inline void RestampJournal(const TTempTree& tree) {
  auto journal = engine::ReadInstallJournal(tree.Root);
  if (!journal) return;
  journal->FolderStamp = platform::FolderStampOf(journal->Folder);
  engine::WriteInstallJournal(tree.Root, *journal);
}

// Copies the tree into another, empty one.
inline void CopyTree(const TTempTree& tree, const TTempTree& copy) {
  std::filesystem::copy(tree.Root, copy.Root, std::filesystem::copy_options::recursive);
  RestampJournal(copy);
}

// Makes the next move of a staged file (a rename of "<bare>.{F}") fail, as
// a full disk would; the test disarms it at its end.
inline void FailNextMoveOfAStagedFile() {
  platform::ArmFileFaultForTesting(
      {1, ENOSPC, false, [](platform::TFileOp op, const std::string& path) {
         return op == platform::TFileOp::Rename && path.ends_with(".{F}");
       }});
}

// Arms the file seam to kill the process (SIGKILL) just before the Nth
// operation from now that changes the disk, counting those operations;
// never when n is 0.  What a kill before a read or a listing leaves, a kill
// before the next change leaves too.
inline void KillBeforeChange(int64_t n) {
  platform::ArmFileFaultForTesting(
      {n > 0 ? n : INT64_MAX, 0, false,
       [](platform::TFileOp op, const std::string&) { return platform::ChangesDisk(op); }});
}

// Another process that holds a file open until the object goes, as a running
// application holds its library.
class THeldOpen {
 public:
  explicit THeldOpen(const std::string& path) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) std::abort();
    Child = ::fork();
    if (Child == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const int fd = ::open(path.c_str(), O_RDONLY);
      char byte = fd >= 0 ? 'y' : 'n';
      (void)!::write(ready[1], &byte, 1);
      (void)!::read(release[0], &byte, 1);  // returns when the parent closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char byte = 'n';
    Held = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
    ::close(ready[0]);
    Release = release[1];
  }
  ~THeldOpen() {
    ::close(Release);
    ::waitpid(Child, nullptr, 0);
  }
  THeldOpen(const THeldOpen&) = delete;
  THeldOpen& operator=(const THeldOpen&) = delete;

  bool Held = false;

 private:
  pid_t Child = -1;
  int Release = -1;
};
