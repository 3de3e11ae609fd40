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

// Only links that root or the program folder's owner made are entered: a
// member's link, at the top or deeper, is passed over like a file.
TEST(FolderScan, OnlyLinksOfRootOrTheFamilysOwnerAreEntered) {
  if (::geteuid() != 0) GTEST_SKIP() << "links of other users take root to make";
  DetectTree outside;
  outside.Folder("Home/Deep");
  outside.Folder("Other");
  outside.Folder("Another");
  DetectTree tree;
  tree.Folder("App");
  std::filesystem::create_directory_symlink(outside.Path("Home"), tree.Path("Admins"));
  std::filesystem::create_directory_symlink(outside.Path("Other"), tree.Path("App/Members"));
  ASSERT_EQ(0, ::lchown(tree.Path("App/Members").c_str(), 4242, 4242));
  std::filesystem::create_directory_symlink(outside.Path("Another"),
                                            outside.Path("Home/Deep/Back"));
  ASSERT_EQ(0, ::lchown(outside.Path("Home/Deep/Back").c_str(), 4242, 4242));
  DetectContext detect(tree.Root());
  const std::string r = tree.Root();
  EXPECT_EQ(Scan(detect, r),
            (std::vector<std::string>{r + "Admins/", r + "Admins/Deep/", r + "App/"}));

  // The family's owner may link folders in as well.
  ASSERT_EQ(0, ::chown(r.c_str(), 4242, 4242));
  DetectContext again(tree.Root());
  EXPECT_EQ(Scan(again, r),
            (std::vector<std::string>{r + "Admins/", r + "Admins/Deep/", r + "Admins/Deep/Back/",
                                      r + "App/", r + "App/Members/"}));
}

}  // namespace
