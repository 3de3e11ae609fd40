// A companion file is read back as it was written.
#include "engine/CompanionFile.h"

#include <gtest/gtest.h>

#include "StagedInstallFixture.h"

namespace {

TEST(CompanionFileTest, WhatIsWrittenIsReadBack) {
  TTempTree tree;
  const std::string path = tree.Path("App.exe.V.2.0");
  // A module name beginning with U+FEFF, which the reader would otherwise
  // take for a byte order mark.
  for (const std::string module : {"ModA", "\xEF\xBB\xBFModA", "\xC3\x84rger"}) {
    engine::WriteCompanionFile(path, {module, "Main", "2.0", "Bin\\App.exe"});
    const TStringList lines = engine::ReadCompanionLines(path);
    ASSERT_EQ(lines.Count(), 4) << module;
    EXPECT_EQ(lines[0], module);
    EXPECT_EQ(lines[3], "Bin\\App.exe");
  }
}

}  // namespace
