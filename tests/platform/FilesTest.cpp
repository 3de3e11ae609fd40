#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Files.h"
#include "platform/TempFolder.h"
#include "util/Errors.h"

using namespace platform;

namespace {

std::vector<std::string> Names(const std::vector<FolderEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<FolderEntry> entries;
  EXPECT_TRUE(ListFolder(folder, "*", entries));
  return Names(entries);
}

}  // namespace

TEST(ProgramFolderTest, IsTheExecutablesFolderUnlessOverridden) {
  const std::string real = ProgramFolder();
  ASSERT_FALSE(real.empty());
  EXPECT_EQ('/', real.back());
  EXPECT_TRUE(FolderExists(real));
  EXPECT_TRUE(FileExists(real + "test_platform"));

  SetProgramFolderForTesting("/tmp/somewhere");
  EXPECT_EQ("/tmp/somewhere/", ProgramFolder());
  SetProgramFolderForTesting("");
  EXPECT_EQ(real, ProgramFolder());
}

TEST(ResolvePathTest, PrefersExactThenIgnoresCasePerComponent) {
  TempFolder temp;
  temp.Write("Apps/Quorvin/Version.ini", "x");
  temp.Write("Apps/Quorvin/version.INI", "y");

  EXPECT_EQ(temp / "Apps/Quorvin/Version.ini", ResolvePath(temp / "Apps/Quorvin/Version.ini"));
  EXPECT_EQ(temp / "Apps/Quorvin/version.INI", ResolvePath(temp / "Apps/Quorvin/version.INI"));
  // No exact match: the smallest name that matches without regard to case.
  EXPECT_EQ(temp / "Apps/Quorvin/Version.ini", ResolvePath(temp / "APPS/quorvin/VERSION.ini"));
  EXPECT_EQ(temp / "Apps/Quorvin/", ResolvePath(temp / "apps/QUORVIN/"));
  // Missing components, and everything after them, stay as given.
  EXPECT_EQ(temp / "Apps/Missing/VERSION.ini", ResolvePath(temp / "apps/Missing/VERSION.ini"));
  EXPECT_EQ("", ResolvePath(""));
}

TEST(FileQueriesTest, TellFilesFromFoldersWithoutRegardToCase) {
  TempFolder temp;
  temp.Write("Sub/Report.DLL", "12345");

  EXPECT_TRUE(FileExists(temp / "sub/report.dll"));
  EXPECT_FALSE(FileExists(temp / "Sub"));
  EXPECT_FALSE(FileExists(temp / "Sub/Other.dll"));
  EXPECT_TRUE(FolderExists(temp / "SUB"));
  EXPECT_FALSE(FolderExists(temp / "Sub/Report.DLL"));
  EXPECT_EQ(5, FileSize(temp / "SUB/REPORT.dll"));
  EXPECT_EQ(-1, FileSize(temp / "Sub"));
  EXPECT_EQ(-1, FileSize(temp / "nothing"));
}

TEST(ListFolderTest, MatchesPatternsWithoutRegardToCaseAndSkipsDotEntries) {
  TempFolder temp;
  temp.Write("Report.dll.{S}", "abc");
  temp.Write("tool.exe.{s}", "");
  temp.Write("Report.dll.V.2.1.005", "");
  temp.Write("README", "");
  std::filesystem::create_directory(temp / "Folder");

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(temp.Path(), "*.{s}", entries));
  EXPECT_EQ((std::vector<std::string>{"Report.dll.{S}", "tool.exe.{s}"}), Names(entries));
  EXPECT_EQ(3u, entries[0].size);
  EXPECT_FALSE(entries[0].isFolder);

  ASSERT_TRUE(ListFolder(temp.Path(), "report.DLL.v.*", entries));
  EXPECT_EQ((std::vector<std::string>{"Report.dll.V.2.1.005"}), Names(entries));

  ASSERT_TRUE(ListFolder(temp.Path(), "*.*", entries));
  EXPECT_EQ(5u, entries.size()) << "*.* also matches names without a dot";
  ASSERT_TRUE(ListFolder(temp.Path(), "F?LDER", entries));
  ASSERT_EQ(1u, entries.size());
  EXPECT_TRUE(entries[0].isFolder);

  for (const auto& name : NamesIn(temp.Path())) {
    EXPECT_NE(".", name);
    EXPECT_NE("..", name);
  }
  EXPECT_FALSE(ListFolder(temp / "missing", "*", entries));
  EXPECT_TRUE(entries.empty());
}

