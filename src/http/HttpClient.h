#pragma once
// The HTTP client: blocking HTTP/1.1 GET requests over plain TCP, one at a
// time, on one persistent connection while the server allows it.  The body
// goes into a caller-supplied stream (in memory, or a file as it arrives);
// failures raise the network error family (http/NetErrors.h).  While it waits, the client gives the
// message pump turns and reports body progress through the work events.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/HttpRecords.h"
#include "http/MemoryStream.h"
#include "http/NetErrors.h"
#include "http/Stream.h"
#include "http/Uri.h"
#include "http/WorkEvents.h"

class TCookieJar;
class TTcpConnection;

class THttpClient : private IWorkSink {
 public:
  THttpClient();
  ~THttpClient() override;
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // GET the URL and append the body to the stream at its position.  Returns
  // for a 2xx response; raises otherwise, also with an error the stream
  // raised while it was written.  The stream ends cut to its position.
  void Get(const std::string& url, TStream& stream);
  // Shuts down the sending side and closes the socket (after a poll); bytes
  // already received stay buffered.  Harmless when nothing is open.
  void Disconnect();
  // Polls the socket; true while it is open and the peer has not closed it,
  // or while received bytes are still unread.
  bool Connected();
  // True while a response body is being read (between the transfer's begin
  // and end events): a Disconnect now cuts the transfer at once.
  bool Transferring() const { return FWork[static_cast<int>(TWorkMode::wmRead)].Level > 0; }

  int ResponseCode();
  std::string ResponseText();
  THttpResponse& Response() { return FResponse; }
  THttpRequest& Request() { return FRequest; }

  std::function<void(THttpClient* sender, TWorkMode mode, int64_t workCountMax)> OnWorkBegin;
  std::function<void(THttpClient* sender, TWorkMode mode, int64_t workCount)> OnWork;
  std::function<void(THttpClient* sender, TWorkMode mode)> OnWorkEnd;

  // Connect timeout in milliseconds: 0 means 120000 while the message pump
  // is usable and no limit otherwise.  Only tests shorten it.
  int ConnectTimeout = 0;
  // Most header lines taken per response.
  int MaxHeaderLines = 255;
  // Most bytes of an error response's body kept for the error's text.  The
  // whole body is still read from the connection and counted by the work
  // events; what lies beyond this is dropped as it arrives.
  static constexpr int64_t kErrorBodyKeepLimit = 64 << 10;

  // The cookie jar, created when the first header block is processed.
  TCookieJar* CookieManager() { return FCookieJar.get(); }
  // Received bytes not yet consumed (for diagnostics and tests).
  int64_t BufferedByteCount() const;

 private:
  // The steps of one exchange.
  void PrepareRequest(const std::string& url);
  void ConnectOrReuse();
  void SendRequest();
  void ReadStatusAndHeaders();
  void ReadHeaderBlock();
  void StoreCookies();
  void Dispatch(TStream& stream);
  void RaiseProtocolError();
  bool EvaluateKeepAlive();
  std::string RequestPath() const;

  // Body framings.
  bool BodyExpected();
  void ReadBody(TStream& stream);
  void ReadKnownLength(TStream& stream, int64_t length);
  void ReadUntilClose(TStream& stream);
  void ReadChunked(TStream& stream);

  // IWorkSink
  void BeginWork(TWorkMode mode, int64_t size) override;
  void DoWork(TWorkMode mode, int64_t n) override;
  void EndWork(TWorkMode mode) override;

  THttpRequest FRequest;
  THttpResponse FResponse;
  TUri FURL;  // the parts of the previous request
  std::unique_ptr<TTcpConnection> FConnection;
  std::unique_ptr<TCookieJar> FCookieJar;
  TWorkRecord FWork[2];
};
