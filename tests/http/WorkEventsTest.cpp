// The work events: their counts per framing, and Disconnect from inside them.
#include <gtest/gtest.h>

#include <algorithm>

#include "HttpTestSupport.h"
#include "http/HttpClient.h"
#include "http/MessagePump.h"
#include "support/ScriptedServer.h"

using httptest::Body;
using httptest::Ok;
using httptest::StreamText;
using httptest::WorkLog;
using Events = std::vector<std::string>;

namespace {

std::string Head(size_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

}  // namespace

TEST(WorkEvents, WholeBodyWithTheHeadersIsOneCount) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(Ok(Body(1000))));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  THttpClient* sender = nullptr;
  client.OnWorkEnd = [&](THttpClient* from, TWorkMode mode) {
    sender = from;
    EXPECT_EQ(mode, TWorkMode::wmRead);
    log.events.push_back("end");
  };
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(log.events, (Events{"begin 1000", "work 1000", "end"}));
  EXPECT_EQ(sender, &client);
}

TEST(WorkEvents, ChunkedCountsEveryByteOfTheEncoding) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1f4\r\n" + Body(500) + "\r\n12c\r\n" +
      Body(300) + "\r\n0\r\n\r\n"));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(log.events, (Events{"begin 0", "work 5", "work 505", "work 507", "work 512", "work 812",
                                "work 814", "work 817", "work 819", "end"}));
  EXPECT_EQ(stream.Size(), 800);
}

TEST(WorkEvents, NoEventsWithoutABody) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript()
                           .ExpectRequest()
                           .Send(Ok(""))
                           .ExpectRequest()
                           .Send("HTTP/1.1 204 No Content\r\n\r\n")
                           .ExpectRequest()
                           .Send("HTTP/1.1 304 Not Modified\r\n\r\n"));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  TMemoryStream stream;
  client.Get(server.Url("/a"), stream);
  client.Get(server.Url("/b"), stream);
  EXPECT_THROW(client.Get(server.Url("/c"), stream), EHttpProtocolException);
  EXPECT_TRUE(log.events.empty());
}

TEST(WorkEvents, ErrorBodyAndBodyToCloseAreCountedToo) {
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript()
          .ExpectRequest()
          .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 200\r\n\r\n" + Body(200))
          .ExpectRequest()
          .Send("HTTP/1.1 200 OK\r\n\r\nabc")
          .Close());
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  TMemoryStream stream;
  EXPECT_THROW(client.Get(server.Url("/a"), stream), EHttpProtocolException);
  EXPECT_EQ(log.events, (Events{"begin 200", "work 200", "end"}));
  log.events.clear();
  client.Get(server.Url("/b"), stream);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.front(), "begin 0");
  EXPECT_EQ(log.events.back(), "end");
  EXPECT_EQ(log.counts.back(), 3);
}

TEST(WorkEvents, BodyArrivingAfterTheHeadersIsCountedPerBlock) {
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript().ExpectRequest().Send(Head(100000)).Stall().Send(Body(100000)));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  // The body is released from the first pump turn after the status line:
  // by then the header block has arrived on its own.
  TMessagePump pump;
  pump.IdleTimeOut = 10;
  bool released = false;
  pump.SetProcessMessagesHook([&] {
    if (!released && client.ResponseCode() == 200) {
      released = true;
      server.Release();
    }
  });
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(log.counts, (std::vector<int64_t>{32768, 65536, 98304, 100000}));
  EXPECT_EQ(stream.Size(), 100000);
}

TEST(WorkEvents, DisconnectInTheFirstWorkEventEndsWithAShortBody) {
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript().ExpectRequest().Send(Head(100000) + Body(1000)).Stall().Send(Body(99000)));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  client.OnWork = [&](THttpClient* sender, TWorkMode, int64_t count) {
    log.counts.push_back(count);
    if (log.counts.size() == 1) sender->Disconnect();
  };
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  ASSERT_FALSE(log.counts.empty());
  EXPECT_GE(stream.Size(), log.counts.front());
  EXPECT_LT(stream.Size(), 100000);
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "end"), 1);
  EXPECT_FALSE(client.Connected());
}

TEST(WorkEvents, DisconnectInTheLastWorkEventKeepsTheWholeBody) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(Ok(Body(1000))));
  server.AddConnection(ConnectionScript().ExpectRequest().Send(Ok("again")));
  THttpClient client;
  client.OnWork = [&](THttpClient* sender, TWorkMode, int64_t count) {
    if (count == 1000) sender->Disconnect();
  };
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(stream.Size(), 1000);
  client.Get(server.Url("/y"), stream);
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

TEST(WorkEvents, DisconnectDuringAnUnfinishedChunkedBodyRaisesAfterTheEnd) {
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript()
          .ExpectRequest()
          .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1f4\r\n" + Body(100))
          .Stall()
          .Send(Body(400) + "\r\n0\r\n\r\n"));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  client.OnWork = [&](THttpClient* sender, TWorkMode, int64_t count) {
    log.events.push_back("work " + std::to_string(count));
    if (count == 5) sender->Disconnect();
  };
  TMemoryStream stream;
  EXPECT_THROW(client.Get(server.Url("/x"), stream), EConnClosedGracefully);
  EXPECT_EQ(log.events, (Events{"begin 0", "work 5", "work 105", "end"}));
  EXPECT_EQ(stream.Size(), 100);
}

TEST(WorkEvents, DisconnectDuringAChunkedBodyAlreadyReceivedFinishesIt) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"));
  THttpClient client;
  client.OnWork = [&](THttpClient* sender, TWorkMode, int64_t) { sender->Disconnect(); };
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(StreamText(stream), "abc");
  EXPECT_FALSE(client.Connected());
}

TEST(WorkEvents, AHandlerErrorStillEndsTheTransferAndTheNextOneBeginsAfresh) {
  ScriptedServer server;
  server.AddConnection(
      ConnectionScript().ExpectRequest().Send(Ok(Body(10))).ExpectRequest().Send(Ok(Body(20))));
  THttpClient client;
  WorkLog log;
  log.Attach(client);
  bool fail = true;
  client.OnWork = [&](THttpClient*, TWorkMode, int64_t count) {
    log.events.push_back("work " + std::to_string(count));
    if (fail) throw EAbort("stop");
  };
  TMemoryStream stream;
  EXPECT_THROW(client.Get(server.Url("/a"), stream), EAbort);
  fail = false;
  client.Get(server.Url("/b"), stream);
  EXPECT_EQ(log.events, (Events{"begin 10", "work 10", "end", "begin 20", "work 20", "end"}));
}