TEST(ListFolderTest, HostilePatternEndsQuickly) {
  TempFolder temp;
  temp.Write(std::string(200, 'a'), "");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(temp.Path(), "*a*a*a*a*a*a*a*a*a*a*a*a*b", entries));
  EXPECT_TRUE(entries.empty());
}

TEST(DeleteFileTest, RemovesFilesFoundWithoutRegardToCaseButNoFolders) {
  TempFolder temp;
  temp.Write("AllFiles.ini", "x");
  std::filesystem::create_directory(temp / "Folder");
  EXPECT_TRUE(DeleteFile(temp / "allfiles.ini"));
  EXPECT_FALSE(temp.Has("AllFiles.ini"));
  EXPECT_FALSE(DeleteFile(temp / "allfiles.ini"));
  EXPECT_FALSE(DeleteFile(temp / "Folder"));
  EXPECT_TRUE(temp.Has("Folder"));
}

TEST(MoveFileNoReplaceTest, MovesAndNeverReplaces) {
  TempFolder temp;
  temp.Write("Report.dll.{F}", "new");
  temp.Write("App/Report.dll", "old");

  EXPECT_FALSE(MoveFileNoReplace(temp / "report.dll.{f}", temp / "App/Report.dll"));
  EXPECT_EQ(EEXIST, errno);
  EXPECT_FALSE(MoveFileNoReplace(temp / "Report.dll.{F}", temp / "APP/REPORT.DLL"))
      << "a target differing only in case is the same file";
  EXPECT_EQ("old", temp.Read("App/Report.dll"));
  EXPECT_EQ("new", temp.Read("Report.dll.{F}"));

  ASSERT_TRUE(DeleteFile(temp / "app/report.dll"));
  EXPECT_TRUE(MoveFileNoReplace(temp / "report.dll.{f}", temp / "app/Report.dll"));
  EXPECT_EQ("new", temp.Read("App/Report.dll"));
  EXPECT_FALSE(temp.Has("Report.dll.{F}"));

  EXPECT_FALSE(MoveFileNoReplace(temp / "gone", temp / "App/gone"));
  EXPECT_EQ(ENOENT, errno);
}

TEST(MoveFileNoReplaceTest, CopiesAcrossFileSystems) {
  struct stat shm, tmp;
  TempFolder temp;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(temp.Path().c_str(), &tmp) != 0 ||
      shm.st_dev == tmp.st_dev || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second writable file system";
  const std::string source = "/dev/shm/quorvin-move-" + std::to_string(::getpid());
  { std::ofstream(source, std::ios::binary) << "payload"; }
  // Bits the umask would drop, and (where allowed) another owner: the copy
  // keeps them as a rename would.
  ::chmod(source.c_str(), 0775);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, ::chown(source.c_str(), 4321, 4321));
  }
  temp.Write("taken", "keep");
  EXPECT_FALSE(MoveFileNoReplace(source, temp / "Taken"));
  EXPECT_EQ("keep", temp.Read("taken"));
  EXPECT_TRUE(MoveFileNoReplace(source, temp / "moved"));
  EXPECT_EQ("payload", temp.Read("moved"));
  EXPECT_FALSE(std::filesystem::exists(source));
  struct stat moved;
  ASSERT_EQ(0, ::stat((temp / "moved").c_str(), &moved));
  EXPECT_EQ(0775u, moved.st_mode & 07777);
  if (root) {
    EXPECT_EQ(4321u, moved.st_uid);
  }
}

