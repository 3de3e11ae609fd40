#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SocketErrors.h"

namespace platform {
namespace {

int LastSocketError() { return SocketErrorFromErrno(errno); }

bool SetBlocking(int handle, bool blocking) {
  int flags = fcntl(handle, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(handle, F_SETFL, flags) == 0;
}

// Waits for the pending non-blocking connect to finish or to be cancelled.
int AwaitConnect(int handle, int cancelEvent) {
  pollfd waits[2] = {{handle, POLLOUT, 0}, {cancelEvent, POLLIN, 0}};
  for (;;) {
    int ready = poll(waits, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return LastSocketError();
    if (waits[1].revents != 0) return 10004;  // cancelled by the waiting thread
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return LastSocketError();
    return error == 0 ? 0 : SocketErrorFromErrno(error);
  }
}

}  // namespace

bool ParseAddressLiteral(const std::string& text, bool ipv6, uint16_t port, SocketAddress& out) {
  out = SocketAddress{};
  if (ipv6) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&out.Storage);
    if (inet_pton(AF_INET6, text.c_str(), &address->sin6_addr) != 1) return false;
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(port);
    out.Length = sizeof(sockaddr_in6);
    out.IPv6 = true;
    return true;
  }
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  out = MakeIPv4Address(parsed.s_addr, port);
  return true;
}

SocketAddress MakeIPv4Address(uint32_t address, uint16_t port) {
  SocketAddress out;
  auto* ipv4 = reinterpret_cast<sockaddr_in*>(&out.Storage);
  ipv4->sin_family = AF_INET;
  ipv4->sin_addr.s_addr = address;
  ipv4->sin_port = htons(port);
  out.Length = sizeof(sockaddr_in);
  return out;
}

TSocket::~TSocket() { Close(); }

int TSocket::Open(bool ipv6) {
  Close();
  FHandle = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (FHandle < 0) return LastSocketError();
  FCancelEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (FCancelEvent < 0) {
    int error = LastSocketError();
    Close();
    return error;
  }
  return 0;
}

int TSocket::BindAny() {
  sockaddr_storage any{};
  int family = 0;
  socklen_t length = sizeof any;
  if (getsockname(FHandle, reinterpret_cast<sockaddr*>(&any), &length) != 0) {
    return LastSocketError();
  }
  family = any.ss_family;
  any = sockaddr_storage{};
  any.ss_family = static_cast<sa_family_t>(family);
  length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (bind(FHandle, reinterpret_cast<sockaddr*>(&any), length) != 0) return LastSocketError();
  return 0;
}

int TSocket::Connect(const SocketAddress& address) {
  if (!SetBlocking(FHandle, false)) return LastSocketError();
  int result = 0;
  if (connect(FHandle, reinterpret_cast<const sockaddr*>(&address.Storage), address.Length) != 0) {
    result = errno == EINPROGRESS ? AwaitConnect(FHandle, FCancelEvent) : LastSocketError();
  }
  if (result == 0 && !SetBlocking(FHandle, true)) result = LastSocketError();
  return result;
}

void TSocket::CancelConnect() {
  if (FCancelEvent < 0) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(FCancelEvent, &one, sizeof one);
}

int TSocket::SendAll(const char* data, size_t size) {
  while (size > 0) {
    ssize_t sent = send(FHandle, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) return LastSocketError();
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return 0;
}

bool TSocket::WaitReadable(int timeoutMs) {
  if (FHandle < 0) return true;  // a closed socket never blocks: the read will tell
  pollfd wait = {FHandle, POLLIN, 0};
  int ready = poll(&wait, 1, timeoutMs);
  if (ready < 0) return errno != EINTR;
  return ready > 0;
}

TSocket::ReceiveResult TSocket::Receive(char* buffer, size_t size) {
  ReceiveResult result;
  for (;;) {
    ssize_t received = recv(FHandle, buffer, size, MSG_DONTWAIT);
    if (received > 0) {
      result.Status = ReceiveStatus::Data;
      result.Count = static_cast<size_t>(received);
    } else if (received == 0) {
      result.Status = ReceiveStatus::ClosedByPeer;
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      result.Status = ReceiveStatus::NothingYet;
    } else {
      result.Status = ReceiveStatus::Failed;
      result.Error = LastSocketError();
    }
    return result;
  }
}

void TSocket::ShutdownWrite() {
  if (FHandle >= 0) shutdown(FHandle, SHUT_WR);
}

void TSocket::Close() {
  if (FHandle >= 0) close(FHandle);
  if (FCancelEvent >= 0) close(FCancelEvent);
  FHandle = -1;
  FCancelEvent = -1;
}

}  // namespace platform
