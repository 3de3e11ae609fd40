// A run killed at any moment loses nothing.  A child process runs the Update
// button's whole run and is killed (SIGKILL) just before its Nth file
// operation that changes the disk (through the file seam), for every N; the next start's
// housekeeping then runs on what it left, and every installation folder must hold the old file with
// the old version or the new file with the new version, with whatever had been staged installed,
// nothing else in it (no temporary file of a cut Version.ini write), and no staged file left, not
// even one for a module installed nowhere.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <set>

#include "StagedInstallFixture.h"
#include "engine/CompanionFile.h"
#include "engine/DownloadStaging.h"
#include "engine/InstallJournal.h"
#include "engine/StartupHousekeeping.h"
#include "engine/TransferProgress.h"
#include "support/ScriptedServer.h"

namespace {

struct TModule {
  std::string Name, Folder, File, OldContent, NewContent, NewVersion;
};

// ModA and ModC both ship Report.dll; ModD's version can never be recorded
// (its Version.ini is a folder), so its installation is always undone.
const std::vector<TModule> kModules = {
    {"ModA", "A", "Report.dll", "old A", "new R", "2.0.000"},
    {"ModB", "B", "Lib.so", "old B", "new L", "3.0.000"},
    {"ModC", "C", "Report.dll", "old C", "new R", "7.0.000"},
    {"ModD", "D", "Data.bin", "old D", "new D", "4.0.000"},
};
constexpr const char* kOldVersion = "1.0.001";

void LayOut(const TTempTree& tree) {
  // Left by an earlier run for a module installed nowhere: the next start
  // discards it.
  tree.Write("Orphan.dll.{F}", "orphan");
  tree.Write("Orphan.dll.V.1.0.000", CompanionText("ModZ", "Main", "1.0.000", "ModZ.exe"));
  for (const auto& module : kModules) {
    tree.Write(module.Folder + "/" + module.Name + ".exe", "program");
    tree.Write(module.Folder + "/" + module.File, module.OldContent);
    if (module.Name == "ModD")
      tree.Folder(module.Folder + "/Version.ini");
    else
      tree.Write(module.Folder + "/Version.ini", "[" + module.Name + "]\r\nMain=1.0.001\r\n");
  }
}

// The Update run, as the window would start it; returns the disk changes passed.
int RunUpdate(const TTempTree& tree, int crashAt) {
  ScriptedServer server;
  server.AddFile("/download/Report.dll", "new R");
  server.AddFile("/download/Lib.so", "new L");
  server.AddFile("/download/Data.bin", "new D");
  TEngineRig rig(tree.Root, server.Url("/"));
  rig.ReportTransfers();
  rig.Folders({"A", "B", "C", "D"});
  for (const auto& module : kModules) {
    rig.Window.AddRow(module.Name + ",Main," + module.Name + ".exe," + module.File + "," +
                      kOldVersion + "," + module.NewVersion + ",N,N,0");
    rig.Window.SetRowChecked(rig.Window.RowCount() - 1, true);
  }
  KillBeforeChange(crashAt);
  DownloadTheFiles(rig.Context);
  return static_cast<int>(platform::FileOperationsCountedForTesting());
}

// What a kill in the middle of writing Version.ini leaves: the write's
// temporary file in the folder of the installation under way.
void LeaveUnfinishedVersionWrite(const TTempTree& tree) {
  if (const auto journal = engine::ReadInstallJournal(tree.Root)) {
    tree.Write(journal->Folder.substr(tree.Root.size()) + ".Version.ini.{T}99999_0", "[Mod");
  }
}

// The next start's housekeeping; returns the disk changes passed.
int StartNextRun(const TTempTree& tree, int crashAt = 0) {
  TEngineRig rig(tree.Root);
  KillBeforeChange(crashAt);
  Timer1Timer(rig.Context);
  const int passed = static_cast<int>(platform::FileOperationsCountedForTesting());
  platform::DisarmFileFaultForTesting();
  return passed;
}

// Runs a step in a child process; the child's exit code is the number of
// disk changes it passed, or it dies by SIGKILL before change crashAt.
struct TChildEnd {
  bool Killed = false;
  int PointsPassed = 0;
};
TChildEnd RunInChild(int (*step)(const TTempTree&, int), const TTempTree& tree, int crashAt) {
  const pid_t child = ::fork();
  if (child == 0) {
    int passed = 255;
    try {
      passed = step(tree, crashAt);
    } catch (...) {
    }
    ::_exit(passed < 255 ? passed : 255);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  TChildEnd end;
  end.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  end.PointsPassed = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return end;
}

// Modules whose new file must be in place after the next start: those with
// a staged file (found through its companion) or an installation under way.
std::set<std::string> ModulesDue(const TTempTree& tree) {
  std::set<std::string> due;
  for (const std::string bare : {"Report.dll", "Lib.so", "Data.bin"}) {
    if (!tree.Exists(bare + ".{F}")) continue;
    const std::string companion = engine::FindCompanion(tree.Root, bare);
    if (!companion.empty()) due.insert(engine::ReadCompanionLines(tree.Path(companion))[0]);
  }
  if (const auto journal = engine::ReadInstallJournal(tree.Root)) due.insert(journal->ModuleName);
  due.erase("ModD");  // its installation can never complete
  return due;
}

void ExpectConsistent(const TTempTree& tree, const std::set<std::string>& due,
                      const std::string& when) {
  SCOPED_TRACE(when);
  for (const auto& module : kModules) {
    SCOPED_TRACE(module.Name);
    const std::string content = tree.Read(module.Folder + "/" + module.File);
    const std::string exe = module.Name + ".exe";
    EXPECT_EQ(tree.Listing(module.Folder), module.File < exe
                                               ? module.File + " " + exe + " Version.ini"
                                               : exe + " " + module.File + " Version.ini");
    if (module.Name == "ModD") {
      EXPECT_EQ(content, module.OldContent);
      continue;
    }
    const std::string version = RecordedVersion(tree, module.Folder, module.Name, "Main");
    if (due.count(module.Name) || content != module.OldContent) {
      EXPECT_EQ(content, module.NewContent);
      EXPECT_EQ(version, module.NewVersion);
    } else {
      EXPECT_EQ(version, kOldVersion);
    }
  }
  EXPECT_FALSE(tree.Exists("InstallJournal.{J}"));
  EXPECT_EQ(tree.Listing().find(".{F}"), std::string::npos) << tree.Listing();
}

TEST(CrashSafetyTest, AKillAtAnyPointOfAnUpdateLosesNothing) {
  int points = 0;
  {
    TTempTree tree(true);
    LayOut(tree);
    const TChildEnd end = RunInChild(RunUpdate, tree, 0);
    ASSERT_FALSE(end.Killed);
    points = end.PointsPassed;
    ASSERT_GT(points, 10);
    ASSERT_LT(points, 255);
  }
  for (int crashAt = 1; crashAt <= points; ++crashAt) {
    TTempTree tree(true);
    LayOut(tree);
    ASSERT_TRUE(RunInChild(RunUpdate, tree, crashAt).Killed) << crashAt;
    const std::set<std::string> due = ModulesDue(tree);
    LeaveUnfinishedVersionWrite(tree);
    StartNextRun(tree);
    ExpectConsistent(tree, due, "update killed at point " + std::to_string(crashAt));
  }
}

// The program folder's names and the journal: what the next start works from.
std::string LeftState(const TTempTree& tree) {
  return tree.Listing() + "\n" + tree.Read("InstallJournal.{J}");
}

// The next start is killed too, at every point of its own work, before a
// third start runs to its end.  Tried once for each distinct state that an
// update killed in the middle of an installation leaves.
TEST(CrashSafetyTest, AKillDuringTheNextStartLosesNothingEither) {
  std::set<std::string> statesTried;
  for (int crashAt = 1;; ++crashAt) {
    TTempTree tree(true);
    LayOut(tree);
    if (!RunInChild(RunUpdate, tree, crashAt).Killed) break;
    if (!tree.Exists("InstallJournal.{J}")) continue;
    if (!statesTried.insert(LeftState(tree)).second) continue;
    const std::set<std::string> due = ModulesDue(tree);
    LeaveUnfinishedVersionWrite(tree);
    for (int startCrashAt = 1;; ++startCrashAt) {
      TTempTree copy(true);
      CopyTree(tree, copy);
      const bool killed = RunInChild(StartNextRun, copy, startCrashAt).Killed;
      StartNextRun(copy);
      ExpectConsistent(copy, due,
                       "update killed at point " + std::to_string(crashAt) +
                           ", next start at point " + std::to_string(startCrashAt));
      if (!killed) break;
    }
  }
}

}  // namespace
