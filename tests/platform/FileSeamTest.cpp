// Every kind of file-system call passes the seam, so a test can make any of
// them fail; each failure gives the answer its caller documents.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/FileInUse.h"
#include "platform/FileSeam.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/RunLock.h"
#include "platform/TempFolder.h"
#include "util/Errors.h"

using namespace platform;

namespace {

// Fails every operation of one kind with an error while it lives.
class TFailing {
 public:
  TFailing(TFileOp op, int error) {
    ArmFileFaultForTesting(
        {1, error, true, [op](TFileOp seen, const std::string&) { return seen == op; }});
  }
  ~TFailing() { DisarmFileFaultForTesting(); }
  TFailing(const TFailing&) = delete;
  TFailing& operator=(const TFailing&) = delete;
};

TEST(FileSeamTest, ALookThatFailsFindsNothingOrRaisesWhereAWrongNoWouldCount) {
  TempFolder temp;
  temp.Write("A/ModA.exe", "program");
  {
    TFailing failing(TFileOp::Inspect, EIO);
    EXPECT_FALSE(FileExists(temp / "A/ModA.exe"));
    EXPECT_THROW(FileExistsOrRaise(temp / "A/ModA.exe"), EFOpenError);
    EXPECT_GT(FileFaultsInjectedForTesting(), 0);
  }
  {
    // No permission to look: not there for this process, by design; but no
    // proof that an installation's own file is gone.
    TFailing failing(TFileOp::Inspect, EACCES);
    EXPECT_FALSE(FileExistsOrRaise(temp / "A/ModA.exe"));
    EXPECT_THROW(FileExistsExactOrRaise(temp / "A/ModA.exe"), EFOpenError);
  }
  EXPECT_TRUE(FileExistsOrRaise(temp / "A/ModA.exe"));
}

TEST(FileSeamTest, TheCaseInsensitiveLookupsListingMayFail) {
  TempFolder temp;
  temp.Write("A/ModA.exe", "program");
  {
    TFailing failing(TFileOp::ListFolder, EIO);
    EXPECT_EQ(ResolvePath(temp / "A/moda.EXE"), temp / "A/moda.EXE");
    EXPECT_FALSE(FileExists(temp / "A/moda.EXE"));
    EXPECT_THROW(FileExistsOrRaise(temp / "A/moda.EXE"), EFOpenError);
  }
  EXPECT_TRUE(FileExistsOrRaise(temp / "A/moda.EXE"));
}

// The INI write reads the file it replaces: whichever of its looks fails,
// once, with whichever error, the write keeps every line or fails and
// leaves the file as it was.  A look refused for want of permission is no
// proof that the file is missing, though it finds nothing elsewhere.
TEST(FileSeamTest, AnIniWriteWhoseLookFailsKeepsEveryLineOrFails) {
  const std::string before = "[ModA]\r\nMain=1.0.001\r\nHelp=1.0.002\r\n";
  for (const int error : {EACCES, EIO}) {
    for (int64_t nth = 1;; ++nth) {
      SCOPED_TRACE(std::string(::strerrorname_np(error)) + " at look " + std::to_string(nth));
      TempFolder temp;
      temp.Write("Version.ini", before);
      ArmFileFaultForTesting({nth, error, false, [](TFileOp op, const std::string&) {
                                return op == TFileOp::Inspect;
                              }});
      const bool written =
          WritePrivateProfileString("ModA", "Main", "2.0.000", temp / "Version.ini");
      const bool struck = FileFaultsInjectedForTesting() > 0;
      DisarmFileFaultForTesting();
      EXPECT_EQ(temp.Read("Version.ini"),
                written ? "[ModA]\r\nMain=2.0.000\r\nHelp=1.0.002\r\n" : before);
      if (!struck || ::testing::Test::HasFailure()) break;
    }
  }
}

// A folder that cannot be listed may hold the file under a name in another
// letter case: the write fails rather than put a second file beside it.
TEST(FileSeamTest, AnIniWriteWhoseFolderCannotBeListedFails) {
  TempFolder temp;
  temp.Write("version.INI", "[ModA]\r\nHelp=1.0.002\r\n");
  ArmFileFaultForTesting(
      {1, EIO, false, [](TFileOp op, const std::string&) { return op == TFileOp::ListFolder; }});
  EXPECT_FALSE(WritePrivateProfileString("ModA", "Main", "2.0.000", temp / "Version.ini"));
  DisarmFileFaultForTesting();
  EXPECT_FALSE(temp.Has("Version.ini"));
  EXPECT_TRUE(WritePrivateProfileString("ModA", "Main", "2.0.000", temp / "Version.ini"));
  EXPECT_EQ(temp.Read("version.INI"), "[ModA]\r\nHelp=1.0.002\r\nMain=2.0.000\r\n");
}

TEST(FileSeamTest, TheScansListingAndLooksMayFail) {
  TempFolder temp;
  temp.Write("A/ModA.exe", "program");
  temp.Write("B/ModB.exe", "program");
  std::vector<TSubfolder> subfolders;
  {
    TFailing failing(TFileOp::ListFolder, EIO);
    EXPECT_FALSE(ListSubfolders(temp.Path(), ::geteuid(), subfolders));
    EXPECT_EQ(errno, EIO);
  }
  {
    TFailing failing(TFileOp::Inspect, EIO);
    EXPECT_FALSE(ListSubfolders(temp.Path(), ::geteuid(), subfolders));
  }
  {
    TFailing failing(TFileOp::ListFolder, EACCES);
    EXPECT_TRUE(ListSubfolders(temp.Path(), ::geteuid(), subfolders));
    EXPECT_TRUE(subfolders.empty());
  }
  EXPECT_TRUE(ListSubfolders(temp.Path(), ::geteuid(), subfolders));
  EXPECT_EQ(subfolders.size(), 2u);
}

TEST(FileSeamTest, TheInUseProbesOpenMayFail) {
  TempFolder temp;
  temp.Write("A/Report.dll", "old");
  EXPECT_FALSE(FileInUse(temp / "A/Report.dll"));
  TFailing failing(TFileOp::OpenToWrite, EACCES);
  EXPECT_TRUE(FileInUse(temp / "A/Report.dll"));
}

TEST(FileSeamTest, TheRunLockMayFail) {
  TempFolder temp;
  TFailing failing(TFileOp::Lock, EWOULDBLOCK);
  TRunLock lock;
  EXPECT_FALSE(lock.Take(temp.Path()));
  EXPECT_FALSE(lock.Held());
}

TEST(FileSeamTest, TheRecordKeepsWhatAReplayNeeds) {
  TempFolder temp;
  RecordFileOperationsForTesting(true);
  WriteWholeFile(temp / "Version.ini", "[ModA]\r\n", 8);
  std::vector<TFileOpRecord> record = RecordedFileOperationsForTesting();
  RecordFileOperationsForTesting(false);
  int creates = 0, writes = 0, flushes = 0, renames = 0;
  for (const TFileOpRecord& op : record) {
    if (op.Op == TFileOp::Create) {
      ++creates;
      EXPECT_GE(op.Result, 0) << "the descriptor opened";
      EXPECT_EQ(op.Mode, 0666u);
    } else if (op.Op == TFileOp::Write) {
      ++writes;
      EXPECT_EQ(op.Data, "[ModA]\r\n");
      EXPECT_EQ(op.Result, 8);
    } else if (op.Op == TFileOp::Sync) {
      ++flushes;
    } else if (op.Op == TFileOp::Rename) {
      ++renames;
      EXPECT_EQ(op.To, temp / "Version.ini");
    }
  }
  EXPECT_EQ(creates, 1);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(flushes, 1);
  EXPECT_EQ(renames, 1);
  // A failure the seam injects is recorded as the call's result.
  ArmFileFaultForTesting(
      {1, ENOSPC, false, [](TFileOp op, const std::string&) { return op == TFileOp::Write; }});
  RecordFileOperationsForTesting(true);
  EXPECT_THROW(WriteWholeFile(temp / "Version.ini", "x", 1), EFCreateError);
  bool failedWrite = false;
  for (const TFileOpRecord& op : RecordedFileOperationsForTesting())
    failedWrite = failedWrite || (op.Op == TFileOp::Write && op.Result == -ENOSPC);
  RecordFileOperationsForTesting(false);
  DisarmFileFaultForTesting();
  EXPECT_TRUE(failedWrite);
}

}  // namespace