TEST(ExactNameTest, ANameDifferingOnlyInCaseIsAnotherFile) {
  TempFolder temp;
  temp.Write("lib.dll", "mine");
  temp.Write("new", "new");
  EXPECT_TRUE(FileExistsExact(temp / "lib.dll"));
  EXPECT_FALSE(FileExistsExact(temp / "LIB.DLL"));
  EXPECT_FALSE(DeleteFileExact(temp / "LIB.DLL"));
  EXPECT_TRUE(MoveFileNoReplaceExact(temp / "new", temp / "LIB.DLL"));
  EXPECT_FALSE(MoveFileNoReplaceExact(temp / "LIB.DLL", temp / "lib.dll"));
  EXPECT_EQ("mine", temp.Read("lib.dll"));
  EXPECT_EQ("new", temp.Read("LIB.DLL"));
  EXPECT_TRUE(DeleteFileExact(temp / "LIB.DLL"));
  EXPECT_EQ((std::vector<std::string>{"lib.dll"}), NamesIn(temp.Path()));
}

TEST(CopyOwnerAndModeTest, TakesOverEveryPermissionBit) {
  TempFolder temp;
  temp.Write("old", "");
  temp.Write("new", "");
  ::chmod((temp / "old").c_str(), 04750);
  ASSERT_TRUE(CopyOwnerAndMode(temp / "old", temp / "new"));
  struct stat info;
  ASSERT_EQ(0, ::stat((temp / "new").c_str(), &info));
  EXPECT_EQ(04750u, info.st_mode & 07777);
  EXPECT_FALSE(CopyOwnerAndMode(temp / "missing", temp / "new"));
}

