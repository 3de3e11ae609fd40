// Times the character-set scan of a hostile error page (500 KB of "<meta "
// without a ">") and of a 50 MiB page, and fetches a 50 MiB 404 response
// from a loopback server, reporting the time and how much the process's peak
// memory grew while the client read the body and made its error text.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "http/BodyText.h"
#include "http/HttpClient.h"
#include "support/ScriptedServer.h"

namespace {

double CpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Sets the peak (VmHWM) back to the current resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::string Repeated(const std::string& piece, size_t size) {
  std::string text;
  text.reserve(size + piece.size());
  while (text.size() < size) text += piece;
  return text;
}

void TimeScan(const char* what, const std::string& html) {
  const double start = CpuMs();
  const std::string set = HtmlMetaCharSet(html);
  std::printf("meta scan of %s (%zu bytes): %.1f ms CPU, charset \"%s\"\n", what, html.size(),
              CpuMs() - start, set.c_str());
}

}  // namespace

int main() {
  TimeScan("500 KB of \"<meta \"", Repeated("<meta ", 500000));
  TimeScan("a 50 MiB page",
           Repeated("<p>text <meta name=x> <b>more</b></p>\n", 50 << 20) +
               "<meta http-equiv=Content-Type content='text/html; charset=latin1'>");

  const std::string head = "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n";
  std::string response = Repeated("<p>caf\xE9 <meta \n", 50 << 20);
  const size_t bodySize = response.size();
  response.insert(0, head + "Content-Length: " + std::to_string(bodySize) + "\r\n\r\n");
  ScriptedServer server;
  server.AddConnection(ConnectionScript()
                           .ExpectRequest()
                           .Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
                           .ExpectRequest()
                           .Send(std::move(response)));
  THttpClient client;
  TMemoryStream stream;
  // A first request opens the connection, so that the server's own copy of
  // its script is made before the measurement starts.
  client.Get(server.Url("/first"), stream);
  ResetPeak();
  const long residentBefore = StatusKiB("VmRSS");
  const double cpuStart = CpuMs();
  const auto start = std::chrono::steady_clock::now();
  size_t kept = 0;
  try {
    client.Get(server.Url("/missing"), stream);
  } catch (const EHttpProtocolException& error) {
    kept = error.ErrorMessage().size();
  }
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  std::printf(
      "404 with a %.0f MiB body: %.1f ms wall, %.1f ms CPU, peak memory grew by %ld KiB, "
      "error text %zu bytes\n",
      static_cast<double>(bodySize) / (1 << 20), elapsed.count(), CpuMs() - cpuStart,
      StatusKiB("VmHWM") - residentBefore, kept);
  return kept > 0 ? 0 : 1;
}
