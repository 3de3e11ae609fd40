// A member of the family's group plants a link to another user's folder,
// then a journal or a staged file that leads through it.  The next start,
// run by another member (the victim) or by root, changes nothing outside
// the family's tree of real folders.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "StagedInstallFixture.h"
#include "engine/InstallJournal.h"
#include "engine/StagedInstall.h"
#include "engine/StartupHousekeeping.h"

namespace {

constexpr uid_t kRoot = 0, kMallory = 4242, kVictim = 4343;

// What a start showed, seen from the process that ran it.
struct TSeen {
  bool Ran = false;
  std::vector<std::string> Boxes;
  std::string StatusLine;
};

// Runs the step on a rig around the program folder in a child process
// that runs as `runner`, and reports what the window was shown.
TSeen RunAs(uid_t runner, const std::string& programFolder,
            const std::function<void(TEngineRig&)>& step) {
  int pipe[2];
  if (::pipe(pipe) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    if (runner != kRoot &&
        (::setgroups(0, nullptr) != 0 || ::setresgid(runner, runner, runner) != 0 ||
         ::setresuid(runner, runner, runner) != 0))
      ::_exit(2);
    TEngineRig rig(programFolder);
    try {
      step(rig);
    } catch (const std::exception&) {
      ::_exit(3);
    }
    std::string report = rig.Window.StatusLine() + '\0';
    for (const std::string& box : rig.Window.boxes) report += box + '\0';
    (void)!::write(pipe[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(pipe[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  ::close(pipe[0]);
  int status = -1;
  TSeen seen;
  seen.Ran = ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // The status line, then each box, each ended by a NUL.
  for (size_t start = 0, end; (end = report.find('\0', start)) != std::string::npos;
       start = end + 1)
    (start == 0 ? seen.StatusLine : seen.Boxes.emplace_back()) = report.substr(start, end - start);
  return seen;
}

class ContainmentTest : public ::testing::TestWithParam<uid_t> {
 protected:
  // The family's folder belongs to root and lets members write (here:
  // everyone); the victim's folder is the victim's own.
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "files of other users take root to make";
    ::chmod(tree.Root.c_str(), 0755);
    tree.Write("Family/A/ModA.exe", "program");
    tree.Write("Family/A/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
    for (const char* name : {"precious.txt", ".bashrc", ".profile"})
      tree.Write(std::string("Victim/") + name, std::string("the victim's ") + name);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Path("Family")))
      ::chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
    ::chmod(tree.Path("Family").c_str(), 0777);
    OwnAll("Victim", kVictim);
    victimBefore = Snapshot("Victim");
  }

  void OwnAll(const std::string& folder, uid_t owner) {
    ASSERT_EQ(0, ::chown(tree.Path(folder).c_str(), owner, owner));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Path(folder)))
      ASSERT_EQ(0, ::lchown(entry.path().c_str(), owner, owner));
  }

  // What Mallory plants: a file, or a link, that belongs to Mallory.
  void Plant(const std::string& relative, const std::string& content) {
    tree.Write(relative, content);
    ASSERT_EQ(0, ::chown(tree.Path(relative).c_str(), kMallory, kMallory));
  }
  void PlantLink(const std::string& relative, const std::string& target) {
    std::filesystem::create_symlink(target, tree.Path(relative));
    ASSERT_EQ(0, ::lchown(tree.Path(relative).c_str(), kMallory, kMallory));
  }

  // Every entry of the folder with its owner, mode and content.
  std::string Snapshot(const std::string& folder) {
    std::string text;
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(tree.Path(folder))) {
      struct stat info {};
      ::lstat(entry.path().c_str(), &info);
      const std::string name = entry.path().filename().string();
      lines.push_back(name + " " + std::to_string(info.st_uid) + " " +
                      std::to_string(info.st_mode) + " " + tree.Read(folder + "/" + name));
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }

  std::string VictimIdentity() {
    const platform::TFolderStamp identity = platform::FolderStampOf(tree.Path("Victim"));
    return std::to_string(identity.Device) + " " + std::to_string(identity.Inode) + " " +
           std::to_string(identity.Born);
  }

  std::string Journal(const std::string& phase, const std::string& folder,
                      const std::string& target, const std::string& aside) {
    return "Quorvin install journal 2\r\n" + phase + "\r\nprecious.txt.{F}\r\n\r\n" + folder +
           "\r\n" + VictimIdentity() + "\r\n" + target + "\r\n" + aside +
           "\r\nModA\r\nMain\r\n2.0.000\r\n";
  }

  // The start, run by the parameter's user: it ends as if nothing had been
  // planted, and the victim's folder is as it was.
  void StartLeavesTheVictimAlone() {
    const TSeen seen =
        RunAs(GetParam(), tree.Path("Family/"), [](TEngineRig& rig) { Timer1Timer(rig.Context); });
    EXPECT_TRUE(seen.Ran);
    EXPECT_EQ(seen.StatusLine, kClickNextText);
    EXPECT_TRUE(seen.Boxes.empty()) << seen.Boxes.front();
    EXPECT_EQ(Snapshot("Victim"), victimBefore);
    EXPECT_FALSE(tree.Exists("Family/InstallJournal.{J}"));
  }

  TTempTree tree;
  std::string victimBefore;
};

// Without containment the journal rolling back deletes the victim's file;
// one still replacing records a version beside it.
TEST_P(ContainmentTest, AJournalThroughAPlantedLinkTouchesNothing) {
  PlantLink("Family/Evil", tree.Path("Victim"));
  for (const char* phase : {"rolling back", "replacing"}) {
    SCOPED_TRACE(phase);
    Plant("Family/InstallJournal.{J}", Journal(phase, "Evil/", "precious.txt", ""));
    StartLeavesTheVictimAlone();
  }
}

// Without containment the journal puts "the old copy", a file of Mallory's,
// in place of the victim's .bashrc.  The first journal format named the old
// copy by a path of its own; the second keeps both names in one folder.
TEST_P(ContainmentTest, AJournalBringingBackAnOldCopyOfTheMembersChoiceTouchesNothing) {
  PlantLink("Family/Evil", tree.Path("Victim"));
  Plant("Family/Mine/bashrc", "Mallory's commands");
  Plant("Victim/Mallory.bashrc", "Mallory's commands");
  victimBefore = Snapshot("Victim");
  Plant("Family/InstallJournal.{J}", Journal("rolling back", "Evil/", ".bashrc", "Mallory.bashrc"));
  StartLeavesTheVictimAlone();
  Plant("Family/InstallJournal.{J}",
        "Quorvin install journal 1\r\nrolling back\r\nx.{F}\r\n\r\nEvil/.bashrc\r\n"
        "Mine/bashrc\r\nModA\r\nMain\r\n2.0.000\r\n");
  StartLeavesTheVictimAlone();
  EXPECT_EQ(tree.Read("Family/Mine/bashrc"), "Mallory's commands");
}

// Without containment the scan enters the link, the victim's .bashrc marks
// it as ModV's folder, and the staged file replaces .profile there.  The
// link is not entered, so the staged file's module is installed nowhere
// and the file is discarded.  Planted after the scan, the link is still
// not followed by the installation.
TEST_P(ContainmentTest, AStagedFileForAFolderBehindAPlantedLinkTouchesNothing) {
  PlantLink("Family/Evil", tree.Path("Victim"));
  Plant("Family/.profile.{F}", "Mallory's commands");
  Plant("Family/.profile.V.1.0.000", CompanionText("ModV", "Main", "1.0.000", ".bashrc"));
  StartLeavesTheVictimAlone();
  EXPECT_FALSE(tree.Exists("Family/.profile.{F}"));

  Plant("Family/.profile.{F}", "Mallory's commands");
  Plant("Family/.profile.V.1.0.000", CompanionText("ModV", "Main", "1.0.000", ".bashrc"));
  const TSeen seen = RunAs(GetParam(), tree.Path("Family/"), [&](TEngineRig& rig) {
    rig.Folders({"Evil", "A"});
    InstallStagedFiles(rig.Context);
  });
  EXPECT_TRUE(seen.Ran);
  EXPECT_EQ(Snapshot("Victim"), victimBefore);
  EXPECT_TRUE(tree.Exists("Family/.profile.{F}"));
}

INSTANTIATE_TEST_SUITE_P(RunBy, ContainmentTest, ::testing::Values(kVictim, kRoot),
                         [](const ::testing::TestParamInfo<uid_t>& runner) {
                           return runner.param == kRoot ? "Root" : "AnotherMember";
                         });

}  // namespace
