#include <gtest/gtest.h>

#include "util/allfunct.h"

TEST(AppendBackslashTest, AddsOneSeparatorToNonEmptyPaths) {
  EXPECT_EQ("", AppendBackslash(""));
  EXPECT_EQ("/opt/Apps/", AppendBackslash("/opt/Apps"));
  EXPECT_EQ("/opt/Apps/", AppendBackslash("/opt/Apps/"));
  EXPECT_EQ("/", AppendBackslash("/"));
  EXPECT_EQ("C:\\Apps/", AppendBackslash("C:\\Apps")) << "a backslash is no separator here";
}

TEST(BareFileNameTest, NeverLetsANameClimbOutOfItsFolder) {
  EXPECT_EQ("Report.dll", BareFileName("Report.dll"));
  EXPECT_EQ("Report.dll", BareFileName("Tools\\Report.dll"));
  EXPECT_EQ("Report.dll", BareFileName("C:Report.dll"));
  EXPECT_EQ("Report.dll", BareFileName("..\\..\\Report.dll"));
  EXPECT_EQ("passwd", BareFileName("/etc/passwd"));
  EXPECT_EQ("x", BareFileName("a/..\\b:x"));
  EXPECT_EQ("", BareFileName(".."));
  EXPECT_EQ("", BareFileName("Tools\\."));
  EXPECT_EQ("", BareFileName("Tools\\"));
  EXPECT_EQ("", BareFileName(""));
  EXPECT_EQ("...", BareFileName("..."));
}

TEST(LocalRelativePathTest, ReadsBackslashesAndNeverLeavesTheFolder) {
  EXPECT_EQ("Bin/App.exe", LocalRelativePath("Bin\\App.exe"));
  EXPECT_EQ("./a..b/App.exe", LocalRelativePath(".\\a..b/App.exe"));
  for (const char* outside :
       {"..\\..\\etc\\x", "../../etc/x", "Bin\\..", "/etc/x", "\\etc\\x", "\\\\server\\x", ""})
    EXPECT_EQ("", LocalRelativePath(outside)) << outside;
}
