// The contained walk into the family's folders, and the lock an
// installation holds on its folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/ContainedFolder.h"
#include "platform/FileSeam.h"
#include "platform/FolderLock.h"
#include "platform/TempFolder.h"
#include "platform/WholeFiles.h"

using platform::TContainedFolder;

namespace {

// A member of the family's group: not root, not the family's owner.
constexpr uid_t kMember = 4242;

class ContainedFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    family = root / "Family/";
    std::filesystem::create_directories(family + "A/B");
    root.Write("Elsewhere/Sub/precious", "mine");
  }

  // A symbolic link at `link` (below the root) to `target`, owned by `owner`.
  void Link(const std::string& link, const std::string& target, uid_t owner) {
    std::filesystem::create_symlink(target, root / link);
    ASSERT_EQ(0, ::lchown((root / link).c_str(), owner, owner));
  }

  // Opens `relative` below the family; the error number on failure, else 0.
  int OpenError(const std::string& relative) {
    TContainedFolder folder;
    return folder.Open(family, relative) ? 0 : errno;
  }

  TempFolder root;
  std::string family;
};

TEST_F(ContainedFolderTest, ReachesARealFolderThroughItsDescriptor) {
  TContainedFolder folder;
  ASSERT_TRUE(folder.Open(family, "A/B/"));
  EXPECT_EQ(folder.Shown(), family + "A/B/");
  EXPECT_EQ(folder.Path().rfind("/proc/self/fd/", 0), 0u) << folder.Path();
  struct stat info {};
  ASSERT_EQ(0, ::stat((family + "A/B").c_str(), &info));
  EXPECT_EQ(folder.Stamp().Device, info.st_dev);
  EXPECT_EQ(folder.Stamp().Inode, info.st_ino);
  EXPECT_EQ(folder.Stamp(), platform::FolderStampOf(family + "A/B"));
  EXPECT_NE(folder.Stamp(), platform::FolderStampOf(family + "A"));
  EXPECT_EQ(platform::FolderStampOf(family + "Missing"), platform::TFolderStamp{});

  // Renamed, and a link to elsewhere planted under the old name: the open
  // folder is still the one reached.
  std::filesystem::rename(family + "A", family + "A2");
  std::filesystem::create_symlink(root / "Elsewhere", family + "A");
  root.Write("Family/A2/B/seen", "");
  EXPECT_TRUE(std::filesystem::exists(folder.Path() + "seen"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "Sub"));

  TContainedFolder programFolder;
  ASSERT_TRUE(programFolder.Open(family, ""));
  EXPECT_EQ(programFolder.Shown(), family);
}

TEST_F(ContainedFolderTest, FollowsOnlyLinksOfRootOrOfTheFamilysOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "links of other users take root to make";
  Link("Family/Admins", "../Elsewhere", 0);
  Link("Family/Members", root / "Elsewhere", kMember);
  Link("Family/A/Deeper", root / "Elsewhere", kMember);

  TContainedFolder folder;
  ASSERT_TRUE(folder.Open(family, "Admins/Sub"));
  EXPECT_TRUE(std::filesystem::exists(folder.Path() + "precious"));
  EXPECT_EQ(folder.Shown(), family + "Admins/Sub/");
  for (const char* planted : {"Members", "Members/Sub", "A/Deeper/Sub"}) {
    EXPECT_EQ(OpenError(planted), ELOOP) << planted;
    EXPECT_TRUE(platform::FolderIsGone(ELOOP));
  }

  // The family's owner may link folders in too, and a member's link inside
  // a folder that a trusted link reaches is still a member's link.
  ASSERT_EQ(0, ::chown(family.c_str(), kMember, kMember));
  EXPECT_EQ(OpenError("Members/Sub"), 0);
  ASSERT_EQ(0, ::chown(family.c_str(), 0, 0));
  Link("Elsewhere/Back", root / "Family/A", kMember);
  EXPECT_EQ(OpenError("Admins/Back"), ELOOP);
}

TEST_F(ContainedFolderTest, WhatIsNoFolderOfTheFamilyIsGone) {
  root.Write("Family/A/file", "");
  std::filesystem::create_symlink("Loop", family + "Loop");
  EXPECT_EQ(OpenError("Missing/"), ENOENT);
  EXPECT_EQ(OpenError("A/file/"), ENOTDIR);
  EXPECT_EQ(OpenError("Loop/"), ELOOP);
  for (const int error : {ENOENT, ENOTDIR, ELOOP}) EXPECT_TRUE(platform::FolderIsGone(error));
  for (const int error : {EACCES, EIO, EMFILE, EINVAL}) EXPECT_FALSE(platform::FolderIsGone(error));
  // "." and ".." are never part of a path below the family.
  EXPECT_EQ(OpenError("A/../A/"), EINVAL);
  EXPECT_EQ(OpenError("../Elsewhere/"), EINVAL);
  EXPECT_EQ(OpenError("A/./B/"), 0);
}

// A folder that may not be entered now may be entered later: it is not gone.
TEST_F(ContainedFolderTest, AFolderWithoutPermissionIsNotGone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a user who is denied what root is not";
  ASSERT_EQ(0, ::chmod(root.Path().c_str(), 0755));
  ASSERT_EQ(0, ::chmod(family.c_str(), 0755));
  ASSERT_EQ(0, ::chmod((family + "A").c_str(), 0700));
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) _exit(2);
    TContainedFolder folder;
    _exit(!folder.Open(family, "A/B") && errno == EACCES ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The seam's tests follow files by their names, whichever road a call took.
TEST_F(ContainedFolderTest, TheSeamSeesFilesInAnOpenFolderByTheirNames) {
  std::string path;
  {
    TContainedFolder folder;
    ASSERT_TRUE(folder.Open(family, "A/B"));
    path = folder.Path();
    EXPECT_EQ(platform::ShownPath(folder.Path() + "Version.ini"), family + "A/B/Version.ini");
    EXPECT_EQ(platform::ShownPath(folder.Path()), family + "A/B/");
    platform::RecordFileOperationsForTesting(true);
    platform::WriteWholeFile(folder.Path() + "Version.ini", "x", 1);
    const auto& record = platform::RecordedFileOperationsForTesting();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.back().Path, family + "A/B/");
    EXPECT_EQ(platform::FileOpName(record.back().Op), std::string("sync folder"));
    platform::RecordFileOperationsForTesting(false);
  }
  EXPECT_EQ(platform::ShownPath(path + "Version.ini"), path + "Version.ini") << "closed";
  EXPECT_EQ(platform::ShownPath("/proc/self/fd/x/y"), "/proc/self/fd/x/y");
  EXPECT_EQ(platform::ShownPath(family), family);
}

// Two program folders share an installation folder, one through a link:
// an installation into it from either keeps the other out.
TEST_F(ContainedFolderTest, OneInstallationAtATimeHoldsAFolderByWhicheverRoad) {
  std::filesystem::create_directories(root / "Second");
  std::filesystem::create_symlink(family + "A", root / "Second/A");
  TContainedFolder first, second;
  ASSERT_TRUE(first.Open(family, "A"));
  ASSERT_TRUE(second.Open(root / "Second/", "A"));
  {
    platform::TFolderLock held;
    ASSERT_TRUE(held.Take(first));
    EXPECT_TRUE(held.Held());
    platform::TFolderLock refused;
    EXPECT_FALSE(refused.Take(second));
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_FALSE(refused.Held());
  }
  platform::TFolderLock later;
  EXPECT_TRUE(later.Take(second));
}

}  // namespace
