#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/TempFolder.h"
#include "util/Errors.h"
#include "util/IniFiles.h"

namespace {

std::vector<std::string> Section(const std::string& file, const std::string& section) {
  TIniFile ini(file);
  TStringList keys;
  keys.Add("stale item");
  ini.ReadSection(section, keys);
  EXPECT_FALSE(keys.Updating());
  return keys.Items();
}

std::string WriteError(const std::string& file) {
  try {
    TIniFile(file).WriteString("Mod", "Report.dll", "1.2.003");
  } catch (const EIniFileException& error) {
    return error.Message();
  }
  return "written";
}

using Names = std::vector<std::string>;

}  // namespace

TEST(IniFileTest, ReadsTrimmedValuesAndKnowsEmptyFromAbsent) {
  TempFolder temp;
  temp.Write("Version.ini", "[Mod]\r\n  Report.dll = 1.2.003  \r\nEmpty=\r\n");
  TIniFile ini(temp / "Version.ini");
  EXPECT_EQ(temp / "Version.ini", ini.FileName());
  EXPECT_EQ("1.2.003", ini.ReadString("mod", "REPORT.DLL", "1.0.001"));
  EXPECT_EQ("", ini.ReadString("Mod", "Empty", "1.0.001"));
  EXPECT_EQ("1.0.001", ini.ReadString("Mod", "Missing", "1.0.001"));
  EXPECT_EQ((Names{"Report.dll", "Empty"}), Section(temp / "Version.ini", "MOD"));
  EXPECT_TRUE(Section(temp / "Version.ini", "Other").empty());
  EXPECT_TRUE(Section(temp / "absent.ini", "Mod").empty());
  EXPECT_FALSE(temp.Has("absent.ini"));
}

TEST(IniFileTest, ListsAThreeHundredKeySectionCompletelyInFileOrder) {
  TempFolder temp;
  std::string text = "[Big]\r\n";
  Names expected;
  for (int i = 0; i < 300; ++i) {
    char key[21];
    std::snprintf(key, sizeof key, "Z%03dcomponent.dll__", 299 - i);  // 20 characters
    expected.push_back(key);
    text += std::string(key) + "=1.0.001\r\n";
  }
  temp.Write("allfiles.ini", text + "[After]\r\nx=1\r\n");
  EXPECT_EQ(expected, Section(temp / "allfiles.ini", "big"));
}

TEST(IniFileTest, CutsLongValuesTo2047Characters) {
  TempFolder temp;
  temp.Write("allfiles.ini", "[M]\r\nk=" + std::string(3000, '7') + "\r\n");
  EXPECT_EQ(std::string(2047, '7'), TIniFile(temp / "allfiles.ini").ReadString("M", "k", ""));
}

TEST(IniFileTest, WritesAreSeenByTheNextObject) {
  TempFolder temp;
  temp.Write("Version.ini",
             "[Mod]\r\nReport.dll=1.0.001\r\nMain.exe=1.0.001\r\n[Other]\r\na=b\r\n");
  {
    TIniFile ini(temp / "Version.ini");
    EXPECT_EQ("1.0.001", ini.ReadString("Mod", "Report.dll", ""));
    ini.WriteString("Mod", "Report.dll", "2.1.005");
  }
  EXPECT_EQ("2.1.005", TIniFile(temp / "VERSION.INI").ReadString("Mod", "Report.dll", ""));
  EXPECT_EQ("[Mod]\r\nReport.dll=2.1.005\r\nMain.exe=1.0.001\r\n[Other]\r\na=b\r\n",
            temp.Read("Version.ini"));

  TIniFile(temp / "New").WriteString("Mod", "Report.dll", "1.0.001");
  EXPECT_EQ("[Mod]\r\nReport.dll=1.0.001\r\n", temp.Read("New"));
}

TEST(IniFileTest, FailedWritesRaiseUnableToWrite) {
  TempFolder temp;
  const std::string missing = temp / "NoSuchFolder/Version.ini";
  EXPECT_EQ("Unable to write to " + missing, WriteError(missing));

  // A file without any write permission bit is read-only even for root.
  temp.Write("Version.ini", "[Mod]\r\nReport.dll=1.0.001\r\n");
  ::chmod((temp / "Version.ini").c_str(), 0444);
  EXPECT_EQ("Unable to write to " + (temp / "Version.ini"), WriteError(temp / "Version.ini"));
  EXPECT_EQ("[Mod]\r\nReport.dll=1.0.001\r\n", temp.Read("Version.ini"));
}

// A snapshot answers as TIniFile did when it was made, also after the file
// has changed, and writes nothing.
TEST(IniFileTest, ASnapshotAnswersAsTheFileWasWhenRead) {
  TempFolder temp;
  const std::string value(3000, 'v');  // cut to 2047 characters like any read
  temp.Write("allfiles.ini", "[modules]\r\nB=b.exe\r\nA = a.exe \r\n[Long]\r\nK=" + value + "\r\n");
  TIniSnapshot snapshot(temp / "allfiles.ini");
  TIniFile file(temp / "allfiles.ini");
  const std::string cut = file.ReadString("Long", "K", "");
  temp.Write("allfiles.ini", "[modules]\r\nC=c.exe\r\n");
  EXPECT_EQ(snapshot.ReadString("MODULES", "a", "nope"), "a.exe");
  EXPECT_EQ(snapshot.ReadString("modules", "C", "nope"), "nope");
  EXPECT_EQ(snapshot.ReadString("Long", "K", ""), cut);
  EXPECT_EQ(cut.size(), 2047u);
  TStringList keys;
  snapshot.ReadSection("Modules", keys);
  EXPECT_EQ(keys.Items(), (Names{"B", "A"}));
  EXPECT_THROW(snapshot.WriteString("modules", "D", "d.exe"), EIniFileException);
  EXPECT_EQ(temp.Read("allfiles.ini"), "[modules]\r\nC=c.exe\r\n");
  EXPECT_EQ(TIniSnapshot(temp / "missing.ini").ReadString("a", "b", "default"), "default");
}
