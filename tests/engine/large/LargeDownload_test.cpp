// Large downloads through the Update button's own path, each case run in a
// process of its own (see tests/CMakeLists.txt): the bodies are generated
// by the server as they are sent, never held by the test.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <fstream>

#include "StagedInstallFixture.h"
#include "engine/DownloadStaging.h"
#include "engine/TransferProgress.h"
#include "platform/Files.h"
#include "support/ScriptedServer.h"

namespace {

// The process's peak resident size, in bytes (VmHWM).
int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

// The byte the server generates at a position of the body.
char GeneratedByte(int64_t position) { return static_cast<char>('a' + position % 26); }

// One module with one component, Big.dat, offered newer.
class LargeDownload : public ::testing::Test {
 protected:
  LargeDownload() {
    rig.ReportTransfers();
    tree.Write("A/ModA.exe", "program");
    tree.Write("A/Big.dat", "old");
    tree.Write("A/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
    rig.Folders({"A"});
    rig.Window.AddRow("ModA,Main,ModA.exe,Big.dat,1.0.001,2.0.000,N,N,0");
    rig.Window.SetRowChecked(0, true);
  }
  // Announces `announced` bytes, sends `sent` of them, then closes.
  void Serve(int64_t announced, int64_t sent) {
    server.AddConnection(
        ConnectionScript()
            .ExpectRequest()
            .Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) + "\r\n\r\n")
            .SendGenerated(static_cast<uint64_t>(sent))
            .Close());
  }
  // The byte at a position of a file, read without reading the rest.
  char ByteAt(const std::string& relative, int64_t position) const {
    std::ifstream file(tree.Path(relative), std::ios::binary);
    file.seekg(position);
    return static_cast<char>(file.get());
  }

  ScriptedServer server;
  TTempTree tree;
  TEngineRig rig{tree.Root, server.Url("/")};
};

constexpr int64_t kMiB = int64_t{1} << 20;

TEST_F(LargeDownload, PeakMemoryDoesNotGrowWithTheFile) {
  constexpr int64_t kSize = 384 * kMiB;
  Serve(kSize, kSize);
  const int64_t before = PeakResidentBytes();
  DownloadTheFiles(rig.Context);
  const int64_t peak = PeakResidentBytes();
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
  EXPECT_EQ(platform::FileSize(tree.Path("A/Big.dat")), kSize);
  EXPECT_EQ(ByteAt("A/Big.dat", kSize - 1), GeneratedByte(kSize - 1));
  // Whatever the process held before, the download adds less than a tenth
  // of what it carried.
  ASSERT_GT(before, 0);
  EXPECT_LT(peak - before, 32 * kMiB) << "peak " << peak / kMiB << " MiB";
}

constexpr int64_t kJustOver4GiB = (int64_t{1} << 32) + 4;

// Free bytes in the folder's file system.
int64_t FreeBytes(const std::string& folder) {
  struct statvfs info;
  if (::statvfs(folder.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

// These cases need room for the whole body in the temporary folder.
class LargeDownloadOver4GiB : public LargeDownload {
 protected:
  void SetUp() override {
    if (FreeBytes(tree.Root) < kJustOver4GiB + 512 * kMiB)
      GTEST_SKIP() << "less than 4.5 GiB free in " << tree.Root;
  }
};

TEST_F(LargeDownloadOver4GiB, ABodyOfJustOver4GiBThatArrivesWholeIsInstalled) {
  Serve(kJustOver4GiB, kJustOver4GiB);
  DownloadTheFiles(rig.Context);
  EXPECT_EQ(rig.Window.StatusLine(), "Finished. ");
  EXPECT_EQ(rig.Window.progressMax, kJustOver4GiB);
  EXPECT_EQ(platform::FileSize(tree.Path("A/Big.dat")), kJustOver4GiB);
  EXPECT_EQ(ByteAt("A/Big.dat", kJustOver4GiB - 1), GeneratedByte(kJustOver4GiB - 1));
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "2.0.000");
  EXPECT_EQ(tree.Listing(), "A");
}

TEST_F(LargeDownloadOver4GiB, ABodyOfJustOver4GiBOneByteShortIsNotInstalled) {
  Serve(kJustOver4GiB, kJustOver4GiB - 1);
  DownloadTheFiles(rig.Context);
  EXPECT_EQ(rig.Window.StatusLine(),
            std::string("Finished. ") + kDownloadErrorNote +
                " These files failed their check and were not installed: Big.dat.");
  EXPECT_EQ(tree.Read("A/Big.dat"), "old");
  EXPECT_EQ(RecordedVersion(tree, "A", "ModA", "Main"), "1.0.001");
  // The 4 GiB that failed their check do not stay to fill the disk.
  EXPECT_EQ(tree.Listing(), "A");
}

}  // namespace
