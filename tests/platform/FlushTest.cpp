// What is flushed to disk, in which order, and what a flush that fails
// does: a write-back error is never lost, and a failed folder flush fails
// the step that needed it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/FileSeam.h"
#include "platform/Files.h"
#include "platform/OutputFile.h"
#include "platform/TempFolder.h"
#include "util/Errors.h"

using namespace platform;

namespace {

// Arms the seam to fail every operation of one kind with an error, from the
// Nth of that kind on, for the object's lifetime.
class TFailing {
 public:
  TFailing(TFileOp op, int error, int64_t from = 1, bool persistent = true) {
    ArmFileFaultForTesting(
        {from, error, persistent, [op](TFileOp seen, const std::string&) { return seen == op; }});
  }
  ~TFailing() { DisarmFileFaultForTesting(); }
  TFailing(const TFailing&) = delete;
  TFailing& operator=(const TFailing&) = delete;
};

// Records the seam's operations for the object's lifetime.
class TRecording {
 public:
  TRecording() { RecordFileOperationsForTesting(true); }
  ~TRecording() { RecordFileOperationsForTesting(false); }
  TRecording(const TRecording&) = delete;
  TRecording& operator=(const TRecording&) = delete;

  // The position of the first operation of the kind on the path, or -1.
  static int Find(TFileOp op, const std::string& path) {
    const auto& record = RecordedFileOperationsForTesting();
    for (size_t index = 0; index < record.size(); ++index)
      if (record[index].Op == op && record[index].Path == path) return static_cast<int>(index);
    return -1;
  }
};

// The flush-behind works in stretches of 8 MiB.
const std::string kStretch(8 << 20, 'x');

// Writes one stretch to a file written behind, whose write-back then fails
// with the error: the write passes, the error is kept for later.
void WriteAStretchWhoseWriteBackFails(TOutputFile& file, const std::string& path, int error) {
  file.WriteBehind();
  file.Create(path);
  TFailing failing(TFileOp::WriteBack, error);
  file.Write(kStretch.data(), kStretch.size());
  EXPECT_EQ(FileFaultsInjectedForTesting(), 1);
}

TEST(WriteBehindTest, AWriteBackErrorIsRaisedAtTheNextWrite) {
  TempFolder temp;
  TOutputFile file;
  WriteAStretchWhoseWriteBackFails(file, temp / "Big.bin.{S}", EIO);
  try {
    file.Write("y", 1);
    FAIL() << "the write-back error was lost";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(error.Message(),
              "Cannot create file \"" + (temp / "Big.bin.{S}") + "\". Input/output error");
  }
  // It stays: the flush does not pass either.
  EXPECT_THROW(file.Sync(), EFCreateError);
}

TEST(WriteBehindTest, AWriteBackErrorIsRaisedAtTheFlushWhenNoWriteFollows) {
  TempFolder temp;
  TOutputFile file;
  WriteAStretchWhoseWriteBackFails(file, temp / "Big.bin.{S}", ENOSPC);
  EXPECT_THROW(file.Sync(), EFCreateError);
  // A file created again starts clean.
  file.Create(temp / "Big.bin.{S}");
  file.Write("y", 1);
  file.Sync();
  file.Close();
  EXPECT_EQ(temp.Read("Big.bin.{S}"), "y");
}

TEST(WriteBehindTest, WritesBackEveryStretchThroughTheSeam) {
  TempFolder temp;
  TOutputFile file;
  file.WriteBehind();
  file.Create(temp / "Big.bin.{S}");
  TRecording recording;
  for (int stretch = 0; stretch < 3; ++stretch) file.Write(kStretch.data(), kStretch.size());
  file.Sync();
  file.Close();
  int writeBacks = 0;
  for (const TFileOpRecord& record : RecordedFileOperationsForTesting())
    writeBacks += record.Op == TFileOp::WriteBack && record.Result == 0;
  // Each stretch is started; each but the first also waits for the one before.
  EXPECT_EQ(writeBacks, 5);
}

TEST(FolderFlushTest, AWholeFileWriteWhoseFolderFlushFailsRaises) {
  TempFolder temp;
  temp.Write("Version.ini", "old");
  {
    TFailing failing(TFileOp::SyncFolder, EIO);
    EXPECT_THROW(WriteWholeFile(temp / "Version.ini", "new", 3), EFCreateError);
  }
  // The new file is in place: only its folder's flush failed.
  EXPECT_EQ(temp.Read("Version.ini"), "new");
}

TEST(FolderFlushTest, AMoveWhoseFolderFlushFailsIsTakenBack) {
  TempFolder temp;
  temp.Write("Report.dll.{F}", "new");
  temp.Write("A/Other.dll", "other");
  for (const int failingFlush : {1, 2}) {  // the target's folder, then the source's
    SCOPED_TRACE(failingFlush);
    TFailing failing(TFileOp::SyncFolder, EIO, failingFlush, false);
    EXPECT_FALSE(MoveFileNoReplaceExact(temp / "Report.dll.{F}", temp / "A/Report.dll"));
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(temp.Read("Report.dll.{F}"), "new");
    EXPECT_FALSE(temp.Has("A/Report.dll"));
  }
  EXPECT_TRUE(MoveFileNoReplaceExact(temp / "Report.dll.{F}", temp / "A/Report.dll"));
  EXPECT_EQ(temp.Read("A/Report.dll"), "new");
}

TEST(FolderFlushTest, AMoveFlushesTheTargetsFolderThenTheSources) {
  TempFolder temp;
  temp.Write("Report.dll.{F}", "new");
  temp.Write("A/Other.dll", "other");
  TRecording recording;
  ASSERT_TRUE(MoveFileNoReplaceExact(temp / "Report.dll.{F}", temp / "A/Report.dll"));
  const int target = TRecording::Find(TFileOp::SyncFolder, temp / "A/");
  const int source = TRecording::Find(TFileOp::SyncFolder, temp.Path());
  ASSERT_GE(target, 0);
  EXPECT_GT(source, target);
}

// A rename refused across file systems (injected here, so one file system
// serves) makes the move copy the file: the copy and the target's folder
// are flushed before the source goes, so that after a power cut the file
// is always in one place at least.
TEST(FolderFlushTest, AMoveAcrossFileSystemsFlushesTheTargetBeforeTheSourceGoes) {
  TempFolder temp;
  temp.Write("Report.dll.{F}", "new");
  temp.Write("A/Other.dll", "other");
  {
    TRecording recording;
    TFailing exdev(TFileOp::Rename, EXDEV, 1, false);
    ASSERT_TRUE(MoveFileNoReplaceExact(temp / "Report.dll.{F}", temp / "A/Report.dll"));
    const int copyFlush = TRecording::Find(TFileOp::Sync, temp / "A/Report.dll");
    const int folderFlush = TRecording::Find(TFileOp::SyncFolder, temp / "A/");
    const int sourceGone = TRecording::Find(TFileOp::Unlink, temp / "Report.dll.{F}");
    ASSERT_GE(copyFlush, 0);
    EXPECT_GT(folderFlush, copyFlush);
    EXPECT_GT(sourceGone, folderFlush);
  }
  EXPECT_EQ(temp.Read("A/Report.dll"), "new");
  EXPECT_FALSE(temp.Has("Report.dll.{F}"));
}

// Between two real file systems: when the target's folder cannot be
// flushed, the copy goes and the source stays.
TEST(FolderFlushTest, AMoveAcrossFileSystemsWhoseTargetFolderFlushFailsLeavesTheSource) {
  TempFolder temp;
  struct stat shm, tmp;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(temp.Path().c_str(), &tmp) != 0 ||
      shm.st_dev == tmp.st_dev || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second writable file system";
  const std::string source = "/dev/shm/quorvin-flush-" + std::to_string(::getpid());
  { std::ofstream(source, std::ios::binary) << "lib"; }
  {
    TFailing failing(TFileOp::SyncFolder, EIO);
    EXPECT_FALSE(MoveFileNoReplaceExact(source, temp / "Lib.so"));
    EXPECT_EQ(errno, EIO);
  }
  EXPECT_FALSE(temp.Has("Lib.so"));
  std::ifstream kept(source, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "lib");
  ::unlink(source.c_str());
}

TEST(OwnerAndModeTest, WhatIsTakenOverIsFlushed) {
  TempFolder temp;
  temp.Write("A/Tool.bin", "old");
  ::chmod((temp / "A/Tool.bin").c_str(), 0750);
  temp.Write("Tool.bin.{F}", "new");
  {
    TRecording recording;
    ASSERT_TRUE(CopyOwnerAndMode(temp / "A/Tool.bin", temp / "Tool.bin.{F}"));
    EXPECT_GT(TRecording::Find(TFileOp::Sync, temp / "Tool.bin.{F}"),
              TRecording::Find(TFileOp::ChangeMode, temp / "Tool.bin.{F}"));
  }
  TFailing failing(TFileOp::Sync, EIO);
  EXPECT_FALSE(CopyOwnerAndMode(temp / "A/Tool.bin", temp / "Tool.bin.{F}"));
}

}  // namespace
