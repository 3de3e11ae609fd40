// Name-lookup and socket failures: the Windows Sockets numbers and texts.
// Lookups go through a replaced resolver, so no query leaves the machine.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>

#include "HttpTestSupport.h"
#include "http/HttpClient.h"
#include "platform/Resolver.h"
#include "platform/SocketErrors.h"
#include "support/ScriptedServer.h"

namespace {

class ReplacedLookup : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetLookupForTesting(nullptr); }

  void AnswerWith(int result) {
    platform::SetLookupForTesting(
        [result](const std::string&, std::vector<platform::IPv4Address>&) {
          if (result == EAI_SYSTEM) errno = ECONNREFUSED;
          return result;
        });
  }

  // The error a Get for a name raises, as (number, message).
  std::pair<int, std::string> FailureFor(const std::string& url) {
    THttpClient client;
    TMemoryStream stream;
    try {
      client.Get(url, stream);
    } catch (const ESocketError& error) {
      return {error.LastError(), error.Message()};
    }
    return {0, ""};
  }
};

}  // namespace

TEST_F(ReplacedLookup, EveryLookupOutcomeHasItsNumber) {
  const std::pair<int, int> outcomes[] = {
      {EAI_NONAME, 11001},   {EAI_AGAIN, 11002},  {EAI_FAIL, 11003},     {EAI_NODATA, 11004},
      {EAI_BADFLAGS, 10022}, {EAI_FAMILY, 10047}, {EAI_SOCKTYPE, 10044}, {EAI_SERVICE, 10109},
      {EAI_MEMORY, 8},       {EAI_SYSTEM, 10061},
  };
  for (auto [result, number] : outcomes) {
    AnswerWith(result);
    EXPECT_EQ(FailureFor("http://updates.test/download/allfiles.ini").first, number) << result;
  }
}

TEST_F(ReplacedLookup, MessagesHaveTheTextOrAnEmptySecondLine) {
  AnswerWith(EAI_NONAME);
  EXPECT_EQ(FailureFor("http://updates.test/x").second, "Socket Error # 11001\r\nHost not found.");
  AnswerWith(EAI_NODATA);
  EXPECT_EQ(FailureFor("http://updates.test/x").second, "Socket Error # 11004\r\n");
  AnswerWith(EAI_AGAIN);
  EXPECT_EQ(FailureFor("http://updates.test/x").second, "Socket Error # 11002\r\n");
}

TEST_F(ReplacedLookup, TheFirstAddressFoundIsUsedAndTheHostHeaderKeepsTheName) {
  ScriptedServer server;
  server.AddConnection(ConnectionScript().ExpectRequest().Send(httptest::Ok("hi")));
  platform::SetLookupForTesting(
      [](const std::string& name, std::vector<platform::IPv4Address>& out) {
        if (name != "updates.test") return EAI_NONAME;
        out.push_back(htonl(INADDR_LOOPBACK));
        out.push_back(htonl(INADDR_LOOPBACK + 1));
        return 0;
      });
  THttpClient client;
  TMemoryStream stream;
  client.Get("http://updates.test:" + std::to_string(server.Port()) + "/x", stream);
  EXPECT_EQ(httptest::StreamText(stream), "hi");
  EXPECT_NE(server.Received(0).find("\r\nHost: updates.test:" + std::to_string(server.Port())),
            std::string::npos);
}

TEST_F(ReplacedLookup, DefaultPortIsLeftOutOfTheHostHeader) {
  AnswerWith(EAI_NONAME);
  THttpClient client;
  TMemoryStream stream;
  EXPECT_THROW(client.Get("http://updates.test:80/x", stream), ESocketError);
  EXPECT_EQ(client.Request().Host, "updates.test");
  EXPECT_THROW(client.Get("http://updates.test:080/x", stream), ESocketError);
  EXPECT_EQ(client.Request().Host, "updates.test:080");
  EXPECT_FALSE(client.Connected());
}

TEST(SocketErrors, ErrnoValuesMapToWindowsSocketsNumbers) {
  EXPECT_EQ(platform::SocketErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(platform::SocketErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(platform::SocketErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(platform::SocketErrorFromErrno(ECONNABORTED), 10053);
  EXPECT_EQ(platform::SocketErrorFromErrno(EPIPE), 10058);
  EXPECT_EQ(platform::SocketErrorFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(platform::SocketErrorFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(platform::SocketErrorFromErrno(ENETDOWN), 10050);
  EXPECT_EQ(SocketErrorMessage(10038), "Socket Error # 10038\r\nSocket operation on non-socket.");
  EXPECT_EQ(SocketErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
  EXPECT_THROW(RaiseSocketError(10038), ENotASocket);
}
