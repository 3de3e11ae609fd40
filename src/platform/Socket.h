#pragma once
// A TCP stream socket over POSIX sockets.  Every failure is reported as a
// Windows Sockets error number (platform/SocketErrors.h); 0 means success.
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

struct SocketAddress {
  sockaddr_storage Storage{};
  socklen_t Length = 0;
  bool IPv6 = false;
};

// A dotted IPv4 literal or an IPv6 literal (without brackets) with a port;
// false when the text is not such a literal.
bool ParseAddressLiteral(const std::string& text, bool ipv6, uint16_t port, SocketAddress& out);
// An IPv4 address in network byte order with a port.
SocketAddress MakeIPv4Address(uint32_t address, uint16_t port);

class TSocket {
 public:
  TSocket() = default;
  ~TSocket();
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  // Creates the socket for the address family.
  int Open(bool ipv6);
  // Binds to any local address and port.
  int BindAny();
  // Connects, blocking until connected, refused, failed or cancelled.  Safe
  // to run on another thread while the owner waits; CancelConnect() ends it
  // early with 10004.
  int Connect(const SocketAddress& address);
  void CancelConnect();

  // Hands all bytes to the socket, repeating with what it did not take.
  int SendAll(const char* data, size_t size);
  // Waits until the socket is readable (data, close or error) or the time
  // runs out; timeoutMs < 0 waits without limit.  True when readable.
  bool WaitReadable(int timeoutMs);

  enum class ReceiveStatus { Data, NothingYet, ClosedByPeer, Failed };
  struct ReceiveResult {
    ReceiveStatus Status = ReceiveStatus::NothingYet;
    size_t Count = 0;
    int Error = 0;
  };
  // Takes what has arrived, up to size bytes, without waiting.
  ReceiveResult Receive(char* buffer, size_t size);

  void ShutdownWrite();
  void Close();
  bool IsOpen() const { return FHandle >= 0; }

 private:
  int FHandle = -1;
  int FCancelEvent = -1;  // eventfd that wakes a connect in progress
};

}  // namespace platform
