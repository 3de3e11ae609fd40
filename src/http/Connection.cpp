#include "http/Connection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "http/HeaderList.h"
#include "http/MessagePump.h"
#include "http/NetErrors.h"
#include "http/Stream.h"
#include "platform/Resolver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultConnectTimeoutMs = 120000;
// The longest sleep while a connect runs (shorter when the pump's idle time is).
constexpr int kConnectSliceMs = 125;

bool IsPeerGone(int lastError) {
  return lastError == 10053 || lastError == 10054 || lastError == 10058;
}

int MillisecondsLeft(Clock::time_point deadline) {
  // Rounded up, so a wait never ends before its deadline.
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

// The length of one UTF-8 sequence starting with `lead`, 1 for a stray byte.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::string WireLineFromUtf8(const std::string& text) {
  std::string wire;
  wire.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 128) {
      bool control = c < 32 || c == 127;
      wire += control ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    size_t length = Utf8SequenceLength(c);
    size_t valid = 1;
    while (valid < length && i + valid < text.size() &&
           (static_cast<unsigned char>(text[i + valid]) & 0xC0) == 0x80) {
      ++valid;
    }
    // A character beyond the 16-bit range is two UTF-16 units, so two "?".
    bool whole = valid == length;
    wire += whole && length == 4 ? "??" : "?";
    i += whole ? length : 1;
  }
  return wire;
}

// ---- connecting -----------------------------------------------------------

void TTcpConnection::Open(const std::string& host, int port, bool ipv6, int timeoutMs) {
  CloseSocket();
  FHost = host;
  FPort = port;
  FClosedByPeer = false;
  DiscardInput();
  platform::SocketAddress address;
  ResolveTarget(host, port, ipv6, address);
  if (int error = FSocket.Open(address.IPv6)) RaiseSocketError(error);
  if (FSocket.BindAny() != 0) {
    FSocket.Close();
    RaiseCouldNotBindSocket();
  }
  if (timeoutMs <= 0 && !TMessagePump::Usable()) {
    // No pump to feed and no limit: the connect blocks in the socket call.
    if (int error = FSocket.Connect(address)) {
      FSocket.Close();
      RaiseSocketError(error);
    }
  } else {
    ConnectWithThread(address, timeoutMs > 0 ? timeoutMs : kDefaultConnectTimeoutMs);
  }
  FConnected = true;
}

void TTcpConnection::ResolveTarget(const std::string& host, int port, bool ipv6,
                                   platform::SocketAddress& out) {
  uint16_t wirePort = static_cast<uint16_t>(port);
  if (SameTextIgnoringCase(host, "localhost")) {
    platform::ParseAddressLiteral("127.0.0.1", false, wirePort, out);
    return;
  }
  if (ipv6) {
    if (!platform::ParseAddressLiteral(host, true, wirePort, out)) RaiseSocketError(11001);
    return;
  }
  if (platform::ParseAddressLiteral(host, false, wirePort, out)) return;
  platform::IPv4Address resolved = 0;
  if (int error = platform::ResolveIPv4(host, resolved)) RaiseSocketError(error);
  out = platform::MakeIPv4Address(resolved, wirePort);
}

// The connect runs on a short-lived thread; this thread sleeps in short
// slices, giving the pump a turn after each, until the outcome is known or
// the time is up.
void TTcpConnection::ConnectWithThread(const platform::SocketAddress& address, int timeoutMs) {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  int outcome = 0;
  std::thread connector([&] {
    int error = FSocket.Connect(address);
    std::lock_guard<std::mutex> guard(lock);
    outcome = error;
    done = true;
    finished.notify_one();
  });
  auto stopConnector = [&] {
    FSocket.CancelConnect();
    connector.join();
    FSocket.Close();
  };
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  try {
    for (;;) {
      {
        std::unique_lock<std::mutex> guard(lock);
        if (done) break;
        const int left = MillisecondsLeft(deadline);
        if (left <= 0) break;
        const int slice = std::min({kConnectSliceMs, TMessagePump::IdleSliceMs(), left});
        finished.wait_for(guard, std::chrono::milliseconds(slice));
      }
      TMessagePump::ProcessTurn(true);
    }
  } catch (...) {
    stopConnector();
    throw;
  }
  bool connected;
  {
    std::lock_guard<std::mutex> guard(lock);
    connected = done;
  }
  if (!connected) {
    // The connector's own failure after the cancel is of no interest.
    stopConnector();
    RaiseConnectTimeout();
  }
  connector.join();
  if (outcome != 0) {
    FSocket.Close();
    RaiseSocketError(outcome);
  }
}

// ---- state ---------------------------------------------------------------

void TTcpConnection::Poll() {
  if (SocketOpen() && !FClosedByPeer) {
    size_t before = Buffered();
    try {
      ReceiveOnce(false);
    } catch (const ESocketError&) {
      // The socket is closed by now; the read that needs it will report.
    }
    if (Buffered() != before || InputClosed()) return;
  }
  TMessagePump::ProcessTurn(true);
}

bool TTcpConnection::Connected() {
  Poll();
  return (SocketOpen() && !FClosedByPeer) || Buffered() > 0;
}

void TTcpConnection::Disconnect() {
  Poll();
  if (!SocketOpen()) return;
  FSocket.ShutdownWrite();
  CloseSocket();
}

