#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "platform/Profile.h"
#include "platform/TempFolder.h"

using namespace platform;

namespace {

std::string Read(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& fallback = "<default>", size_t size = 2048) {
  std::string buffer;
  GetPrivateProfileString(section, key, fallback, buffer, size, file);
  return buffer;
}

std::vector<std::string> Keys(const std::string& file, const std::string& section) {
  std::string buffer;
  const size_t count = GetPrivateProfileKeyNames(section, buffer, 1 << 20, file);
  std::vector<std::string> keys;
  for (size_t pos = 0; count > 0 && buffer[pos] != '\0'; pos = buffer.find('\0', pos) + 1)
    keys.push_back(buffer.substr(pos, buffer.find('\0', pos) - pos));
  return keys;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ProfileReadTest, KeyListSignalsACutListWithSizeMinusTwo) {
  TempFolder temp;
  std::string text = "[Big]\r\n";
  for (int i = 0; i < 300; ++i) {
    char key[21];
    std::snprintf(key, sizeof key, "Component%011d", i);  // 20 characters
    text += std::string(key) + "=1.0.001\r\n";
  }
  temp.Write("allfiles.ini", text);
  std::string buffer;
  EXPECT_EQ(1022u, GetPrivateProfileKeyNames("big", buffer, 1024, temp / "allfiles.ini"));
  EXPECT_EQ(4094u, GetPrivateProfileKeyNames("big", buffer, 4096, temp / "allfiles.ini"));
  EXPECT_EQ(6300u, GetPrivateProfileKeyNames("big", buffer, 16384, temp / "allfiles.ini"));
  EXPECT_EQ(6301u, buffer.size());
  EXPECT_EQ(std::string("Component00000000000", 20), buffer.substr(0, 20));
  EXPECT_EQ(std::string("Component00000000299\0\0", 22), buffer.substr(6279));

  // A list that totals exactly size - 2 characters reads as cut too.
  temp.Write("exact.ini", "[S]\na=1\nbb=2\n");  // "a\0bb\0" is 5 characters
  EXPECT_EQ(5u, GetPrivateProfileKeyNames("s", buffer, 7, temp / "exact.ini"));
  EXPECT_EQ(5u, GetPrivateProfileKeyNames("s", buffer, 8, temp / "exact.ini"));
  EXPECT_EQ(5u, GetPrivateProfileKeyNames("s", buffer, 6, temp / "exact.ini"));
  EXPECT_EQ(std::string("a\0bb\0\0", 6), buffer);
  EXPECT_EQ(3u, GetPrivateProfileKeyNames("s", buffer, 5, temp / "exact.ini"));
  EXPECT_EQ(std::string("a\0b\0\0", 5), buffer);
}

TEST(ProfileReadTest, ValuesAreCutToSizeMinusOneCharacters) {
  TempFolder temp;
  temp.Write(
      "long.ini", "[S]\nascii=" + std::string(3000, 'v') + "\nwide=" + [] {
        std::string wide;
        for (int i = 0; i < 3000; ++i) wide += "\xC3\xA9";  // é, two bytes, one character
        return wide;
      }() + "\nastral=a\xF0\x9F\x98\x80z\n");
  std::string buffer;
  EXPECT_EQ(2047u, GetPrivateProfileString("S", "ascii", "", buffer, 2048, temp / "long.ini"));
  EXPECT_EQ(std::string(2047, 'v'), buffer);
  EXPECT_EQ(2047u, GetPrivateProfileString("S", "wide", "", buffer, 2048, temp / "long.ini"));
  EXPECT_EQ(2 * 2047u, buffer.size());
  // A character outside the basic plane takes two places and is never halved.
  EXPECT_EQ(1u, GetPrivateProfileString("S", "astral", "", buffer, 3, temp / "long.ini"));
  EXPECT_EQ("a", buffer);
  EXPECT_EQ(3u, GetPrivateProfileString("S", "astral", "", buffer, 4, temp / "long.ini"));
  EXPECT_EQ(0u, GetPrivateProfileString("S", "ascii", "", buffer, 0, temp / "long.ini"));
  EXPECT_EQ(std::string(9, 'd'), Read(temp / "long.ini", "S", "none", std::string(30, 'd'), 10));
}

TEST(ProfileReadTest, AbsentGivesTheDefaultAndEmptyGivesEmpty) {
  TempFolder temp;
  EXPECT_EQ("1.0.001", Read(temp / "Version.ini", "Mod", "Report.dll", "1.0.001"));
  EXPECT_TRUE(Keys(temp / "Version.ini", "Mod").empty());
  EXPECT_FALSE(temp.Has("Version.ini")) << "reading creates nothing";

  temp.Write("Version.ini", "[Mod]\r\n  Report.dll = 1.2.003  \r\nEmpty=\r\n[Other]\r\n");
  EXPECT_EQ("1.2.003", Read(temp / "Version.ini", "Mod", "Report.dll"));
  EXPECT_EQ("", Read(temp / "Version.ini", "Mod", "Empty"));
  EXPECT_EQ("<default>", Read(temp / "Version.ini", "Mod", "Missing"));
  EXPECT_EQ("<default>", Read(temp / "Version.ini", "Nope", "Report.dll"));
  EXPECT_EQ((Names{"Report.dll", "Empty"}), Keys(temp / "Version.ini", "Mod"));
  EXPECT_TRUE(Keys(temp / "Version.ini", "Other").empty());
  EXPECT_EQ("<default>", Read(temp.Path(), "Mod", "Report.dll")) << "a folder is no file";
}

TEST(ProfileReadTest, NamesAndFileNamesMatchWithoutRegardToCase) {
  TempFolder temp;
  temp.Write("AllFiles.INI", "[Modules]\nReport.dll=2.1.005,Tools\\Report.dll\n[Ärger]\nÖl=1\n");
  EXPECT_EQ("2.1.005,Tools\\Report.dll", Read(temp / "allfiles.ini", "modules", "REPORT.DLL"));
  EXPECT_EQ("1", Read(temp / "allfiles.ini", "ärger", "öL"));
  EXPECT_EQ((Names{"Report.dll"}), Keys(temp / "ALLFILES.ini", "MODULES"));
}

TEST(ProfileReadTest, LinesTheFormatLeavesOpenFollowTheDocumentedRules) {
  TempFolder temp;
  static const char kOdd[] =
      "orphan=before any section\n"
      "[S]  trailing text\r\n"
      "; comment=1\n"
      "# hash=2\n"
      "no equals sign\n"
      "=empty key\n"
      "quoted=\"a b\"\n"
      "dup=first\n"
      "DUP=second\n"
      "eq=a=b\r"
      "nul=ab\0cd\n"
      "[ s ]\n"
      "later=from the repeated section\n"
      "[broken\n"
      "last=no line end";
  temp.Write("odd.ini", std::string(kOdd, sizeof kOdd - 1));
  const std::string file = temp / "odd.ini";
  EXPECT_EQ((Names{"quoted", "dup", "eq", "nul"}), Keys(file, "S"));
  EXPECT_EQ("\"a b\"", Read(file, "S", "quoted"));
  EXPECT_EQ("first", Read(file, "S", "dup"));
  EXPECT_EQ("a=b", Read(file, "S", "eq"));
  EXPECT_EQ("ab", Read(file, "S", "nul"));
  EXPECT_EQ("<default>", Read(file, "S", "later"));
  EXPECT_EQ("<default>", Read(file, "S", "; comment"));
  EXPECT_EQ("<default>", Read(file, "", "orphan"));
  EXPECT_EQ("<default>", Read(file, "S", "last"));

  temp.Write("broken.ini", "[T]\n[broken\nk=1");
  EXPECT_EQ("1", Read(temp / "broken.ini", "T", "k")) << "\"[broken\" is no section line";
  EXPECT_TRUE(Keys(temp / "broken.ini", "broken").empty());
}

TEST(ProfileReadTest, EncodingsAreDetected) {
  TempFolder temp;
  temp.Write("bom.ini", "\xEF\xBB\xBF[S]\nk=v\n");
  EXPECT_EQ("v", Read(temp / "bom.ini", "S", "k"));
  temp.Write("ansi.ini", "[S]\nk=caf\xE9 \x80\n");
  EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC", Read(temp / "ansi.ini", "S", "k"));
  static const char kUtf16[] = "\xFF\xFE[\0S\0]\0\n\0k\0=\0\xE9\0\n\0";
  temp.Write("utf16.ini", std::string(kUtf16, sizeof kUtf16 - 1));
  EXPECT_EQ("\xC3\xA9", Read(temp / "utf16.ini", "S", "k"));
}

TEST(ProfileReadTest, HostileFilesNeverFail) {
  TempFolder temp;
  std::mt19937 random(12345);
  std::string garbage(1 << 20, '\0');
  for (char& ch : garbage) ch = static_cast<char>(random());
  temp.Write("garbage.ini", garbage);
  Keys(temp / "garbage.ini", "S");
  EXPECT_EQ("<default>", Read(temp / "garbage.ini", "no such section", "k"));
}

TEST(ProfileReadTest, HugeLinesAreCutNotFatal) {
  TempFolder temp;
  temp.Write("long.ini", "[S]\nk=" + std::string(50 << 20, 'x') + "\n");
  EXPECT_EQ(2047u, Read(temp / "long.ini", "S", "k").size());
}

TEST(ProfileReadTest, HundredThousandSectionsAreFound) {
  TempFolder temp;
  std::string many;
  for (int i = 0; i < 100000; ++i)
    many += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
  temp.Write("many.ini", many);
  EXPECT_EQ("99999", Read(temp / "many.ini", "s99999", "K"));
}

TEST(ProfileCacheTest, SeesChangesMadeBehindItsBack) {
  TempFolder temp;
  temp.Write("Version.ini", "[M]\nk=1\n");
  EXPECT_EQ("1", Read(temp / "Version.ini", "M", "k"));
  temp.Write("Version.ini", "[M]\nk=2\n");  // same size, same moment
  EXPECT_EQ("2", Read(temp / "Version.ini", "M", "k"));
  temp.Write("other.ini", "[M]\nk=3\n");
  std::rename((temp / "other.ini").c_str(), (temp / "Version.ini").c_str());
  EXPECT_EQ("3", Read(temp / "Version.ini", "M", "k"));
  std::remove((temp / "Version.ini").c_str());
  EXPECT_EQ("<default>", Read(temp / "Version.ini", "M", "k"));
}

// Stamps beyond what a count of nanoseconds since 1970 holds (about 1677 to
// 2262; some file systems clamp 1600 to 1901), each file rewritten with its
// stamp set back to the same moment.
TEST(ProfileCacheTest, FilesDatedCenturiesAwayReadAndReRead) {
  TempFolder temp;
  for (time_t seconds : {time_t{10'413'792'000} /* 2300 */, time_t{-11'676'096'000} /* 1600 */}) {
    const std::string file = temp / ("dated" + std::to_string(seconds) + ".ini");
    const timespec stamp[2] = {{seconds, 0}, {seconds, 0}};
    for (const char* value : {"1", "2"}) {
      temp.Write(file.substr(temp.Path().size()), std::string("[M]\nk=") + value + "\n");
      ASSERT_EQ(0, ::utimensat(AT_FDCWD, file.c_str(), stamp, 0));
      EXPECT_EQ(value, Read(file, "M", "k"));
      EXPECT_EQ(value, Read(file, "M", "k"));
    }
  }
}

TEST(ProfileWriteTest, ReplacesInPlaceAndKeepsEveryOtherLine) {
  TempFolder temp;
  const std::string before =
      "; installed versions\r\n"
      "[Accounts]\r\n"
      "Main.exe=1.0.001\r\n"
      "  Report.dll = 1.0.001  \r\n"
      "Help.chm=1.0.001\r\n"
      "\r\n"
      "[Payroll]\r\n"
      "Main.exe=2.0.000\r\n";
  temp.Write("Version.ini", before);
  ASSERT_TRUE(WritePrivateProfileString("ACCOUNTS", "report.DLL", "1.2.003", temp / "Version.ini"));
  std::string after = before;
  after.replace(after.find("  Report.dll = 1.0.001  "), 24, "Report.dll=1.2.003");
  EXPECT_EQ(after, temp.Read("Version.ini"));
  EXPECT_EQ("1.2.003", Read(temp / "Version.ini", "Accounts", "Report.dll"));
}

TEST(ProfileWriteTest, AddsKeysToTheirSectionAndSectionsAtTheEnd) {
  TempFolder temp;
  temp.Write("Version.ini", "[A]\nx=1\n\n; about B\n[B]\ny=2\n[a]\nz=3");
  ASSERT_TRUE(WritePrivateProfileString("a", "new", "4", temp / "Version.ini"));
  ASSERT_TRUE(WritePrivateProfileString("C", "k", "5", temp / "version.INI"));
  EXPECT_EQ("[A]\r\nx=1\r\nnew=4\r\n\r\n; about B\r\n[B]\r\ny=2\r\n[a]\r\nz=3\r\n[C]\r\nk=5\r\n",
            temp.Read("Version.ini"));

  ASSERT_TRUE(WritePrivateProfileString("Mod", "Report.dll", "1.0.001", temp / "New.ini"));
  EXPECT_EQ("[Mod]\r\nReport.dll=1.0.001\r\n", temp.Read("New.ini"));
}

TEST(ProfileWriteTest, KeepsTheByteOrderMarkAndWritesUtf8) {
  TempFolder temp;
  temp.Write("bom.ini", "\xEF\xBB\xBF[S]\nk=1\n");
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", temp / "bom.ini"));
  EXPECT_EQ("\xEF\xBB\xBF[S]\r\nk=2\r\n", temp.Read("bom.ini"));
  temp.Write("ansi.ini", "[S]\nname=Jos\xE9\n");
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "1", temp / "ansi.ini"));
  EXPECT_EQ("[S]\r\nname=Jos\xC3\xA9\r\nk=1\r\n", temp.Read("ansi.ini"));
}

