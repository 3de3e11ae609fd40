// A group-shared family folder: what one member's update creates, the next
// member can update in turn.
#include "platform/SharedFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Files.h"
#include "platform/TempFolder.h"

namespace {

// Runs the body with the process's mask set to 022, and puts the mask back.
template <typename Body>
void WithUserMask022(Body body) {
  const mode_t saved = ::umask(022);
  body();
  ::umask(saved);
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(0, ::stat(path.c_str(), &info)) << path;
  return info.st_mode & 07777;
}

}  // namespace

TEST(SharedFolderTest, FilesCreatedBelowASetGroupIdFolderAreGroupWritable) {
  TempFolder folder;
  ASSERT_EQ(0, ::chmod(folder.Path().c_str(), 02775));
  WithUserMask022([&] {
    EXPECT_TRUE(platform::ShareNewFilesWithFolderGroup(folder.Path()));
    platform::WriteWholeFile(folder / "Version.ini", "x", 1);
    EXPECT_EQ(0664u, ModeOf(folder / "Version.ini"));
  });
}

TEST(SharedFolderTest, AnyOtherFolderLeavesTheMaskAlone) {
  TempFolder folder;
  for (mode_t mode : {0775, 02755, 0755}) {
    ASSERT_EQ(0, ::chmod(folder.Path().c_str(), mode));
    WithUserMask022([&] {
      EXPECT_FALSE(platform::ShareNewFilesWithFolderGroup(folder.Path())) << std::oct << mode;
      EXPECT_EQ(022u, ::umask(022));
    });
  }
  WithUserMask022([] { EXPECT_FALSE(platform::ShareNewFilesWithFolderGroup("/nonexistent/")); });
}
