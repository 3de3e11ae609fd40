// The install journal's reader holds a journal to the rules its writer keeps.
#include "engine/InstallJournal.h"

#include <gtest/gtest.h>

#include "StagedInstallFixture.h"

namespace {

TEST(InstallJournalTest, ALineBreakInsideALineIsNoJournalOfOurs) {
  TTempTree tree;
  engine::TInstallJournal journal;
  journal.StagedFile = tree.Path("Lib.dll.{F}");
  journal.CompanionFile = tree.Path("Lib.dll.V.2.0.000");
  journal.Target = tree.Path("A/Lib.dll");
  journal.ModuleName = "ModA";
  journal.ComponentKey = "Main";
  journal.AvailableVersion = "2.0.000";
  engine::WriteInstallJournal(tree.Root, journal);
  const auto read = engine::ReadInstallJournal(tree.Root);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Target, journal.Target);

  journal.Target = tree.Path("A/\nLib.dll");
  EXPECT_FALSE(engine::Journallable(tree.Root, journal));
  const std::string text = tree.Read("InstallJournal.{J}");
  for (const char* cut : {"\n", "\r"}) {
    std::string forged = text;
    forged.insert(forged.find("A/Lib.dll") + 2, cut);
    tree.Write("InstallJournal.{J}", forged);
    EXPECT_FALSE(engine::ReadInstallJournal(tree.Root)) << static_cast<int>(cut[0]);
  }
}

}  // namespace
