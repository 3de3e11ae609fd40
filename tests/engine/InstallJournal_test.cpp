// The install journal's reader holds a journal to the rules its writer keeps.
#include "engine/InstallJournal.h"

#include <gtest/gtest.h>

#include "StagedInstallFixture.h"
#include "engine/FolderInstall.h"

namespace {

TEST(InstallJournalTest, ALineBreakInsideALineIsNoJournalOfOurs) {
  TTempTree tree;
  engine::TInstallJournal journal = JournalOfInstall(tree, "Lib.dll", "A", "2.0.000");
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

// Recovery renames and deletes what the journal names, and anyone in the
// group may write the journal: one pointing out of the program folder is
// discarded without touching anything.
TEST(InstallJournalTest, AForgedPathOutOfTheProgramFolderTouchesNothing) {
  TTempTree tree;
  const std::string programFolder = tree.Path("Updater/");
  tree.Write("Updater/M/ModA.exe", "program");
  tree.Write("Outside/Lib.dll", "mine");
  tree.Write("Outside/precious", "mine");
  for (const std::string& outside : {std::string("../Outside/"), tree.Path("Outside/")}) {
    tree.Write("Updater/InstallJournal.{J}",
               "Quorvin install journal 1\r\nreplacing\r\nLib.dll.{F}\r\nLib.dll.V.2.0.000\r\n" +
                   outside + "Lib.dll\r\n" + outside + "precious\r\nModA\r\nMain\r\n2.0.000\r\n");
    EXPECT_FALSE(engine::ReadInstallJournal(programFolder)) << outside;
    EXPECT_TRUE(engine::RecoverInterruptedInstall(programFolder));
    EXPECT_EQ(tree.Listing("Outside"), "Lib.dll precious");
    EXPECT_EQ(tree.Read("Outside/Lib.dll") + tree.Read("Outside/precious"), "minemine");
    EXPECT_EQ(tree.Listing("Updater"), "M");
  }
  engine::TInstallJournal journal;
  journal.StagedFile = programFolder + "Lib.dll.{F}";
  journal.Target = programFolder + "M/../../Outside/Lib.dll";
  EXPECT_FALSE(engine::Journallable(programFolder, journal));
}

}  // namespace
