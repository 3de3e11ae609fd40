// The message pump: when it takes turns, and the waits that feed it,
// including the connect thread and its timeout.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "HttpTestSupport.h"
#include "http/HttpClient.h"
#include "http/MessagePump.h"
#include "support/FullBacklogListener.h"
#include "support/SanitizerSlowdown.h"
#include "support/ScriptedServer.h"

using httptest::Ok;
using httptest::StreamText;

namespace {

// How often this thread has gone to sleep so far: once per wait slice.
long ThreadSleeps() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

}  // namespace

TEST(MessagePump, OnlyOneMayExist) {
  TMessagePump pump;
  EXPECT_EQ(TMessagePump::Instance(), &pump);
  try {
    TMessagePump second;
    FAIL() << "a second pump was made";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Only one TMessagePump can exist per application.");
  }
  EXPECT_EQ(TMessagePump::Instance(), &pump);
}

TEST(MessagePump, TurnsFollowTheSettings) {
  TMessagePump pump;
  int all = 0, one = 0;
  pump.SetProcessMessagesHook([&] { ++all; });
  pump.SetHandleOneMessageHook([&] { return ++one > 0; });
  TMessagePump::ProcessTurn(false);
  EXPECT_EQ(all, 0);  // only when idle
  TMessagePump::ProcessTurn(true);
  TMessagePump::ProcessTurn(false, true);
  EXPECT_EQ(all, 2);
  pump.ApplicationHasPriority = false;
  TMessagePump::ProcessTurn(true);
  EXPECT_EQ(one, 1);
  pump.Active = false;
  TMessagePump::ProcessTurn(true);
  std::thread([] { TMessagePump::ProcessTurn(true, true); }).join();  // not the main thread
  EXPECT_EQ(all + one, 3);
}

TEST(MessagePump, WaitingForAStalledServerGivesTurns) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Stall().Send(Ok("late")));
  THttpClient client;
  TMessagePump pump;
  pump.IdleTimeOut = 5;
  int turns = 0;
  pump.SetProcessMessagesHook([&] {
    if (++turns == 3) server.Release();
  });
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(StreamText(stream), "late");
  EXPECT_GE(turns, 3);
}

TEST(MessagePump, AWaitingReadFinishesWithBytesANestedPollBuffered) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript()
                           .ExpectRequest()
                           .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n")
                           .Stall()
                           .Send(httptest::Body(100)));
  THttpClient client;
  TMessagePump pump;
  pump.IdleTimeOut = 5;
  bool inside = false, released = false;
  int turns = 0;
  pump.SetProcessMessagesHook([&] {
    if (inside) return;  // the nested poll's own turn
    inside = true;
    ++turns;
    if (!released && client.ResponseCode() == 200) {
      released = true;
      server.Release();
      // Poll as a button handler would until the body sits in the buffer.
      server.WaitFor([&] { return client.Connected() && client.BufferedByteCount() >= 100; });
    } else if (turns > 400) {
      client.Disconnect();  // the read never noticed: end it rather than hang
    }
    inside = false;
  });
  TMemoryStream stream;
  client.Get(server.Url("/x"), stream);
  EXPECT_EQ(stream.Size(), 100);
}

TEST(MessagePump, ConnectThatNeverCompletesTimesOut) {
  FullBacklogListener listener;
  if (!listener.Ready()) GTEST_SKIP() << "the accept queue could not be filled";
  std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/x";
  TMemoryStream stream;
  {
    THttpClient client;
    client.ConnectTimeout = 300;
    TMessagePump pump;
    int turns = 0;
    // A handler may poll or disconnect while the connect is running; neither
    // touches the socket the connect thread is using.
    bool inside = false;
    pump.SetProcessMessagesHook([&] {
      if (inside) return;  // the polls' own nested turns
      inside = true;
      ++turns;
      EXPECT_FALSE(client.Connected());
      client.Disconnect();
      inside = false;
    });
    auto started = std::chrono::steady_clock::now();
    try {
      client.Get(url, stream);
      FAIL() << "connected";
    } catch (const EConnectTimeout& error) {
      EXPECT_EQ(error.Message(), "Connect timed out.");
    }
    auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    EXPECT_GE(turns, 2);  // a turn after every 125 ms slice
    EXPECT_FALSE(client.Connected());
  }
  THttpClient withoutPump;
  withoutPump.ConnectTimeout = 200;
  EXPECT_THROW(withoutPump.Get(url, stream), EConnectTimeout);

  // A pump that may not take turns must not turn the wait into a spin of
  // empty slices: the waiting thread sleeps two 125 ms slices, not
  // thousands of zero-length ones.
  TMessagePump inactive;
  inactive.Active = false;
  THttpClient client;
  client.ConnectTimeout = 250;
  const long sleepsBefore = ThreadSleeps();
  EXPECT_THROW(client.Get(url, stream), EConnectTimeout);
  EXPECT_LT(ThreadSleeps() - sleepsBefore, 50);
}

TEST(MessagePump, ARedirectBodyThatComesLaterIsWaitedFor) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript()
                           .ExpectRequest()
                           .Send("HTTP/1.1 301 Moved\r\nLocation: /new\r\n\r\n")
                           .Stall()
                           .Send("see /new")
                           .Close());
  THttpClient client;
  TMessagePump pump;
  pump.IdleTimeOut = 5;
  bool released = false;
  pump.SetProcessMessagesHook([&] {
    if (!released && client.ResponseCode() == 301) {
      released = true;
      server.Release();
    }
  });
  TMemoryStream stream;
  try {
    client.Get(server.Url("/old"), stream);
    FAIL() << "no error";
  } catch (const EHttpProtocolException& error) {
    EXPECT_EQ(error.ErrorCode(), 301);
    EXPECT_EQ(error.ErrorMessage(), "see /new");
  }
  EXPECT_EQ(stream.Size(), 0);
}

// A slow link that delivers a piece more often than an idle slice never
// leaves a wait empty, and the block it fills takes half a second: the pump
// still gets its turn every tenth of a second, not once the block is full.
TEST(MessagePump, BytesTricklingInStillGiveTurnsEveryTenthOfASecond) {
  using Clock = std::chrono::steady_clock;
  const std::string body(12 << 10, 'x');  // one block, a piece every 40 ms
  ScriptedServer server;
  server.AddConnection(ConnectionScript()
                           .ExpectRequest()
                           .Send("HTTP/1.1 200 OK\r\nContent-Length: 12288\r\n\r\n")
                           .Trickle(body, 1024, 40));
  THttpClient client;
  TMessagePump pump;
  std::vector<Clock::time_point> turns;
  pump.SetProcessMessagesHook([&] { turns.push_back(Clock::now()); });
  size_t turnsBeforeTheBlock = 0;
  client.OnWork = [&](THttpClient*, TWorkMode, int64_t) { turnsBeforeTheBlock = turns.size(); };
  TMemoryStream stream;
  const Clock::time_point started = Clock::now();
  client.Get(server.Url("/x"), stream);
  ASSERT_EQ(stream.Size(), 12288);
  EXPECT_GE(turnsBeforeTheBlock, 3u);
  // Measured on a busy machine: the bound leaves room for the scheduler,
  // and still lies far below the half second a turn per block would take.
  Clock::duration longest = turns.empty() ? Clock::now() - started : turns.front() - started;
  for (size_t i = 1; i < turns.size(); ++i) longest = std::max(longest, turns[i] - turns[i - 1]);
  EXPECT_LT(longest, std::chrono::milliseconds(250) * kSanitizerSlowdown);
}
