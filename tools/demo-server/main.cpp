// quorvin-demo-server: the bundled download server for the demo and the
// benchmarks.  Serves <root>/download/* , /history and / on 127.0.0.1 only.
//
//   quorvin-demo-server [--port N] [--root DIR] [--idle-timeout SECONDS] [--quiet]
#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "DemoServer.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: quorvin-demo-server [--port N] [--root DIR] [--idle-timeout SECONDS] [--quiet]\n"
         "  --port N             port on 127.0.0.1 (default 8047; 0 picks a free one)\n"
         "  --root DIR           serve DIR/download/* below /download/ (default .)\n"
         "  --idle-timeout S     close a keep-alive connection idle for S seconds (default 15)\n"
         "  --quiet              no request log on standard error (a line per request:\n"
         "                       method, target, status, body length, body bytes sent)\n";
}

std::optional<long> NumberIn(const std::string& text, long low, long high) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

// Fills options from the command line; false (after a message) when it is wrong.
bool ParseArguments(int argc, char** argv, ServerOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    bool hasValue = i + 1 < argc;
    if (argument == "--quiet") {
      options.log = false;
    } else if (argument == "--help" || argument == "-h") {
      PrintUsage(std::cout);
      std::exit(0);
    } else if (argument == "--port" && hasValue) {
      auto port = NumberIn(argv[++i], 0, 65535);
      if (!port) return std::cerr << "bad port: " << argv[i] << "\n", false;
      options.port = static_cast<std::uint16_t>(*port);
    } else if (argument == "--root" && hasValue) {
      options.root = argv[++i];
    } else if (argument == "--idle-timeout" && hasValue) {
      auto seconds = NumberIn(argv[++i], 1, 86400);
      if (!seconds) return std::cerr << "bad idle timeout: " << argv[i] << "\n", false;
      options.idleTimeout = std::chrono::seconds(*seconds);
    } else {
      std::cerr << "unknown or incomplete option: " << argument << "\n";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  if (!ParseArguments(argc, argv, options)) {
    PrintUsage(std::cerr);
    return 2;
  }

  // SIGTERM and SIGINT are taken by one waiting thread, so no connection
  // thread is ever interrupted by them; that thread asks the server to stop.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    DemoServer server(options);
    std::uint16_t port = server.Listen();
    std::cout << "quorvin-demo-server: serving " << options.root.string()
              << " on http://127.0.0.1:" << port << "/" << std::endl;
    std::thread([&server, stopSignals] {
      int received = 0;
      sigwait(&stopSignals, &received);
      server.Stop();
    }).detach();
    server.Run();
    std::cout << "quorvin-demo-server: stopped" << std::endl;
  } catch (const std::exception& error) {
    std::cerr << "quorvin-demo-server: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
