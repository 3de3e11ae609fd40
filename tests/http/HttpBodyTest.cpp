// The three body framings, their short and cut variants, and absurd sizes.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "http/HttpClient.h"
#include "support/ScriptedServer.h"

using httptest::Body;
using httptest::Ok;
using httptest::StreamText;

namespace {

const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

// One Get against a server that plays the response and then closes.
std::string FetchClosing(const std::string& response, THttpClient& client, TMemoryStream& stream) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(response).Close());
  client.Get(server.Url("/x"), stream);
  return StreamText(stream);
}

}  // namespace

TEST(HttpBody, KnownLengthFillsAnEmptyStreamAndKeepsTheConnection) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(Ok(Body(1000))));
  THttpClient client;
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(stream.Size(), 1000);
  EXPECT_EQ(stream.Position(), 1000);
  EXPECT_TRUE(client.Connected());
}

TEST(HttpBody, BodyIsWrittenAtThePositionAndTheStreamCutThere) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(Ok("XY")));
  THttpClient client;
  TMemoryStream stream;
  stream.Write("abcdef", 6);
  stream.SetPosition(2);
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(StreamText(stream), "abXY");
  EXPECT_EQ(stream.Position(), 4);
}

TEST(HttpBody, ZeroLengthReadsNothing) {
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript().ExpectRequest().Send(Ok("")).ExpectRequest().Send(Ok("next")));
  THttpClient client;
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(stream.Size(), 0);
  client.Get(server.Url("/y"), stream);
  EXPECT_EQ(StreamText(stream), "next");
}

TEST(HttpBody, ShortBodyUnderContentLengthIsNotAnError) {
  THttpClient client;
  TMemoryStream stream;
  std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + Body(400);
  EXPECT_EQ(FetchClosing(response, client, stream).size(), 400u);
  EXPECT_EQ(stream.Size(), 400);
  EXPECT_FALSE(client.Connected());
}

TEST(HttpBody, WithoutLengthTheBodyRunsToTheClose) {
  THttpClient client;
  TMemoryStream stream;
  EXPECT_EQ(FetchClosing("HTTP/1.1 200 OK\r\n\r\n" + Body(70000, 'c'), client, stream),
            Body(70000, 'c'));
  EXPECT_FALSE(client.Connected());
  TMemoryStream other;
  EXPECT_EQ(FetchClosing("HTTP/1.1 200 OK\r\nContent-Length: many\r\n\r\nall of it", client, other),
            "all of it");
}

TEST(HttpBody, ChunksDecideOverContentLengthAndExtensionsAreIgnored) {
  THttpClient client;
  TMemoryStream stream;
  std::string response =
      "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: gzip, Chunked\r\n"
      "\r\n1f4;name=value\r\n" +
      Body(500, 'a') + "\r\n3\r\nbcd\r\n0\r\nX-Trailer: t\r\n\r\n";
  EXPECT_EQ(FetchClosing(response, client, stream), Body(500, 'a') + "bcd");
  EXPECT_EQ(client.Response().RawHeaders.Values("X-Trailer"), "t");
}

TEST(HttpBody, ANonHexSizeEndsTheBodyAndTheRestIsTrailer) {
  THttpClient client;
  TMemoryStream stream;
  std::string response = kChunkedHead + "5\r\nhello\r\nzz\r\nX-After: 1\r\n\r\n";
  EXPECT_EQ(FetchClosing(response, client, stream), "hello");
  EXPECT_EQ(client.Response().RawHeaders.Values("X-After"), "1");
}

TEST(HttpBody, ACloseInsideChunkedDataIsAnErrorKeepingWhatArrived) {
  THttpClient client;
  TMemoryStream stream;
  EXPECT_THROW(FetchClosing(kChunkedHead + "a\r\n12345", client, stream), EConnClosedGracefully);
  EXPECT_EQ(StreamText(stream), "12345");
  EXPECT_FALSE(client.Connected());
}

TEST(HttpBody, AHugeAnnouncedLengthDoesNotReserveIt) {
  THttpClient client;
  TMemoryStream stream;
  std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\n\r\n" + Body(10);
  EXPECT_EQ(FetchClosing(response, client, stream), Body(10));
  EXPECT_EQ(client.Response().ContentLength, 1000000000000000);
}

TEST(HttpBody, AHugeChunkSizeIsReadAsItArrivesAndAnOverflowingOneIsMalformed) {
  THttpClient client;
  TMemoryStream huge;
  EXPECT_THROW(FetchClosing(kChunkedHead + "7FFFFFFFFFFFFFFF\r\nabc", client, huge),
               EConnClosedGracefully);
  EXPECT_EQ(StreamText(huge), "abc");
  TMemoryStream overflow;
  EXPECT_EQ(FetchClosing(kChunkedHead + "3\r\nabc\r\n10000000000000000\r\n\r\n", client, overflow),
            "abc");
}
