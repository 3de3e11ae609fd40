// The test server's route mode, which the engine's end-to-end tests use.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "http/HttpClient.h"
#include "support/ScriptedServer.h"

TEST(ScriptedServer, RoutesServeFilesOnOneKeptConnection) {
  ScriptedServer server;
  server.AddFile("/download/allfiles.ini", "[modules]\r\n");
  server.AddFile("/download/a.exe", std::string(70000, 'e'));
  THttpClient client;
  TMemoryStream catalogue, file, missing;
  client.Get(server.Url("/download/allfiles.ini"), catalogue);
  client.Get(server.Url("/download/a.exe"), file);
  EXPECT_THROW(client.Get(server.Url("/download/none.exe"), missing), EHttpProtocolException);
  EXPECT_EQ(client.ResponseCode(), 404);
  EXPECT_EQ(httptest::StreamText(catalogue), "[modules]\r\n");
  EXPECT_EQ(file.Size(), 70000);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
  ASSERT_EQ(server.RequestLines().size(), 3u);
  EXPECT_EQ(server.RequestLines()[1], "GET /download/a.exe HTTP/1.1");
}

TEST(ScriptedServer, ARouteThatSaysCloseEndsTheConnection) {
  ScriptedServer server;
  server.AddRoute("/x", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\n1");
  THttpClient client;
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  client.Get(server.Url("/x?again"), stream);
  EXPECT_EQ(httptest::StreamText(stream), "11");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}
