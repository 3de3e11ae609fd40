// The installation-folder scan: order, exclusions, unreadable folders, links.
#include "engine/FolderScan.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "DetectTestSupport.h"

namespace {

std::vector<std::string> Scan(DetectContext& detect, const std::string& root) {
  ScanFolder(detect.context, root);
  return detect.context.DirList->Items();
}

TEST(FolderScan, EmptyProgramFolderGivesEmptyList) {
  DetectTree tree;
  tree.File("updater.exe");
  DetectContext detect(tree.Root());
  EXPECT_TRUE(Scan(detect, tree.Root()).empty());
  EXPECT_EQ(detect.window.processMessagesCalls, 0);
}

TEST(FolderScan, DepthFirstPreOrderWithStatusAfterEachSubtree) {
  DetectTree tree;
  tree.Folder("A/X");
  tree.Folder("B");
  DetectContext detect(tree.Root());
  const std::string r = tree.Root();
  EXPECT_EQ(Scan(detect, r), (std::vector<std::string>{r + "A/", r + "A/X/", r + "B/"}));
  EXPECT_EQ(detect.window.statusHistory, (std::vector<std::string>{r + "A/X", r + "A", r + "B"}));
  EXPECT_EQ(detect.window.processMessagesCalls, 3);
}

TEST(FolderScan, SortsByNameWithoutRegardToCase) {
  DetectTree tree;
  for (const char* name : {"charlie", "Bravo", "alpha", "Delta", "b"}) tree.Folder(name);
  DetectContext detect(tree.Root());
  const std::string r = tree.Root();
  EXPECT_EQ(Scan(detect, r), (std::vector<std::string>{r + "alpha/", r + "b/", r + "Bravo/",
                                                       r + "charlie/", r + "Delta/"}));
}

TEST(FolderScan, SkipsDotFoldersAndFiles) {
  DetectTree tree;
  tree.Folder(".hidden/Inside");
  tree.Folder("Apps/.cache");
  tree.File("Apps/Program.exe");
  tree.File("NotAFolder");
  DetectContext detect(tree.Root());
  EXPECT_EQ(Scan(detect, tree.Root()), (std::vector<std::string>{tree.Path("Apps/")}));
}

TEST(FolderScan, MessagesHandledDuringTheScanSeeThePartialList) {
  DetectTree tree;
  tree.Folder("A");
  tree.Folder("B");
  DetectContext detect(tree.Root());
  std::vector<int> countsSeen;
  detect.window.onProcessMessages = [&] { countsSeen.push_back(detect.context.DirList->Count()); };
  Scan(detect, tree.Root());
  EXPECT_EQ(countsSeen, (std::vector<int>{1, 2}));
}

TEST(FolderScan, UnreadableFolderIsListedButNotEntered) {
  DetectTree tree;
  tree.Folder("Locked/Inner");
  tree.Folder("Open");
  ::chmod(tree.Path("Locked").c_str(), 0);
  DetectContext detect(tree.Root());
  std::vector<std::string> entries;
  {
    AsUnprivilegedUser lowered;
    DIR* probe = ::opendir(tree.Path("Locked").c_str());
    if (probe != nullptr) {
      ::closedir(probe);
      GTEST_SKIP() << "this account reads folders without read permission";
    }
    entries = Scan(detect, tree.Root());
  }
  EXPECT_EQ(entries, (std::vector<std::string>{tree.Path("Locked/"), tree.Path("Open/")}));
}

TEST(FolderScan, LinkLoopsEndAndEachRealFolderIsListedOnce) {
  DetectTree tree;
  tree.Folder("A/Sub");
  tree.Folder("B");
  std::filesystem::create_directory_symlink(tree.Root(), tree.Path("A/ToRoot"));
  std::filesystem::create_directory_symlink(tree.Path("A"), tree.Path("A/Sub/ToA"));
  std::filesystem::create_directory_symlink(tree.Path("B"), tree.Path("A/ToB"));
  DetectContext detect(tree.Root());
  const std::string r = tree.Root();
  EXPECT_EQ(Scan(detect, r), (std::vector<std::string>{r + "A/", r + "A/Sub/", r + "B/"}));
}

TEST(FolderScan, LinkToAFolderOutsideIsEnteredOnce) {
  DetectTree outside;
  outside.Folder("Shared/Deep");
  DetectTree tree;
  tree.Folder("App");
  std::filesystem::create_directory_symlink(outside.Path("Shared"), tree.Path("App/Link1"));
  std::filesystem::create_directory_symlink(outside.Path("Shared"), tree.Path("App/Link2"));
  DetectContext detect(tree.Root());
  const std::string r = tree.Root();
  EXPECT_EQ(Scan(detect, r),
            (std::vector<std::string>{r + "App/", r + "App/Link1/", r + "App/Link1/Deep/"}));
}

}  // namespace
