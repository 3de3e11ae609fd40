// The in-use probe against files that other processes hold.
#include "engine/InUseProbe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "DetectTestSupport.h"
#include "FileHolder.h"

namespace {

TEST(InUseProbe, PlainClosedFileIsFree) {
  DetectTree tree;
  EXPECT_FALSE(FileInUse(tree.File("App/Report.dll")));
}

TEST(InUseProbe, MissingFileFolderAndReadOnlyFileAreInUse) {
  DetectTree tree;
  EXPECT_TRUE(FileInUse(tree.Path("App/Missing.dll")));
  EXPECT_TRUE(FileInUse(tree.Folder("App/Folder.dll")));
  const std::string readOnly = tree.File("App/ReadOnly.dll");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_TRUE(FileInUse(readOnly));
}

TEST(InUseProbe, FindsTheFileWithoutRegardToCase) {
  DetectTree tree;
  tree.File("App/ModA.EXE");
  EXPECT_FALSE(FileInUse(tree.Path("App/moda.exe")));
}

TEST(InUseProbe, FileOpenForReadingInAnotherProcessIsInUse) {
  DetectTree tree;
  const std::string file = tree.File("App/Report.dll");
  DetectFileHolder holder("/bin/sleep", file, 0, O_RDONLY);
  ASSERT_TRUE(holder.WaitUntilHolding("fd/0", file));
  EXPECT_TRUE(FileInUse(file));
}

TEST(InUseProbe, FileOpenForWritingInAnotherProcessIsInUse) {
  DetectTree tree;
  const std::string file = tree.File("App/Report.dll");
  DetectFileHolder holder("/bin/sleep", file, 1, O_WRONLY | O_APPEND);
  ASSERT_TRUE(holder.WaitUntilHolding("fd/1", file));
  EXPECT_TRUE(FileInUse(file));
}

TEST(InUseProbe, RunningProgramImageIsInUse) {
  DetectTree tree;
  const std::string program = tree.Path("App/Sleeper");
  std::filesystem::create_directories(tree.Path("App"));
  std::filesystem::copy_file("/bin/sleep", program);
  ::chmod(program.c_str(), 0755);
  DetectFileHolder holder(program, "", 0, 0);
  ASSERT_TRUE(holder.WaitUntilHolding("exe", program));
  EXPECT_TRUE(FileInUse(program));
}

TEST(InUseProbe, ProbingLeavesContentsAndTimeStampsAlone) {
  DetectTree tree;
  const std::string content("MZ\0\x01 binary \r\n tail", 20);
  const std::string file = tree.File("App/Report.dll", content);
  const timespec past[2] = {{1000000000, 123}, {1100000000, 456}};  // access, modification
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
  struct stat before, after;
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  EXPECT_FALSE(FileInUse(file));
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(tree.Read("App/Report.dll"), content);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
  EXPECT_EQ(after.st_mode, before.st_mode);
}

}  // namespace

namespace {

// The /proc search that stands in where a write lease cannot decide.
TEST(InUseProbeProcessSearch, FindsOpenDescriptorsAndRunningImagesOnly) {
  DetectTree tree;
  const std::string idle = tree.File("App/Idle.dll");
  const std::string read = tree.File("App/Read.dll");
  const std::string program = tree.Path("App/Sleeper");
  std::filesystem::copy_file("/bin/sleep", program);
  ::chmod(program.c_str(), 0755);
  DetectFileHolder reader("/bin/sleep", read, 0, O_RDONLY);
  DetectFileHolder runner(program, "", 0, 0);
  ASSERT_TRUE(reader.WaitUntilHolding("fd/0", read));
  ASSERT_TRUE(runner.WaitUntilHolding("exe", program));
  EXPECT_FALSE(ProcessHoldsFile(idle));
  EXPECT_TRUE(ProcessHoldsFile(read));
  EXPECT_TRUE(ProcessHoldsFile(program));
  EXPECT_FALSE(ProcessHoldsFile(tree.Path("App/Missing.dll")));
}

}  // namespace
