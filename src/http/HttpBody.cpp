// Reading a response body: deciding whether there is one, and the three
// framings (chunked, a known length, until the server closes).
#include <algorithm>
#include <exception>

#include "http/BodyText.h"
#include "http/Connection.h"
#include "http/HttpClient.h"

namespace {

// A memory stream makes room ahead for the announced length only up to this
// much; the rest grows as bytes arrive, so an absurd announcement costs
// nothing.  (A file stream is never grown ahead.)
constexpr int64_t kFirstReservation = 64 << 20;
constexpr int kRedirectBodyWaitMs = 5000;

// A chunk-size line: hexadecimal digits up to any ";" extension.  Anything
// else, including a size beyond 64 bits, reads as 0 and ends the body.
int64_t ChunkSizeOf(const std::string& line) {
  std::string text = TrimText(line.substr(0, line.find(';')));
  if (text.empty()) return 0;
  uint64_t size = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return 0;
    if (size > (static_cast<uint64_t>(INT64_MAX) >> 4)) return 0;  // would overflow
    size = (size << 4) | static_cast<uint64_t>(digit);
  }
  return static_cast<int64_t>(size);
}

// Ends a body read on every exit: cuts the stream and closes the transfer.
// The transfer is closed also when the cut fails; an error that is already
// on its way wins over any raised here.
class TBodyReadScope {
 public:
  TBodyReadScope(IWorkSink& work, TStream& stream)
      : FWork(work), FStream(stream), FUncaught(std::uncaught_exceptions()) {}
  ~TBodyReadScope() noexcept(false) {
    const bool failing = std::uncaught_exceptions() > FUncaught;
    std::exception_ptr cutError;
    try {
      FStream.CutAtPosition();
    } catch (...) {
      cutError = std::current_exception();
    }
    if (!failing) {
      FWork.EndWork(TWorkMode::wmRead);
      if (cutError) std::rethrow_exception(cutError);
      return;
    }
    try {
      FWork.EndWork(TWorkMode::wmRead);
    } catch (...) {
      // The read's own error is already on its way.
    }
  }

 private:
  IWorkSink& FWork;
  TStream& FStream;
  int FUncaught;
};

}  // namespace

bool THttpClient::BodyExpected() {
  bool chunked = ContainsTextIgnoringCase(FResponse.TransferEncoding, "chunked");
  if (!chunked && FResponse.HasContentLength() && FResponse.ContentLength <= 0) return false;
  int code = FResponse.ResponseCode();
  if ((code >= 100 && code <= 199) || code == 204 || code == 304) return false;
  if (code >= 300 && code <= 399) {
    return FConnection->Buffered() > 0 || FConnection->WaitForData(kRedirectBodyWaitMs);
  }
  return true;
}

void THttpClient::ReadBody(TStream& stream) {
  if (ContainsTextIgnoringCase(FResponse.TransferEncoding, "chunked")) {
    ReadChunked(stream);
  } else if (FResponse.ContentLength > 0) {
    try {
      ReadKnownLength(stream, FResponse.ContentLength);
    } catch (const EConnClosedGracefully&) {
      // A short body is not an error; the caller sees it by the length.
    }
  } else if (!FResponse.HasContentLength()) {
    ReadUntilClose(stream);
  }
}

void THttpClient::ReadKnownLength(TStream& stream, int64_t length) {
  TBodyReadScope scope(*this, stream);
  BeginWork(TWorkMode::wmRead, length);
  stream.ExpectMore(std::min(length, kFirstReservation));
  TTcpConnection& connection = *FConnection;
  using Order = TTcpConnection::TTakeOrder;
  int64_t missing = length;
  size_t waiting = static_cast<size_t>(std::min<int64_t>(connection.Buffered(), missing));
  if (waiting > 0) {
    connection.TakeInto(stream, waiting, Order::WriteThenCount);
    missing -= static_cast<int64_t>(waiting);
  }
  while (missing > 0) {
    size_t block = static_cast<size_t>(std::min<int64_t>(TTcpConnection::kReceiveBlock, missing));
    try {
      connection.EnsureBuffered(block);
    } catch (const EConnClosedGracefully&) {
      size_t rest = std::min(connection.Buffered(), block);
      if (rest > 0) connection.TakeInto(stream, rest, Order::CountThenWrite);
      throw;
    }
    connection.TakeInto(stream, block, Order::CountPumpWrite);
    missing -= static_cast<int64_t>(block);
  }
}

void THttpClient::ReadUntilClose(TStream& stream) {
  TBodyReadScope scope(*this, stream);
  BeginWork(TWorkMode::wmRead, 0);
  TTcpConnection& connection = *FConnection;
  using Order = TTcpConnection::TTakeOrder;
  if (connection.Buffered() > 0) {
    connection.TakeInto(stream, connection.Buffered(), Order::WriteThenCount);
  }
  for (;;) {
    try {
      connection.EnsureBuffered(TTcpConnection::kReceiveBlock);
    } catch (const EConnClosedGracefully&) {
      // The close is the end of this body.
      if (connection.Buffered() > 0) {
        connection.TakeInto(stream, connection.Buffered(), Order::CountThenWrite);
      }
      return;
    }
    connection.TakeInto(stream, TTcpConnection::kReceiveBlock, Order::CountPumpWrite);
  }
}

void THttpClient::ReadChunked(TStream& stream) {
  // "Chunk Started" would be announced here; nothing in this program listens.
  TBodyReadScope scope(*this, stream);
  BeginWork(TWorkMode::wmRead, 0);
  for (;;) {
    int64_t size = ChunkSizeOf(FConnection->ReadLine());
    if (size == 0) break;
    ReadKnownLength(stream, size);  // nested: counts into the outer transfer
    FConnection->ReadLine();        // the line end after the data
  }
  // The trailer: kept with the headers, up to as many lines as a header block.
  int kept = 0;
  for (std::string line = FConnection->ReadLine(); !line.empty(); line = FConnection->ReadLine()) {
    if (kept++ < MaxHeaderLines) FResponse.RawHeaders.Add(line);
  }
}

void THttpClient::RaiseProtocolError() {
  TMemoryStream scratch(kErrorBodyKeepLimit);
  try {
    if (BodyExpected()) ReadBody(scratch);
  } catch (const EConnClosedGracefully&) {
    // A cut error body still leaves the status as the failure to report.
  }
  std::string text = ErrorBodyText(scratch, FResponse.ContentType, FResponse.CharSet);
  throw EHttpProtocolException(FResponse.ResponseCode(), FResponse.ResponseText, text);
}
