// Update list records and the folder report built from them.
#include "engine/UpdateRecord.h"

#include <gtest/gtest.h>

#include "DetectTestSupport.h"
#include "engine/FolderReport.h"

namespace {

TUpdateRecord ModARecord() {
  TUpdateRecord record;
  record.ModuleName = "ModA";
  record.ComponentKey = "Main";
  record.ProgramFile = "ModA.exe";
  record.ComponentFile = "ModA.exe";
  record.InstalledVersion = "1.0.001";
  record.AvailableVersion = "1.0.002";
  record.FolderIndexes = "0";
  return record;
}

TEST(UpdateRecord, BuildsTheNineFieldsInOrder) {
  EXPECT_EQ(BuildUpdateRecord(ModARecord()), "ModA,Main,ModA.exe,ModA.exe,1.0.001,1.0.002,N,N,0");
  TUpdateRecord twice = ModARecord();
  twice.ComponentFile = "Data\\Lib.dll";
  twice.Duplicate = true;
  twice.InUse = true;
  twice.FolderIndexes = "2|5";
  EXPECT_EQ(BuildUpdateRecord(twice), "ModA,Main,ModA.exe,Data\\Lib.dll,1.0.001,1.0.002,Y,Y,2|5");
}

TEST(UpdateRecord, ShortRecordRaisesTheIndexError) {
  TQuorvinSI si;
  si.SetDelimiter(',');
  si.SetSourceString("ModA,Main,ModA.exe,ModA.exe,1.0.001,1.0.002,N,N");
  EXPECT_THROW(TakeApartUpdateRecord(si.FieldList()), EStringListError);
}

class FolderReportTest : public ::testing::Test {
 protected:
  FolderReportTest() : detect("/opt/upd/") {
    for (int i = 0; i < 6; ++i) detect.context.DirList->Add("/opt/upd/F" + std::to_string(i) + "/");
  }
  DetectContext detect;
};

TEST_F(FolderReportTest, NamesEveryFolderOnItsOwnLine) {
  EXPECT_EQ(FolderReportText(detect.context, 0, "M,K,P,C,1.0.001,1.0.002,Y,N,2|5"),
            "The program is in the following folder(s)\r\n/opt/upd/F2/\r\n/opt/upd/F5/\r\n");
}

TEST_F(FolderReportTest, NothingWithoutRowOrFolders) {
  const std::string record = "M,K,P,C,1.0.001,1.0.002,N,N,3";
  EXPECT_EQ(FolderReportText(detect.context, -1, record), "");
  EXPECT_EQ(FolderReportText(detect.context, 0, "M,K,P,C,1.0.001,1.0.002,N,N"), "");
  EXPECT_EQ(FolderReportText(detect.context, 0, "M,K,P,C,1.0.001,1.0.002,N,N,"), "");
  EXPECT_EQ(FolderReportText(detect.context, 0, "M,K,P,C,1.0.001,1.0.002,N,N, "), "");
}

TEST_F(FolderReportTest, DoubleClickShowsTheReportOnlyForACurrentRow) {
  detect.window.AddRow("M,K,P,C,1.0.001,1.0.002,N,N,4");
  ShowFolderReport(detect.context, -1);
  EXPECT_TRUE(detect.window.boxes.empty());
  ShowFolderReport(detect.context, 0);
  EXPECT_EQ(
      detect.window.boxes,
      std::vector<std::string>{"The program is in the following folder(s)\r\n/opt/upd/F4/\r\n"});
}

TEST_F(FolderReportTest, BadIndexesRaise) {
  EXPECT_THROW(FolderReportText(detect.context, 0, "M,K,P,C,1,2,N,N,2|x"), EConvertError);
  EXPECT_THROW(FolderReportText(detect.context, 0, "M,K,P,C,1,2,N,N,6"), EStringListError);
  EXPECT_THROW(FolderReportText(detect.context, 0, "M,K,P,C,1,2,N,N,-1"), EStringListError);
}

}  // namespace
