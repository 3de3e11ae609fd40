// Fuzz target: the HTTP client's response side.  The input is what a server
// sends, cut into pieces at points the input chooses; a peer on 127.0.0.1
// serves it and then closes its sending side.  Get must end with a result or
// one of the program's own errors, and within its time bound; so must a
// second Get on the same client.
//
// Input: one byte whose low three bits give the number of cuts, that many
// 16-bit little-endian cut offsets, then the response bytes.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LoopbackPeer.h"
#include "http/CookieJar.h"
#include "http/HttpClient.h"

namespace {

// Nothing in a response served whole and followed by a close makes the
// client wait; this bound only catches an exchange that does.
constexpr auto kExchangeBound = std::chrono::seconds(5);

std::vector<std::string> CutIntoPieces(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const size_t cuts = data[0] & 7u;
  size_t at = 1;
  std::vector<size_t> offsets;
  for (size_t i = 0; i < cuts && at + 2 <= size; ++i, at += 2) {
    offsets.push_back(static_cast<size_t>(data[at]) | static_cast<size_t>(data[at + 1]) << 8);
  }
  const std::string bytes(reinterpret_cast<const char*>(data) + at, size - at);
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t offset : offsets) {
    const size_t end = std::max(start, std::min(offset, bytes.size()));
    if (end > start) pieces.push_back(bytes.substr(start, end - start));
    start = end;
  }
  if (start < bytes.size()) pieces.push_back(bytes.substr(start));
  return pieces;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "http_response: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TLoopbackPeer peer;
  peer.Serve(CutIntoPieces(data, size));
  const auto start = std::chrono::steady_clock::now();
  {
    THttpClient client;
    // The catalogue, then a file on the same client: the second request
    // reuses the connection, or notices that the peer closed it and opens
    // another (which the peer serves the same bytes).
    for (const char* path : {"/download/allfiles.ini", "/download/App.exe"}) {
      TMemoryStream body;
      try {
        client.Get(peer.Url(path), body);
        // What a caller does with a response: read its status and body.
        (void)client.ResponseCode();
        if (body.Size() < 0 || (body.Size() > 0 && body.Data() == nullptr))
          Fail("body stream broken");
      } catch (const Exception&) {
        // One of the program's errors: the outcome a damaged response must have.
      }
    }
    // A later request sends what the jar keeps; building it must not fail.
    if (TCookieJar* jar = client.CookieManager()) {
      (void)jar->GenerateCookieHeader("http", "127.0.0.1", "/download/allfiles.ini");
    }
  }  // the client closes its connection here
  if (std::chrono::steady_clock::now() - start > kExchangeBound) Fail("Get exceeded its bound");
  if (!peer.WaitUntilServed(10000)) Fail("the connection was not closed");
  return 0;
}
