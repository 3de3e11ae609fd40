// A file mapped read-only: its bytes as on disk, found whatever the letter
// case of its name, and what cannot be mapped refused with the file's name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/MappedFile.h"
#include "platform/TempFolder.h"
#include "util/Errors.h"

namespace {

std::string Text(std::span<const uint8_t> bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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
