// A body streamed into a file: written as it arrives, never grown ahead,
// and the file made only by a body (or on request).
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "http/FileStream.h"
#include "http/HttpClient.h"
#include "platform/Files.h"
#include "platform/TempFolder.h"
#include "support/ScriptedServer.h"

TEST(FileStream, TheBodyIsOnDiskAsItIsCountedAndAHugeLengthReservesNothing) {
  TempFolder folder;
  const std::string path = folder / "body";
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript()
          .ExpectRequest()
          .Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\n" + httptest::Body(10))
          .Stall()
          .Send(httptest::Body(32768, 'y'))
          .Close());
  THttpClient client;
  std::vector<int64_t> onDisk;
  client.OnWork = [&](THttpClient*, TWorkMode, int64_t) {
    onDisk.push_back(platform::FileSize(path));
    server.Release();
  };
  TFileStream file(path);
  client.Get(server.Url("/x"), file);
  file.Close();
  // A block is counted just before it is written; the bytes that came with
  // the headers are written first.
  EXPECT_EQ(onDisk, (std::vector<int64_t>{10, 10}));
  EXPECT_EQ(file.Size(), 10 + 32768);
  EXPECT_EQ(folder.Read("body"), httptest::Body(10) + httptest::Body(32768, 'y'));
}

TEST(FileStream, OnlyABodyMakesTheFileAndAnExistingOneIsReplacedWhateverItsCase) {
  TempFolder folder;
  folder.Write("BODY", "an older, longer file");
  ScriptedServer server;
  server.AddFile("/empty", "");
  server.AddFile("/short", "new");
  THttpClient client;
  TFileStream missing(folder / "missing");
  EXPECT_THROW(client.Get(server.Url("/none"), missing), EHttpProtocolException);  // a 404
  TFileStream empty(folder / "empty");
  client.Get(server.Url("/empty"), empty);
  EXPECT_FALSE(folder.Has("missing") || folder.Has("empty"));
  empty.Create();  // asked for: an empty body leaves an empty file
  EXPECT_EQ(platform::FileSize(folder / "empty"), 0);
  TFileStream replacing(folder / "body");
  client.Get(server.Url("/short"), replacing);
  replacing.Close();
  EXPECT_EQ(folder.Read("BODY"), "new");
  EXPECT_FALSE(folder.Has("body"));
}
