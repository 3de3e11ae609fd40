// Cookies on the wire: what the server sets on one response comes back on
// the next requests of the same client, as the fifth header line.
#include <gtest/gtest.h>

#include <string>

#include "http/HttpClient.h"
#include "http/MemoryStream.h"
#include "http/NetErrors.h"
#include "support/ScriptedServer.h"

namespace {

std::string Response(const std::string& statusLine, const std::string& extraHeaders,
                     const std::string& body) {
  return statusLine + "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// The request heads of connection 0, one per request, each up to its empty line.
std::vector<std::string> RequestHeads(const ScriptedServer& server) {
  std::vector<std::string> heads;
  const std::string received = server.Received(0);
  std::size_t start = 0;
  for (std::size_t end; (end = received.find("\r\n\r\n", start)) != std::string::npos;
       start = end + 4) {
    heads.push_back(received.substr(start, end + 4 - start));
  }
  return heads;
}

TEST(CookieJarWire, CookiesFromCatalogueAndErrorResponsesAreSentOnLaterRequests) {
  ScriptedServer server;
  server.AddRoute("/download/allfiles.ini",
                  Response("HTTP/1.1 200 OK",
                           "Set-Cookie: session=abc\r\n"
                           "Set-Cookie: exact=1; Path=/download/allfiles.ini\r\n"
                           "Set-Cookie: secure=1; Secure\r\n",
                           "[modules]\r\n"));
  server.AddRoute("/download/missing.bin",
                  Response("HTTP/1.1 404 Not Found", "Set-Cookie: seen=404; Path=/\r\n", "no"));
  server.AddFile("/download/Quorvin.exe", "MZ");

  THttpClient client;
  TMemoryStream catalogue, missing, program;
  client.Get(server.Url("/download/allfiles.ini"), catalogue);
  EXPECT_THROW(client.Get(server.Url("/download/missing.bin"), missing), EHttpProtocolException);
  client.Get(server.Url("/download/Quorvin.exe"), program);

  ASSERT_TRUE(server.WaitFor([&] { return RequestHeads(server).size() == 3; }));
  const std::vector<std::string> heads = RequestHeads(server);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
  const std::string fixed =
      host + "Accept: text/html, */*\r\nAccept-Encoding: identity\r\nUser-Agent: Mozilla/3.0\r\n";
  EXPECT_EQ(heads[0], "GET /download/allfiles.ini HTTP/1.1\r\n" + fixed + "\r\n");
  EXPECT_EQ(heads[1],
            "GET /download/missing.bin HTTP/1.1\r\n" + fixed + "Cookie: session=abc\r\n\r\n");
  EXPECT_EQ(heads[2], "GET /download/Quorvin.exe HTTP/1.1\r\n" + fixed +
                          "Cookie: session=abc; seen=404\r\n\r\n");
}

}  // namespace
