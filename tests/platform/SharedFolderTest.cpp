// A group-shared family folder: what one member's update creates, the next
// member can update in turn, and the process's mask stays as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/SharedFolder.h"
#include "platform/TempFolder.h"

namespace {

// Runs the body with the process's mask set to `mask`, checks that the body
// left it so, and puts the old mask back.
template <typename Body>
void WithUserMask(mode_t mask, Body body) {
  const mode_t saved = ::umask(mask);
  body();
  EXPECT_EQ(::umask(saved), mask) << "the process's mask changed";
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(0, ::stat(path.c_str(), &info)) << path;
  return info.st_mode & 07777;
}

// A whole file written and a file opened to be written piece by piece.
void CreateBoth(const TempFolder& folder) {
  platform::WriteWholeFile(folder / "Version.ini", "x", 1);
  std::string opened;
  ::close(platform::OpenForReplacing(folder / "Report.dll.{S}", opened));
}

}  // namespace

TEST(SharedFolderTest, FilesCreatedInASetGroupIdFolderAreGroupWritable) {
  TempFolder folder;
  ASSERT_EQ(0, ::chmod(folder.Path().c_str(), 02775));
  EXPECT_TRUE(platform::SharedWithGroup(folder.Path()));
  WithUserMask(022, [&] { CreateBoth(folder); });
  EXPECT_EQ(0664u, ModeOf(folder / "Version.ini"));
  EXPECT_EQ(0664u, ModeOf(folder / "Report.dll.{S}"));
  // The group gets what the owner has, no more.
  WithUserMask(0277, [&] { platform::WriteWholeFile(folder / "Private.ini", "x", 1); });
  EXPECT_EQ(0440u, ModeOf(folder / "Private.ini"));
}

// A replaced file keeps its own bits, in a shared folder too.
TEST(SharedFolderTest, AReplacedFileKeepsItsMode) {
  TempFolder folder;
  ASSERT_EQ(0, ::chmod(folder.Path().c_str(), 02775));
  folder.Write("Version.ini", "old");
  folder.Write("Report.dll.{S}", "old");
  ASSERT_EQ(0, ::chmod((folder / "Version.ini").c_str(), 0640));
  ASSERT_EQ(0, ::chmod((folder / "Report.dll.{S}").c_str(), 0600));
  WithUserMask(022, [&] { CreateBoth(folder); });
  EXPECT_EQ(0640u, ModeOf(folder / "Version.ini"));
  EXPECT_EQ(0600u, ModeOf(folder / "Report.dll.{S}"));
}

TEST(SharedFolderTest, AnyOtherFolderLeavesTheMaskToDecide) {
  TempFolder folder;
  for (mode_t mode : {0775, 02755, 0755}) {
    ASSERT_EQ(0, ::chmod(folder.Path().c_str(), mode));
    EXPECT_FALSE(platform::SharedWithGroup(folder.Path())) << std::oct << mode;
    WithUserMask(022, [&] { CreateBoth(folder); });
    EXPECT_EQ(0644u, ModeOf(folder / "Version.ini")) << std::oct << mode;
    EXPECT_EQ(0644u, ModeOf(folder / "Report.dll.{S}")) << std::oct << mode;
    ::unlink((folder / "Version.ini").c_str());
    ::unlink((folder / "Report.dll.{S}").c_str());
  }
  EXPECT_FALSE(platform::SharedWithGroup("/nonexistent/"));
}
