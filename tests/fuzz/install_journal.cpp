// Fuzz target: what the updater reads back from its own files in the
// program folder, which anyone who may write that folder can change: the
// install journal (read, then recovered from) and the accepted catalogue
// serial.  A journal that is read names only paths inside the program
// folder and survives being written and read again; recovery never touches
// anything outside the program folder; every failure is one of the
// program's own errors.
//
// Input: the journal's bytes, the line "####", the serial file's bytes.  In
// the journal's bytes "@M" stands for the identity (device, inode, birth) of
// the scratch tree's module folder, which no input could know, so that
// recovery gets past the folder's check and its steps are explored too.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ScratchFolder.h"
#include "engine/AcceptedSerial.h"
#include "engine/FolderInstall.h"
#include "engine/InstallJournal.h"
#include "platform/ContainedFolder.h"
#include "util/Errors.h"

namespace {

constexpr std::string_view kPartSeparator = "\n####\n";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "install_journal: %s\n", what.c_str());
  std::abort();
}

// The scratch folder holds the program folder "Updater/", a module folder
// below it, and beside it a file that recovery must never touch, whatever
// the journal names.
struct TTree {
  std::string Root = FuzzScratchFolder();
  std::string ProgramFolder = Root + "Updater/";
  std::string Outside = Root + "Outside.dll";
  TTree() {
    ::mkdir(ProgramFolder.c_str(), 0755);
    ::mkdir((ProgramFolder + "M").c_str(), 0755);
  }
};

// The journal's bytes with "@M" replaced by the module folder's identity.
std::string WithModuleIdentity(const TTree& tree, std::string_view bytes) {
  const platform::TFolderStamp identity = platform::FolderStampOf(tree.ProgramFolder + "M");
  const std::string text = std::to_string(identity.Device) + " " + std::to_string(identity.Inode) +
                           " " + std::to_string(identity.Born);
  std::string journal(bytes);
  for (size_t at = 0; (at = journal.find("@M", at)) != std::string::npos; at += text.size())
    journal.replace(at, 2, text);
  return journal;
}

void ExpectOutsideUntouched(const TTree& tree) {
  struct stat info;
  if (::stat(tree.Outside.c_str(), &info) != 0 || info.st_size != 4)
    Fail("recovery touched a file outside the program folder");
}

void CheckJournal(const TTree& tree, const engine::TInstallJournal& journal) {
  if (!engine::Journallable(tree.ProgramFolder, journal)) Fail("read a journal it would not write");
  engine::WriteInstallJournal(tree.ProgramFolder, journal);
  const auto again = engine::ReadInstallJournal(tree.ProgramFolder);
  if (!again || again->Phase != journal.Phase || again->StagedName != journal.StagedName ||
      again->CompanionName != journal.CompanionName || again->Folder != journal.Folder ||
      again->FolderStamp != journal.FolderStamp || again->TargetName != journal.TargetName ||
      again->AsideName != journal.AsideName || again->ModuleName != journal.ModuleName ||
      again->ComponentKey != journal.ComponentKey ||
      again->AvailableVersion != journal.AvailableVersion)
    Fail("journal changed by a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TTree tree;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find(kPartSeparator);
  const std::string journalBytes = WithModuleIdentity(tree, input.substr(0, cut));
  const std::string_view serialBytes = cut == std::string_view::npos
                                           ? std::string_view()
                                           : input.substr(cut + kPartSeparator.size());

  WriteFuzzFile(tree.Outside, "mine", 4);
  const std::string journalPath = engine::InstallJournalPath(tree.ProgramFolder);
  try {
    WriteFuzzFile(journalPath, journalBytes.data(), journalBytes.size());
    if (const auto journal = engine::ReadInstallJournal(tree.ProgramFolder))
      CheckJournal(tree, *journal);
    WriteFuzzFile(journalPath, journalBytes.data(), journalBytes.size());
    (void)engine::RecoverInterruptedInstall(tree.ProgramFolder);
  } catch (const Exception&) {
  }
  ExpectOutsideUntouched(tree);
  std::remove(journalPath.c_str());

  WriteFuzzFile(tree.ProgramFolder + engine::kAcceptedSerialFileName, serialBytes.data(),
                serialBytes.size());
  try {
    const engine::TAcceptedSerial serial = engine::ReadAcceptedSerial(tree.ProgramFolder);
    engine::RecordAcceptedSerial(tree.ProgramFolder, serial);
    const engine::TAcceptedSerial again = engine::ReadAcceptedSerial(tree.ProgramFolder);
    if (again.Serial != serial.Serial || again.Keys != serial.Keys)
      Fail("serial changed by a round trip");
  } catch (const Exception&) {
  }
  return 0;
}
