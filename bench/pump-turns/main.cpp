// The longest interval between two message-pump turns while a local server
// trickles a body in, 1 KiB every 200 ms for 10 s (a link of 5 KiB/s): how
// long the window would go without handling a click or a repaint.
//
//   bench_pump_turns [piece-bytes] [interval-ms] [seconds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/HttpClient.h"
#include "http/MessagePump.h"
#include "support/ScriptedServer.h"

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
  const size_t piece = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 1024;
  const int intervalMs = argc > 2 ? std::atoi(argv[2]) : 200;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
  const size_t size = piece * static_cast<size_t>(seconds * 1000 / intervalMs);

  ScriptedServer server;
  server.AddConnection(
      ConnectionScript()
          .ExpectRequest()
          .Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n")
          .Trickle(std::string(size, 'x'), piece, intervalMs));
  THttpClient client;
  TMessagePump pump;
  std::vector<Clock::time_point> turns;
  pump.SetProcessMessagesHook([&] { turns.push_back(Clock::now()); });
  TMemoryStream body;
  const Clock::time_point start = Clock::now();
  client.Get(server.Url("/slow"), body);
  const Clock::time_point end = Clock::now();

  // The waits at both ends count too: from the start to the first turn and
  // from the last turn to the end.
  turns.insert(turns.begin(), start);
  turns.push_back(end);
  Clock::duration longest{};
  for (size_t i = 1; i < turns.size(); ++i) longest = std::max(longest, turns[i] - turns[i - 1]);
  std::printf("body %zu bytes in pieces of %zu every %d ms, received %lld in %.0f ms\n", size,
              piece, intervalMs, static_cast<long long>(body.Size()), Ms(end - start));
  std::printf("pump turns %zu, longest interval %.1f ms, mean %.1f ms\n", turns.size() - 2,
              Ms(longest), Ms(end - start) / static_cast<double>(turns.size() - 1));
  return body.Size() == static_cast<long long>(size) ? 0 : 1;
}
