#include "support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kMaxFillers = 8;
// How long a filler's connect may take on loopback before we call the queue full.
constexpr int kFillerWaitMs = 300;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// Starts a non-blocking connect and waits a moment for it: true when it completed.
bool ConnectFiller(int port, int& handle) {
  handle = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (handle < 0) return false;
  sockaddr_in address = Loopback(port);
  if (connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
  pollfd wait = {handle, POLLOUT, 0};
  return poll(&wait, 1, kFillerWaitMs) > 0;
}

}  // namespace

FullBacklogListener::FullBacklogListener() {
  FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  if (FListener < 0 ||
      bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(FListener, 0) != 0) {
    return;
  }
  socklen_t length = sizeof address;
  getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  // Connect until one connect goes unanswered: from then on the queue is full.
  for (int i = 0; i < kMaxFillers && !FReady; ++i) {
    int handle = -1;
    bool completed = ConnectFiller(FPort, handle);
    if (handle >= 0) FFillers.push_back(handle);
    FReady = !completed && handle >= 0;
  }
}

FullBacklogListener::~FullBacklogListener() {
  for (int handle : FFillers) close(handle);
  if (FListener >= 0) close(FListener);
}
