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
  EXPECT_EQ(read->Folder, journal.Folder);
  EXPECT_EQ(read->FolderStamp, journal.FolderStamp);
  EXPECT_EQ(read->TargetName, journal.TargetName);

  journal.TargetName = "\nLib.dll";
  EXPECT_FALSE(engine::Journallable(tree.Root, journal));
  const std::string text = tree.Read("InstallJournal.{J}");
  for (const char* cut : {"\n", "\r"}) {
    std::string forged = text;
    forged.insert(forged.find("\r\nLib.dll\r\n") + 4, cut);
    tree.Write("InstallJournal.{J}", forged);
    EXPECT_FALSE(engine::ReadInstallJournal(tree.Root)) << static_cast<int>(cut[0]);
  }
}

// A journal's text with the given folder and names, as an earlier run
// might have written it.
std::string JournalText(const std::string& folder, const std::string& identity,
                        const std::string& target, const std::string& aside) {
  return "Quorvin install journal 2\r\nreplacing\r\nLib.dll.{F}\r\nLib.dll.V.2.0.000\r\n" + folder +
         "\r\n" + identity + "\r\n" + target + "\r\n" + aside + "\r\nModA\r\nMain\r\n2.0.000\r\n";
}

// Recovery renames and deletes what the journal names, and anyone in the
// group may write the journal: one whose folder lies out of the program
// folder, or whose names are more than bare names, is discarded without
// touching anything; so is one of the first format, which named paths.
TEST(InstallJournalTest, AForgedPathOutOfTheProgramFolderTouchesNothing) {
  TTempTree tree;
  const std::string programFolder = tree.Path("Updater/");
  tree.Write("Updater/M/ModA.exe", "program");
  tree.Write("Outside/Lib.dll", "mine");
  tree.Write("Outside/precious", "mine");
  const platform::TFolderStamp outside = platform::FolderStampOf(tree.Path("Outside"));
  const std::string identity = std::to_string(outside.Device) + " " +
                               std::to_string(outside.Inode) + " " + std::to_string(outside.Born);
  for (const std::string& forged :
       {JournalText("../Outside/", identity, "Lib.dll", "precious"),
        JournalText(tree.Path("Outside/"), identity, "Lib.dll", "precious"),
        JournalText("M/../../Outside/", identity, "Lib.dll", "precious"),
        JournalText("M/", identity, "../../Outside/Lib.dll", ""),
        JournalText("M/", identity, "Lib.dll", "../../Outside/precious"),
        JournalText("M/", "1 2", "Lib.dll", ""), JournalText("M/", "1 2 x", "Lib.dll", ""),
        std::string("Quorvin install journal 1\r\nrolling back\r\nLib.dll.{F}\r\n\r\n"
                    "../Outside/precious\r\n\r\nModA\r\nMain\r\n2.0.000\r\n")}) {
    tree.Write("Updater/InstallJournal.{J}", forged);
    EXPECT_FALSE(engine::ReadInstallJournal(programFolder)) << forged;
    EXPECT_TRUE(engine::RecoverInterruptedInstall(programFolder));
    EXPECT_EQ(tree.Listing("Outside"), "Lib.dll precious");
    EXPECT_EQ(tree.Read("Outside/Lib.dll") + tree.Read("Outside/precious"), "minemine");
    EXPECT_EQ(tree.Listing("Updater"), "M");
  }
  tree.Write("Updater/InstallJournal.{J}",
             JournalText("M/", identity, "Lib.dll", "") + std::string(64 * 1024, '\n'));
  EXPECT_FALSE(engine::ReadInstallJournal(programFolder)) << "larger than any journal";
  EXPECT_TRUE(engine::RecoverInterruptedInstall(programFolder));
  EXPECT_EQ(tree.Listing("Updater"), "M");

  engine::TInstallJournal journal = JournalOfInstall(tree, "Lib.dll", "Updater/M", "2.0.000");
  EXPECT_TRUE(engine::Journallable(programFolder, journal));
  journal.Folder = programFolder + "M/../../Outside/";
  EXPECT_FALSE(engine::Journallable(programFolder, journal));
}

}  // namespace