void TTcpConnection::Send(const std::string& bytes) {
  if (!SocketOpen()) RaiseSocketError(10058);
  if (int error = FSocket.SendAll(bytes.data(), bytes.size())) {
    CloseSocket();
    RaiseSocketError(error);
  }
  FWork.DoWork(TWorkMode::wmWrite, static_cast<int64_t>(bytes.size()));
  TMessagePump::ProcessTurn(false);
}

// ---- receiving -----------------------------------------------------------

bool TTcpConnection::ReceiveOnce(bool lineRead) {
  if (!SocketOpen() || FClosedByPeer) return true;
  if (FBuffer.size() - FEnd < kReceiveBlock) {
    if (FStart > 0) {
      std::memmove(FBuffer.data(), FBuffer.data() + FStart, FEnd - FStart);
      FEnd -= FStart;
      FStart = 0;
    }
    if (FBuffer.size() - FEnd < kReceiveBlock) {
      // Room for several blocks, so the leftover is moved to the front rarely.
      FBuffer.resize(std::max(FEnd + kReceiveBlock, 4 * kReceiveBlock));
    }
  }
  auto result = FSocket.Receive(FBuffer.data() + FEnd, kReceiveBlock);
  using Status = platform::TSocket::ReceiveStatus;
  switch (result.Status) {
    case Status::Data:
      FEnd += result.Count;
      return true;
    case Status::NothingYet:
      return false;
    case Status::ClosedByPeer:
      FClosedByPeer = true;
      return true;
    case Status::Failed:
      break;
  }
  CloseSocket();
  if (IsPeerGone(result.Error)) {
    FClosedByPeer = true;
    // A line read that finds nothing at all buffered reports the reset itself.
    if (lineRead && Buffered() == 0) RaiseSocketError(result.Error);
    return true;
  }
  RaiseSocketError(result.Error);
}

bool TTcpConnection::WaitForMore(int timeoutMs, bool lineRead) {
  size_t before = Buffered();
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (ReceiveOnce(lineRead)) {
      // Bytes trickling in more often than an idle slice must not keep the
      // pump from its turns until the block or line is complete.
      TMessagePump::TurnIfDue();
      return true;
    }
    bool pumping = TMessagePump::Usable();
    int slice = pumping ? TMessagePump::IdleSliceMs() : -1;
    if (timeoutMs >= 0) {
      int left = MillisecondsLeft(deadline);
      slice = slice < 0 ? left : std::min(slice, left);
    }
    if (FSocket.WaitReadable(slice)) continue;
    TMessagePump::ProcessTurn(true);
    // A handler run by the pump may have polled the socket (moving the bytes
    // we wait for into the buffer) or closed it.
    if (Buffered() != before || InputClosed()) return true;
    if (timeoutMs >= 0 && MillisecondsLeft(deadline) <= 0) return false;
  }
}

std::string TTcpConnection::ReadLine() {
  size_t scanned = 0;
  for (;;) {
    const char* begin = FBuffer.data() + FStart;
    const void* found =
        Buffered() > scanned ? std::memchr(begin + scanned, '\n', Buffered() - scanned) : nullptr;
    if (found != nullptr) {
      size_t lineFeed = static_cast<size_t>(static_cast<const char*>(found) - begin);
      if (lineFeed > kMaxLineLength) RaiseMaxLineLengthExceeded();
      size_t textLength = lineFeed > 0 && begin[lineFeed - 1] == '\r' ? lineFeed - 1 : lineFeed;
      std::string line(begin, textLength);
      for (char& c : line) {
        if (static_cast<unsigned char>(c) > 127) c = '?';
      }
      FStart += lineFeed + 1;
      if (FStart == FEnd) FStart = FEnd = 0;
      FWork.DoWork(TWorkMode::wmRead, static_cast<int64_t>(lineFeed + 1));
      return line;
    }
    scanned = Buffered();
    if (scanned > kMaxUnterminatedLine) RaiseMaxLineLengthExceeded();
    if (InputClosed()) RaiseConnClosedGracefully();
    WaitForMore(-1, true);
  }
}

void TTcpConnection::EnsureBuffered(size_t count) {
  while (Buffered() < count) {
    if (InputClosed()) RaiseConnClosedGracefully();
    WaitForMore(-1, false);
  }
}

bool TTcpConnection::WaitForData(int timeoutMs) {
  while (Buffered() == 0 && !InputClosed()) {
    if (!WaitForMore(timeoutMs, false)) break;
  }
  return Buffered() > 0;
}

void TTcpConnection::TakeInto(TStream& stream, size_t count, TTakeOrder order) {
  if (order == TTakeOrder::WriteThenCount) {
    WriteOut(stream, count);
    FWork.DoWork(TWorkMode::wmRead, static_cast<int64_t>(count));
    return;
  }
  // The bytes stay in the buffer while the event and the pump turn run: a
  // nested poll only appends (or moves them to the front, offsets intact).
  FWork.DoWork(TWorkMode::wmRead, static_cast<int64_t>(count));
  if (order == TTakeOrder::CountPumpWrite) TMessagePump::ProcessTurn(true);
  WriteOut(stream, count);
}

void TTcpConnection::WriteOut(TStream& stream, size_t count) {
  stream.Write(FBuffer.data() + FStart, count);
  FStart += count;
  if (FStart == FEnd) FStart = FEnd = 0;
}
