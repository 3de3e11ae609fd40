#pragma once
// The demo download server: listens on 127.0.0.1 only and serves each
// client connection on a thread of its own.  Stop() may be called from any
// thread; Run() then closes the listener, shuts every connection down and
// returns once all connection threads have ended.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>

#include "Connection.h"
#include "Resource.h"
#include "Site.h"

struct ServerOptions {
  std::uint16_t port = 8047;  // 0 picks a free port (see Listen)
  std::filesystem::path root = ".";
  std::chrono::milliseconds idleTimeout = std::chrono::seconds(15);
  // One line per request on standard error: method, target, status, the
  // body's length and the bytes of it sent (the demo adds these up).
  bool log = true;
};

class DemoServer {
 public:
  explicit DemoServer(ServerOptions options);
  ~DemoServer();

  // Binds 127.0.0.1 and the port; returns the port bound.  Throws
  // std::runtime_error with the reason when it cannot.
  std::uint16_t Listen();
  void Run();
  void Stop();

 private:
  void Accept();
  void ServeConnection(int socket);
  void LogRequest(const RequestHead& request, const Resource& resource, long long bodySent) const;

  static constexpr std::size_t kMaxConnections = 64;

  ServerOptions options_;
  Site site_;
  FileDescriptor listener_;
  FileDescriptor wake_;  // an eventfd that Stop() signals to end Run()'s poll
  std::atomic<bool> stopping_{false};

  std::mutex mutex_;
  std::condition_variable allEnded_;
  std::set<int> openSockets_;  // guarded by mutex_
};
