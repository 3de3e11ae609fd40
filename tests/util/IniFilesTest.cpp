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
