// Which names in the program folder are a bare name's companions.
#include "engine/StagingNames.h"

#include <gtest/gtest.h>

namespace {

using engine::CompanionName;
using engine::IsCompanionOf;

TEST(CompanionNameTest, ACompanionBelongsToOneBareNameOnly) {
  EXPECT_TRUE(IsCompanionOf("Lib.V.1.0.3", "Lib"));
  EXPECT_TRUE(IsCompanionOf("LIB.v.1.0.3", "lib"));
  EXPECT_TRUE(IsCompanionOf("Lib.V.dll.V.1.0.3", "Lib.V.dll"));
  EXPECT_TRUE(IsCompanionOf("Lib.V.V.1", "Lib.V"));
  // Another name's staged file, partial download, companion or temporary file.
  for (const char* other : {"Lib.V.dll.{F}", "Lib.V.dll.{s}", "Lib.V.dll.V.1.0.3", "Lib.V.V.1",
                            "Lib.V.1.0.{T}12_0", "Lib.V.", "Lib.V.v.2"})
    EXPECT_FALSE(IsCompanionOf(other, "Lib")) << other;
}

TEST(CompanionNameTest, AnyVersionNamesACompanionOfItsOwnBareName) {
  for (const char* version : {"1.0.001", "", "2.V.1", "v.2", "V.V.V", "1.{F}", "2/../../x", "1.v"})
    EXPECT_TRUE(IsCompanionOf(CompanionName("Lib", version), "Lib")) << version;
  EXPECT_EQ(CompanionName("Report.dll", "2.1.005"), "Report.dll.V.2.1.005");
  EXPECT_EQ(CompanionName("Lib", "2.V.1"), "Lib.V.2._.1");
  EXPECT_FALSE(IsCompanionOf(CompanionName("Lib.V.dll", "1.0.3"), "Lib"));
}

}  // namespace
