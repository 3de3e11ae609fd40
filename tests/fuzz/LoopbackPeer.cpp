#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

TLoopbackPeer::TLoopbackPeer() {
  FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (FListener < 0 || bind(FListener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(FListener, 8) != 0 ||
      getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("loopback listener failed");
  }
  FPort = ntohs(address.sin_port);
  FThread = std::thread([this] { Loop(); });
}

TLoopbackPeer::~TLoopbackPeer() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStopping = true;
  }
  shutdown(FListener, SHUT_RDWR);  // wakes the blocked accept
  FThread.join();
  close(FListener);
}

std::string TLoopbackPeer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void TLoopbackPeer::Serve(std::vector<std::string> pieces) {
  std::lock_guard<std::mutex> guard(FLock);
  FPieces = std::move(pieces);
  FPending = true;
}

bool TLoopbackPeer::WaitUntilServed(int timeoutMs) {
  std::unique_lock<std::mutex> guard(FLock);
  return FChanged.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return !FPending; });
}

void TLoopbackPeer::Loop() {
  for (;;) {
    const int handle = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    std::vector<std::string> pieces;
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FStopping) {
        if (handle >= 0) close(handle);
        return;
      }
      if (handle < 0) continue;
      pieces = FPieces;
    }
    Play(handle, pieces);
    close(handle);
    {
      std::lock_guard<std::mutex> guard(FLock);
      FPending = false;
    }
    FChanged.notify_all();
  }
}

void TLoopbackPeer::Play(int handle, const std::vector<std::string>& pieces) {
  const int on = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // The request head first: the client sends it whole before it reads.
  std::string received;
  char buffer[4096];
  while (received.find("\r\n\r\n") == std::string::npos) {
    const ssize_t count = recv(handle, buffer, sizeof buffer, 0);
    if (count <= 0) return;
    received.append(buffer, static_cast<size_t>(count));
  }
  for (const std::string& piece : pieces) {
    for (size_t sent = 0; sent < piece.size();) {
      const ssize_t count = send(handle, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL);
      if (count <= 0) return;  // the client has gone
      sent += static_cast<size_t>(count);
    }
    sched_yield();  // lets the client read this piece before the next arrives
  }
  shutdown(handle, SHUT_WR);
  while (recv(handle, buffer, sizeof buffer, 0) > 0) {
  }
}
