// Fuzz target: taking a URL text apart.  URLs are built from the server's
// catalogue (file names) and from redirects, so any text may arrive.
#include "http/Uri.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "http/Connection.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "uri: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TUri uri(text);
  const std::string request = uri.GetPathAndParams();
  if (!uri.Protocol.empty()) {
    if (uri.Path.empty() || uri.Path.front() != '/' || uri.Path.back() != '/')
      Fail("absolute URL without a folder path");
  }
  if (uri.Document.find('/') != std::string::npos) Fail("document holds a folder separator");
  if (request.size() < uri.Path.size() + uri.Document.size()) Fail("request-URI lost a part");
  // Splitting the same text again gives the same parts.
  TUri again;
  again.SetURI(uri.URI());
  if (again.GetPathAndParams() != request || again.Host != uri.Host || again.Port != uri.Port ||
      again.Bookmark != uri.Bookmark)
    Fail("splitting is not repeatable");
  // What the request line would carry: printable 7-bit text only, so nothing
  // from a URL can end the line or start another.
  for (char c : WireLineFromUtf8(request)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 127) Fail("8-bit byte on the wire");
    if (byte < 32 || byte == 127) Fail("control character on the wire");
  }
  return 0;
}
