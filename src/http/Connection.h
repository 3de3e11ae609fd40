#pragma once
// The transport under the HTTP client: one TCP connection with its input
// buffer.  Every byte taken out of the buffer is counted for the work events
// through the client's work sink; every wait gives the message pump its
// turns.  Not thread-safe: used from the thread that runs the client.
#include <cstdint>
#include <string>
#include <vector>

#include "http/WorkEvents.h"
#include "platform/Socket.h"

class TStream;

class TTcpConnection {
 public:
  // Largest single socket read, and largest body block.
  static constexpr size_t kReceiveBlock = 32768;
  // Longest status or header line: the line feed may lie at most this far in.
  static constexpr size_t kMaxLineLength = 16384;
  // Unterminated bytes buffered while waiting for a line end before the line
  // is given up as too long: a server that never ends its line cannot
  // exhaust memory.
  static constexpr size_t kMaxUnterminatedLine = 1 << 20;

  explicit TTcpConnection(IWorkSink& work) : FWork(work) {}

  // Resolves the host and connects, raising the network error on failure.
  // timeoutMs 0 means 120000 ms while the message pump is usable and no
  // limit otherwise.
  void Open(const std::string& host, int port, bool ipv6, int timeoutMs);
  const std::string& Host() const { return FHost; }
  int Port() const { return FPort; }

  // Checks the socket without waiting: moves arrived bytes into the buffer
  // and notices a close by the peer; gives the pump a turn when nothing came.
  void Poll();
  // Open and not closed by the peer, or unread bytes buffered (after a poll).
  bool Connected();
  // Poll, then shut down the sending side and close.  Buffered bytes stay.
  void Disconnect();
  // Connected and not yet closed.  While a connect is still running (a pump
  // turn may call Connected() or Disconnect() then) the socket is not open.
  bool SocketOpen() const { return FConnected && FSocket.IsOpen(); }
  bool ClosedByPeer() const { return FClosedByPeer; }
  // Closes the socket now (the peer has gone).
  void CloseSocket() {
    FConnected = false;
    FSocket.Close();
  }

  void Send(const std::string& bytes);

  // Reads one line (LF or CR LF ended) as 7-bit text and counts it with its end.
  std::string ReadLine();
  // Bytes received and not yet taken.
  size_t Buffered() const { return FEnd - FStart; }
  void DiscardInput() { FStart = FEnd = 0; }
  // Waits until at least `count` bytes are buffered; raises
  // EConnClosedGracefully when the connection closes first.
  void EnsureBuffered(size_t count);
  // Waits up to timeoutMs for any byte or a close; true when bytes are buffered.
  bool WaitForData(int timeoutMs);
  // Takes `count` buffered bytes into the stream and counts them (the work
  // event fires).  Bytes found waiting are written before they are counted;
  // a body block is counted, the pump gets a turn, and then it is written.
  enum class TTakeOrder { WriteThenCount, CountThenWrite, CountPumpWrite };
  void TakeInto(TStream& stream, size_t count, TTakeOrder order);

 private:
  void ResolveTarget(const std::string& host, int port, bool ipv6, platform::SocketAddress& out);
  void ConnectWithThread(const platform::SocketAddress& address, int timeoutMs);
  // One receive without waiting; true when something changed (bytes, close, failure).
  bool ReceiveOnce(bool lineRead);
  // Waits (in pump slices) until something changes or the time runs out.
  bool WaitForMore(int timeoutMs, bool lineRead);
  void WriteOut(TStream& stream, size_t count);
  bool InputClosed() const { return !SocketOpen() || FClosedByPeer; }

  IWorkSink& FWork;
  platform::TSocket FSocket;
  std::string FHost;
  int FPort = 0;
  bool FConnected = false;
  bool FClosedByPeer = false;
  std::vector<char> FBuffer;
  size_t FStart = 0;
  size_t FEnd = 0;
};

// One line of a request as sent on the wire, without its line end: every
// character above 127 becomes "?" (one "?" per UTF-16 unit of the character;
// a stray byte counts as one character), and so does every control
// character, so that text from a URL can never end a line or start another.
std::string WireLineFromUtf8(const std::string& text);
