// A sealed file: held only when nobody but this process can have written
// it, and still at its name only while the name leads to the very inode
// held, at the size expected.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/SealedFile.h"
#include "platform/TempFolder.h"

TEST(SealedFile, HoldsTheFileWhileItsNameLeadsToIt) {
  TempFolder folder;
  folder.Write("staged", "checked bytes");
  ASSERT_EQ(::chmod((folder / "staged").c_str(), 0644), 0);
  platform::TSealedFile seal;
  ASSERT_TRUE(seal.Seal(folder / "staged"));
  EXPECT_TRUE(seal.StillAt(folder / "staged", 13));
  EXPECT_FALSE(seal.StillAt(folder / "staged", 12));  // not the size that was checked
  // Another file renamed over the name, of the same size: held is the old one.
  folder.Write("planted", "checked byteZ");
  ASSERT_EQ(::rename((folder / "planted").c_str(), (folder / "staged").c_str()), 0);
  EXPECT_FALSE(seal.StillAt(folder / "staged", 13));
  ASSERT_EQ(std::remove((folder / "staged").c_str()), 0);
  EXPECT_FALSE(seal.StillAt(folder / "staged", 13));
  EXPECT_FALSE(platform::TSealedFile().StillAt(folder / "staged", 13));
}

// Whatever the group or others may write, or reach by a second name, was
// perhaps written by them: no seal.
TEST(SealedFile, NoSealOnWhatOthersMayHaveWritten) {
  TempFolder folder;
  folder.Write("file", "bytes");
  platform::TSealedFile seal;
  for (const mode_t mode : {0664, 0646, 0666}) {
    ASSERT_EQ(::chmod((folder / "file").c_str(), mode), 0);
    EXPECT_FALSE(seal.Seal(folder / "file")) << std::oct << mode;
  }
  ASSERT_EQ(::chmod((folder / "file").c_str(), 0600), 0);
  ASSERT_EQ(::link((folder / "file").c_str(), (folder / "second").c_str()), 0);
  EXPECT_FALSE(seal.Seal(folder / "file"));
  ASSERT_EQ(std::remove((folder / "second").c_str()), 0);
  ASSERT_EQ(::symlink((folder / "file").c_str(), (folder / "link").c_str()), 0);
  EXPECT_FALSE(seal.Seal(folder / "link"));
  EXPECT_FALSE(seal.Seal(folder / "missing"));
  EXPECT_TRUE(seal.Seal(folder / "file"));
  // Mode taken away from the held file: others may have opened it to write
  // meanwhile.
  ASSERT_EQ(::chmod((folder / "file").c_str(), 0620), 0);
  EXPECT_FALSE(seal.StillAt(folder / "file", 5));
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod((folder / "file").c_str(), 0600), 0);
    ASSERT_EQ(::chown((folder / "file").c_str(), 4242, 4242), 0);
    EXPECT_FALSE(seal.StillAt(folder / "file", 5));  // another's file
    EXPECT_FALSE(seal.Seal(folder / "file"));
  }
}