// Another member of a shared folder may plant links under either name.
TEST(CopyOwnerAndModeTest, FollowsNoLink) {
  TempFolder temp;
  temp.Write("old", "");
  temp.Write("new", "");
  temp.Write("elsewhere", "");
  ::chmod((temp / "old").c_str(), 0755);
  ::chmod((temp / "new").c_str(), 0640);
  ::chmod((temp / "elsewhere").c_str(), 0600);
  std::filesystem::create_symlink(temp / "elsewhere", temp / "staged");
  errno = 0;
  EXPECT_FALSE(CopyOwnerAndMode(temp / "old", temp / "staged"));
  EXPECT_EQ(ELOOP, errno);
  std::filesystem::create_symlink(temp / "old", temp / "old-link");
  EXPECT_TRUE(CopyOwnerAndMode(temp / "old-link", temp / "new"));
  struct stat info;
  ASSERT_EQ(0, ::stat((temp / "elsewhere").c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 07777);
  ASSERT_EQ(0, ::stat((temp / "new").c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 07777) << "taken from no link";
}

TEST(UnfinishedWriteTest, OnlyOurMarkedTemporaryNamesCount) {
  EXPECT_TRUE(IsUnfinishedWrite(".allfiles.ini.{T}4242_0"));
  EXPECT_TRUE(IsUnfinishedWrite(".version.INI.{T}17_3", "Version.ini"));
  EXPECT_FALSE(IsUnfinishedWrite(".Version.ini.{T}17_3", "Report.dll"));
  for (const char* user : {".notes.tmp4242_0", ".bashrc", "x.{T}1_2", ".{T}1_2", ".a.{T}1_",
                           ".a.{T}_2", ".a.{T}1_2x", ".a.{T}1-2"})
    EXPECT_FALSE(IsUnfinishedWrite(user)) << user;
}

TEST(WriteWholeFileTest, CreatesAndReplacesWithoutLeftovers) {
  TempFolder temp;
  WriteWholeFile(temp / "allfiles.ini", "first", 5);
  EXPECT_EQ("first", temp.Read("allfiles.ini"));
  WriteWholeFile(temp / "AllFiles.INI", "second", 6);
  EXPECT_EQ("second", temp.Read("allfiles.ini")) << "the existing name is kept";
  EXPECT_EQ((std::vector<std::string>{"allfiles.ini"}), NamesIn(temp.Path()));
  EXPECT_EQ("second", ReadWholeFile(temp / "ALLFILES.ini"));
}

TEST(WriteWholeFileTest, KeepsPermissions) {
  TempFolder temp;
  temp.Write("Version.ini", "old");
  ::chmod((temp / "Version.ini").c_str(), 0640);
  WriteWholeFile(temp / "Version.ini", "new", 3);
  EXPECT_EQ("new", temp.Read("Version.ini"));
  struct stat info;
  ASSERT_EQ(0, ::stat((temp / "Version.ini").c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 07777);
}

// A link planted under the name in a folder others may write to must not
// send our bytes to the file it points at.
TEST(WriteWholeFileTest, ReplacesALinkAndNeverWritesThroughIt) {
  TempFolder temp;
  temp.Write("elsewhere", "theirs");
  ::chmod((temp / "elsewhere").c_str(), 0600);
  std::filesystem::create_symlink(temp / "elsewhere", temp / "Version.ini");
  WriteWholeFile(temp / "version.INI", "new", 3);
  EXPECT_FALSE(std::filesystem::is_symlink(temp / "Version.ini"));
  EXPECT_EQ("new", temp.Read("Version.ini"));
  EXPECT_EQ("theirs", temp.Read("elsewhere"));

  std::filesystem::create_symlink(temp / "elsewhere", temp / "Report.dll.{S}");
  std::string opened;
  try {
    OpenForReplacing(temp / "Report.dll.{S}", opened);
    FAIL() << "opened through the link";
  } catch (const EFCreateError& error) {
    EXPECT_EQ("Cannot create file \"" + (temp / "Report.dll.{S}") +
                  "\". Too many levels of symbolic links",
              error.Message());
  }
  EXPECT_EQ("theirs", temp.Read("elsewhere"));
  struct stat info;
  ASSERT_EQ(0, ::stat((temp / "elsewhere").c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 07777);
}

TEST(WriteWholeFileTest, FailuresRaiseTheCreateErrorAndKeepTheOldFile) {
  TempFolder temp;
  const std::string missing = temp / "missing/file.bin";
  try {
    WriteWholeFile(missing, "x", 1);
    FAIL() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ("Cannot create file \"" + missing + "\". No such file or directory", error.Message());
  }

  // No write permission bit at all is read-only for every user, root too.
  temp.Write("Version.ini", "kept");
  ::chmod((temp / "Version.ini").c_str(), 0444);
  EXPECT_THROW(WriteWholeFile(temp / "Version.ini", "lost", 4), EFCreateError);
  EXPECT_EQ("kept", temp.Read("Version.ini"));

  std::filesystem::create_directory(temp / "locked");
  ::chmod((temp / "locked").c_str(), 0555);
  EXPECT_THROW(WriteWholeFile(temp / "locked/new.bin", "x", 1), EFCreateError);
  EXPECT_THROW(WriteWholeFile(temp.Path(), "x", 1), EFCreateError);
  EXPECT_EQ((std::vector<std::string>{"locked", "Version.ini"}), NamesIn(temp.Path()));
}

TEST(ReadWholeFileTest, MissingFilesAndFoldersRaiseTheOpenError) {
  TempFolder temp;
  try {
    ReadWholeFile(temp / "Report.dll.V.1.0.001");
    FAIL() << "no error";
  } catch (const EFOpenError& error) {
    EXPECT_EQ(
        "Cannot open file \"" + (temp / "Report.dll.V.1.0.001") + "\". No such file or directory",
        error.Message());
  }
  EXPECT_THROW(ReadWholeFile(temp.Path()), EFOpenError);
  temp.Write("empty", "");
  EXPECT_EQ("", ReadWholeFile(temp / "EMPTY"));
}

// A FIFO would make the open wait for a writer, a device could be endless:
// neither is read, and the refusal comes at once.  Read in a child process
// that a deadline ends, so a read that hangs fails the test instead of
// hanging it.
TEST(ReadWholeFileTest, AnythingButARegularFileIsRefusedWithoutWaiting) {
  TempFolder temp;
  ASSERT_EQ(0, ::mkfifo((temp / "Report.dll.V.1.0.001").c_str(), 0644));
  for (const std::string& path : {temp / "Report.dll.V.1.0.001", std::string("/dev/zero")}) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::alarm(60);
      try {
        ReadWholeFile(path);
      } catch (const EFOpenError& error) {
        ::_exit(error.Message() == "Cannot open file \"" + path + "\". Invalid argument" ? 0 : 2);
      }
      ::_exit(1);
    }
    int status = -1;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << path << " " << status;
  }
}
