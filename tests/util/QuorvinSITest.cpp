#include <gtest/gtest.h>

#include "util/InformationBox.h"
#include "util/QuorvinSI.h"

namespace {

std::vector<std::string> Split(char delimiter, const std::string& text) {
  TQuorvinSI splitter;
  splitter.SetDelimiter(delimiter);
  splitter.SetSourceString(text);
  return splitter.FieldList().Items();
}

using Fields = std::vector<std::string>;

}  // namespace

TEST(QuorvinSITest, SplitsTheUpdatersValues) {
  EXPECT_EQ((Fields{"1", "0", "001"}), Split('.', "1.0.001"));
  EXPECT_EQ((Fields{"XXX", "1.0.001"}), Split(',', "XXX,1.0.001"));
  EXPECT_EQ((Fields{"3", "7", "12"}), Split('|', "3|7|12"));
  EXPECT_EQ((Fields{"5"}), Split('|', "5"));
}

TEST(QuorvinSITest, KeepsBlanksAndEmptyFieldsButNotOneTrailingSeparator) {
  EXPECT_EQ((Fields{" a "}), Split(',', " a "));
  EXPECT_EQ((Fields{" a ", " b "}), Split(',', " a , b "));
  EXPECT_EQ((Fields{"a", "", "b"}), Split(',', "a,,b"));
  EXPECT_EQ((Fields{"", "a"}), Split(',', ",a"));
  EXPECT_EQ((Fields{"a", "b"}), Split(',', "a,b,"));
  EXPECT_EQ((Fields{"a", ""}), Split(',', "a,,"));
  EXPECT_EQ((Fields{""}), Split(',', ","));
  EXPECT_EQ((Fields{"\"a", "b\""}), Split(',', "\"a,b\"")) << "no quoting";
  EXPECT_EQ((Fields{"Grüße", "ß"}), Split(',', "Grüße,ß"));
}

TEST(QuorvinSITest, BlankTextGivesNoFieldsButReadsBack) {
  TQuorvinSI splitter;
  splitter.SetDelimiter(',');
  splitter.SetSourceString("a,b");
  splitter.SetSourceString("   ");
  EXPECT_EQ(0, splitter.FieldList().Count());
  EXPECT_EQ("   ", splitter.SourceString());
  splitter.SetSourceString("\t\r\n");
  EXPECT_EQ(0, splitter.FieldList().Count());
  splitter.SetSourceString("");
  EXPECT_EQ(0, splitter.FieldList().Count());
  EXPECT_THROW(splitter.FieldList()[0], EStringListError);
}

TEST(QuorvinSITest, NewDelimiterResplitsAtOnceAndTheSameOneChangesNothing) {
  TQuorvinSI splitter;
  EXPECT_EQ('\0', splitter.Delimiter());
  splitter.SetSourceString("a.b,c");
  EXPECT_EQ((Fields{"a.b,c"}), splitter.FieldList().Items());
  splitter.SetDelimiter(',');
  EXPECT_EQ((Fields{"a.b", "c"}), splitter.FieldList().Items());
  splitter.SetDelimiter(',');
  EXPECT_EQ((Fields{"a.b", "c"}), splitter.FieldList().Items());
  splitter.SetDelimiter('.');
  EXPECT_EQ((Fields{"a", "b,c"}), splitter.FieldList().Items());
  EXPECT_EQ("a.b,c", splitter.SourceString());
}

TEST(QuorvinSITest, GetSourceStringJoinsTheFieldsAgain) {
  TQuorvinSI splitter;
  splitter.SetDelimiter(',');
  EXPECT_EQ("", splitter.GetSourceString());
  splitter.SetSourceString("a,,");
  EXPECT_EQ("a,", splitter.GetSourceString());
  splitter.SetSourceString(",a");
  EXPECT_EQ("a", splitter.GetSourceString());
  splitter.SetSourceString("a,,b");
  EXPECT_EQ("a,,b", splitter.GetSourceString());
}

TEST(QuorvinSITest, FieldListIsReadOnly) {
  std::vector<std::string> shown;
  SetInformationBoxHook([&](const std::string& text) { shown.push_back(text); });
  TQuorvinSI splitter;
  splitter.SetDelimiter(',');
  splitter.SetSourceString("a,b");
  TStringList other;
  other.Add("x");
  splitter.SetFieldList(other);
  splitter.SetFieldList(splitter.FieldList());  // its own list: nothing happens
  SetInformationBoxHook(nullptr);

  EXPECT_EQ((std::vector<std::string>{"Fieldlist is Read-Only"}), shown);
  EXPECT_EQ((Fields{"a", "b"}), splitter.FieldList().Items());
}
