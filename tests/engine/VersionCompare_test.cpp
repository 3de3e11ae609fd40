// The version comparison: only "greater" decides, components read lazily.
#include "engine/VersionCompare.h"

#include <gtest/gtest.h>

#include "util/QuorvinSI.h"

namespace {

bool Newer(const std::string& available, const std::string& installed) {
  TQuorvinSI offered, present;
  offered.SetDelimiter('.');
  present.SetDelimiter('.');
  offered.SetSourceString(available);
  present.SetSourceString(installed);
  return AvailableIsNewer(offered.FieldList(), present.FieldList());
}

TEST(VersionCompare, LaterComponentsAreNeitherReadNorRequired) {
  EXPECT_TRUE(Newer("1.3.000", "1.2"));       // decided at the minor component
  EXPECT_TRUE(Newer("2", "1.junk.junk"));     // decided at the major component
  EXPECT_FALSE(Newer("1.2.3.4", "1.2.3.9"));  // a fourth component is ignored
}

TEST(VersionCompare, MissingComponentReadRaisesTheIndexError) {
  EXPECT_THROW(Newer("1.2.000", "1.2"), EStringListError);
  EXPECT_THROW(Newer("1.2.001", "1.2"), EStringListError);
  EXPECT_THROW(Newer("1.2", "1.2.000"), EStringListError);
  EXPECT_THROW(Newer("", "1.0.001"), EStringListError);
}

TEST(VersionCompare, UnconvertibleComponentRaisesTheConversionError) {
  EXPECT_THROW(Newer("XXX", "1.0.001"), EConvertError);
  // The trailing blank of '1.2.3 ' fails once the build component is reached.
  EXPECT_THROW(Newer("1.2.3 ", "1.2.3"), EConvertError);
  try {
    Newer("1.0.1a", "1.0.001");
    FAIL() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "''1a'' is not a valid integer value");
  }
}

TEST(VersionCompare, OfferedComponentIsConvertedBeforeTheInstalledOne) {
  try {
    Newer("A", "B");
    FAIL() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "''A'' is not a valid integer value");
  }
}

}  // namespace
