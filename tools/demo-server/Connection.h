#pragma once
// Serves the requests of one client connection in turn until the client
// closes it, asks for "Connection: close", sends something unusable, stays
// idle too long, or the server shuts the socket down.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

#include "RequestHead.h"
#include "Resource.h"

class Site;

// One line per answered request, for the server's log, once the answer has
// gone out: `bodySent` counts the bytes of its body the client was sent (all
// of it unless the connection broke off).
using RequestLogger = std::function<void(const RequestHead&, const Resource&, long long bodySent)>;

class Connection {
 public:
  Connection(int socket, const Site& site, std::chrono::milliseconds idleTimeout,
             RequestLogger logger);
  void Serve();

 private:
  enum class Read { kHead, kClosed, kTooLarge };
  Read ReadHead(std::string& head);
  bool DiscardBody(const RequestHead& request);
  bool Answer(const RequestHead& request);
  bool Send(const Resource& resource, bool headOnly, bool keepAlive);
  bool SendAll(const char* data, size_t length, bool more, long long* counted = nullptr);
  bool SendFile(int file, off_t length);
  bool WaitReadable();

  int socket_;
  const Site& site_;
  std::chrono::milliseconds idleTimeout_;
  RequestLogger logger_;
  std::string pending_;     // bytes received after the last head (pipelined requests)
  long long bodySent_ = 0;  // of the answer being sent
};
