#include <gtest/gtest.h>

#include "util/Errors.h"
#include "util/StrToInt.h"

namespace {

std::string ConversionMessage(const std::string& text) {
  try {
    StrToInt(text);
  } catch (const EConvertError& error) {
    return error.Message();
  }
  return "converted";
}

}  // namespace

TEST(StrToIntTest, AcceptsDecimalWithSpacesSignAndLeadingZeros) {
  EXPECT_EQ(1, StrToInt("001"));
  EXPECT_EQ(10, StrToInt("0010"));
  EXPECT_EQ(0, StrToInt("0"));
  EXPECT_EQ(42, StrToInt("   42"));
  EXPECT_EQ(-42, StrToInt("  -42"));
  EXPECT_EQ(42, StrToInt("+42"));
  EXPECT_EQ(7, StrToInt("00000000000000000000007"));
}

TEST(StrToIntTest, AcceptsEveryHexadecimalPrefix) {
  EXPECT_EQ(255, StrToInt("$FF"));
  EXPECT_EQ(255, StrToInt("xff"));
  EXPECT_EQ(255, StrToInt("XfF"));
  EXPECT_EQ(255, StrToInt("0xFF"));
  EXPECT_EQ(255, StrToInt("0X00ff"));
  EXPECT_EQ(-16, StrToInt(" -$10"));
  EXPECT_EQ(16, StrToInt("+0x10"));
  EXPECT_EQ(1, StrToInt("x1"));
}

TEST(StrToIntTest, CoversExactlyTheSigned32BitRange) {
  EXPECT_EQ(2147483647, StrToInt("2147483647"));
  EXPECT_EQ(-2147483647 - 1, StrToInt("-2147483648"));
  EXPECT_EQ(2147483647, StrToInt("$7FFFFFFF"));
  EXPECT_EQ(-2147483647 - 1, StrToInt("-$80000000"));
  EXPECT_THROW(StrToInt("2147483648"), EConvertError);
  EXPECT_THROW(StrToInt("-2147483649"), EConvertError);
  EXPECT_THROW(StrToInt("$80000000"), EConvertError);
  EXPECT_THROW(StrToInt("$FFFFFFFF"), EConvertError);
  EXPECT_THROW(StrToInt("99999999999999999999999"), EConvertError);
}

TEST(StrToIntTest, RejectsEverythingElseNamingTheWholeText) {
  EXPECT_EQ("''1.0.0x'' is not a valid integer value", ConversionMessage("1.0.0x"));
  for (const char* bad : {"", " ", "3 ", "+", "-", "$", "0x", "x", "- 1", "1.5", "1e3", "XXX",
                          "0x-1", "++1", "\t1", "12a", "$G", "1\n"}) {
    EXPECT_EQ(std::string("''") + bad + "'' is not a valid integer value", ConversionMessage(bad))
        << "text: '" << bad << "'";
  }
}
