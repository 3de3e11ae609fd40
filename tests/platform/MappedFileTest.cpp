// A file mapped read-only: its bytes as on disk, found whatever the letter
// case of its name, and what cannot be mapped refused with the file's name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/MappedFile.h"
#include "platform/TempFolder.h"
#include "util/Errors.h"

namespace {

std::string Text(std::span<const uint8_t> bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<std::string> NamesIn(const TempFolder& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
    names.push_back(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(MappedFile, ShowsTheFileWholeWhateverTheCaseOfItsName) {
  TempFolder folder;
  const std::string content = std::string(100000, 'x') + "end";
  folder.Write("Base.DLL", content);
  platform::TMappedFile file;
  file.Open(folder / "base.dll");
  EXPECT_EQ(Text(file.Bytes()), content);
  folder.Write("empty", "");
  file.Open(folder / "empty");  // the earlier mapping goes
  EXPECT_EQ(file.Bytes().size(), 0u);
  file.Close();
  EXPECT_EQ(file.Bytes().size(), 0u);
}

TEST(MappedFile, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
  TempFolder folder;
  platform::TMappedFile file;
  EXPECT_THROW(file.Open(folder / "missing"), EFOpenError);
  EXPECT_THROW(file.Open(folder.Path()), EFOpenError);
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  try {
    file.Open(folder / "fifo");  // would block an open that waits for a writer
    FAIL() << "a FIFO was mapped";
  } catch (const EFOpenError& error) {
    EXPECT_NE(error.Message().find("fifo"), std::string::npos) << error.Message();
  }
}

// The private copy: the original may be cut, rewritten or removed while it
// is mapped, and the mapping neither changes nor faults; the copy has no
// name, so the scratch folder holds nothing more, during or after.
TEST(MappedFile, APrivateCopyOutlivesWhateverHappensToTheOriginal) {
  TempFolder folder;
  const std::string content = std::string(3 << 20, 'b') + "end";
  folder.Write("base.dll", content);
  {
    platform::TMappedFile file;
    int turns = 0;
    file.OpenPrivateCopy(folder / "base.dll", folder.Path(),
                         [&](std::span<const uint8_t>) { ++turns; });
    EXPECT_GE(turns, 3);  // a turn after each MiB copied
    ASSERT_EQ(::truncate((folder / "base.dll").c_str(), 0), 0);
    folder.Write("base.dll", "other");
    EXPECT_EQ(Text(file.Bytes()), content);  // a mapping of the file itself faults here
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"base.dll"});
  }
  EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"base.dll"});
}

TEST(MappedFile, APrivateCopyRefusesALinkAndWhatCannotBeCopied) {
  TempFolder folder;
  folder.Write("target", "secret");
  ASSERT_EQ(::symlink((folder / "target").c_str(), (folder / "link").c_str()), 0);
  platform::TMappedFile file;
  EXPECT_THROW(file.OpenPrivateCopy(folder / "link", folder.Path()), EFOpenError);
  EXPECT_THROW(file.OpenPrivateCopy(folder / "target", folder / "missing/"), EFOpenError);
  EXPECT_EQ(file.Bytes().size(), 0u);
  folder.Write("empty", "");
  file.OpenPrivateCopy(folder / "empty", folder.Path());
  EXPECT_EQ(file.Bytes().size(), 0u);
}
