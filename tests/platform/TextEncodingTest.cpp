#include <gtest/gtest.h>

#include "platform/TextEncoding.h"

using namespace platform;

TEST(TextEncodingTest, AcceptsOnlyWellFormedUtf8) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));           // a Windows-1252 letter
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
}

TEST(TextEncodingTest, ConvertsWindows1252) {
  EXPECT_EQ("a\xE2\x82\xAC\xC3\xA9\xC5\xB8\xC2\x81", Cp1252ToUtf8("a\x80\xE9\x9F\x81"));
  EXPECT_EQ("\xC3\xBF", Cp1252ToUtf8("\xFF"));
}

TEST(TextEncodingTest, CountsAndCutsUtf16Units) {
  const std::string text = "a\xC3\xA9\xF0\x9F\x98\x80z";  // a, é, one astral character, z
  EXPECT_EQ(5u, Utf16Length(text));
  EXPECT_EQ("a\xC3\xA9", Utf16Prefix(text, 3));  // the astral character needs two places
  EXPECT_EQ("a\xC3\xA9\xF0\x9F\x98\x80", Utf16Prefix(text, 4));
  EXPECT_EQ(text, Utf16Prefix(text, 99));
  EXPECT_EQ("", Utf16Prefix(text, 0));
}

TEST(TextEncodingTest, FoldsLetterCase) {
  EXPECT_EQ("report.dll", FoldCase("REPORT.Dll"));
  EXPECT_EQ("\xC3\xA4rger \xC3\x97", FoldCase("\xC3\x84RGER \xC3\x97"));  // Ä folds, × stays
  EXPECT_EQ("\xC5\x82\xC3\xBF", FoldCase("\xC5\x81\xC5\xB8"));            // Ł, Ÿ
  EXPECT_EQ("\xD0\xB0\xD1\x91", FoldCase("\xD0\x90\xD0\x81"));            // А, Ё
  EXPECT_EQ("x\xFF", FoldCase("X\xFF")) << "bytes that are no UTF-8 stay";
  EXPECT_TRUE(SameTextIgnoringCase("Version.INI", "version.ini"));
  EXPECT_FALSE(SameTextIgnoringCase("Version.ini", "Version.in"));
}