TEST(ProfileWriteTest, FailsAndLeavesTheFileWhenItCannotWrite) {
  TempFolder temp;
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", temp / "missing/Version.ini"));
  EXPECT_FALSE(temp.Has("missing"));

  // No write permission bit at all counts as read-only for root as well.
  temp.Write("Version.ini", "[S]\nk=1\n");
  ::chmod((temp / "Version.ini").c_str(), 0444);
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "2", temp / "Version.ini"));
  EXPECT_EQ("[S]\nk=1\n", temp.Read("Version.ini"));
  EXPECT_EQ("1", Read(temp / "Version.ini", "S", "k"));

  std::filesystem::create_directory(temp / "locked");
  ::chmod((temp / "locked").c_str(), 0555);
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "2", temp / "locked/Version.ini"));
}

// A link under the name is replaced; the lines of the file behind it are
// kept only when that file belongs to the link's owner.
TEST(ProfileWriteTest, TakesNoLinesFromAnotherUsersFileBehindALink) {
  TempFolder temp;
  temp.Write("shared.ini", "[S]\nold=1\n");
  std::filesystem::create_symlink(temp / "shared.ini", temp / "Version.ini");
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", temp / "Version.ini"));
  EXPECT_EQ("[S]\r\nold=1\r\nk=2\r\n", temp.Read("Version.ini"));
  EXPECT_EQ("[S]\nold=1\n", temp.Read("shared.ini"));

  if (::geteuid() != 0) GTEST_SKIP() << "a link of another user takes root to make";
  temp.Write("secret", "[S]\npassword=hunter2\n");
  std::filesystem::create_symlink(temp / "secret", temp / "Planted.ini");
  ASSERT_EQ(0, ::lchown((temp / "Planted.ini").c_str(), 4242, 4242));
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", temp / "Planted.ini"));
  EXPECT_EQ("[S]\r\nk=2\r\n", temp.Read("Planted.ini"));
}

TEST(ProfileWriteTest, RefusesTextThatWouldBreakTheLines) {
  TempFolder temp;
  temp.Write("Version.ini", "[S]\nk=1\n");
  const std::string file = temp / "Version.ini";
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "2\r\n[Evil]", file));
  EXPECT_FALSE(WritePrivateProfileString("S]x", "k", "2", file));
  EXPECT_FALSE(WritePrivateProfileString("S", "a=b", "2", file));
  EXPECT_FALSE(WritePrivateProfileString("S", "  ", "2", file));
  EXPECT_FALSE(WritePrivateProfileString("S", ";k", "2", file));
  EXPECT_FALSE(WritePrivateProfileString("S", std::string("k\0x", 3), "2", file));
  EXPECT_EQ("[S]\nk=1\n", temp.Read("Version.ini"));
  EXPECT_TRUE(WritePrivateProfileString("S", "k", "a=b \"c\"", file));
  EXPECT_EQ("a=b \"c\"", Read(file, "S", "k"));
}
