#include "http/HttpClient.h"

#include <charconv>

#include "http/Connection.h"
#include "http/CookieJar.h"

namespace {

// The port text as a number: 80 when it is not one; -1 when out of range.
int PortNumber(const std::string& text) {
  int port = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (error == std::errc::result_out_of_range) return -1;
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return 80;
  return port >= 0 && port <= 65535 ? port : -1;
}

// The caller's stream as the body read sees it, noting a write the stream
// refused (a full disk, a body over its cap).
class TWatchedStream : public TStream {
 public:
  explicit TWatchedStream(TStream& stream) : FStream(stream) {}
  bool Refused() const { return FRefused; }

  int64_t Position() const override { return FStream.Position(); }
  int64_t Size() const override { return FStream.Size(); }
  void Write(const void* data, size_t size) override {
    try {
      FStream.Write(data, size);
    } catch (...) {
      FRefused = true;
      throw;
    }
  }
  void CutAtPosition() override { FStream.CutAtPosition(); }
  void ExpectMore(int64_t bytes) override { FStream.ExpectMore(bytes); }

 private:
  TStream& FStream;
  bool FRefused = false;
};

}  // namespace

THttpClient::THttpClient() = default;
THttpClient::~THttpClient() = default;

// ---- the exchange ----------------------------------------------------------

void THttpClient::Get(const std::string& url, TStream& stream) {
  FResponse.ContentStream = &stream;
  TWatchedStream body(stream);
  try {
    PrepareRequest(url);
    ConnectOrReuse();
    SendRequest();
    ReadStatusAndHeaders();
    Dispatch(body);
  } catch (...) {
    // The connection is settled on every exit; the original error is the
    // one the caller sees.  A body the stream refused to take is left
    // unread: the connection cannot serve another request, and the bytes
    // it buffered are no use to anyone.
    try {
      if (body.Refused()) {
        FResponse.KeepAlive = false;
        Disconnect();
        FConnection->DiscardInput();
      } else if (!EvaluateKeepAlive()) {
        Disconnect();
      }
    } catch (...) {
    }
    FResponse.ContentStream = nullptr;
    throw;
  }
  FResponse.ContentStream = nullptr;
  if (!EvaluateKeepAlive()) Disconnect();
}

void THttpClient::Disconnect() {
  if (FConnection) FConnection->Disconnect();
}

bool THttpClient::Connected() { return FConnection && FConnection->Connected(); }

int THttpClient::ResponseCode() { return FResponse.ResponseCode(); }
std::string THttpClient::ResponseText() { return FResponse.ResponseText; }

int64_t THttpClient::BufferedByteCount() const {
  return FConnection ? static_cast<int64_t>(FConnection->Buffered()) : 0;
}

// ---- preparing and connecting ---------------------------------------------

void THttpClient::PrepareRequest(const std::string& url) {
  FRequest.URL = url;
  FRequest.Method = "GET";
  FRequest.ContentLength = -1;
  TUri uri(url);
  bool relativePath = uri.Protocol.empty() && (uri.Path.empty() || uri.Path[0] != '/');
  FURL.Path = relativePath ? FURL.Path + uri.Path : uri.Path;
  if (FURL.Path.empty()) FURL.Path = "/";
  FURL.Document = uri.Document;
  FURL.Params = uri.Params;
  if (!uri.Host.empty()) {
    FURL.Host = uri.Host;
    FURL.IPVersion = uri.IPVersion;
  }
  if (!uri.Protocol.empty()) {
    FURL.Protocol = uri.Protocol;
  } else if (!SameTextIgnoringCase(FURL.Protocol, "https")) {
    FURL.Protocol = "http";
  }
  if (!uri.Port.empty()) {
    FURL.Port = uri.Port;
  } else if (SameTextIgnoringCase(uri.Protocol, "http")) {
    FURL.Port = "80";
  } else if (SameTextIgnoringCase(uri.Protocol, "https")) {
    FURL.Port = "443";
  } else if (FURL.Port.empty()) {
    RaiseUnknownProtocol();
  }
  FRequest.Username = uri.Username;
  FRequest.Password = uri.Password;
  FRequest.URL = FURL.GetPathAndParams();
  bool defaultPort = (SameTextIgnoringCase(FURL.Protocol, "http") && FURL.Port == "80") ||
                     (SameTextIgnoringCase(FURL.Protocol, "https") && FURL.Port == "443");
  // An IPv6 address keeps its brackets in the header, or its colons would
  // read as a port.
  std::string host = FURL.IPVersion == TIPVersion::Id_IPv6 ? "[" + FURL.Host + "]" : FURL.Host;
  FRequest.Host = defaultPort ? host : host + ":" + FURL.Port;
}

void THttpClient::ConnectOrReuse() {
  if (FURL.Host.empty()) throw EHostRequired("");
  int port = PortNumber(FURL.Port);
  if (port <= 0) throw EPortRequired("");
  if (FConnection && FConnection->SocketOpen() &&
      (!SameTextIgnoringCase(FConnection->Host(), FURL.Host) || FConnection->Port() != port)) {
    Disconnect();
  }
  if (SameTextIgnoringCase(FURL.Protocol, "https")) RaiseTransportInvalid();
  if (FRequest.AcceptEncoding.find("identity") == std::string::npos) {
    FRequest.AcceptEncoding =
        FRequest.AcceptEncoding.empty() ? "identity" : FRequest.AcceptEncoding + ", identity";
  }
  if (!EvaluateKeepAlive()) Disconnect();
  if (FConnection) {
    FConnection->DiscardInput();
    if (FConnection->ClosedByPeer()) FConnection->CloseSocket();
    if (FConnection->Connected()) return;  // reuse the open connection
  } else {
    IWorkSink& work = *this;
    FConnection = std::make_unique<TTcpConnection>(work);
  }
  try {
    FConnection->Open(FURL.Host, port, FURL.IPVersion == TIPVersion::Id_IPv6, ConnectTimeout);
  } catch (...) {
    FConnection.reset();
    throw;
  }
}

// ---- sending ---------------------------------------------------------------

std::string THttpClient::RequestPath() const { return FURL.Path + FURL.Document; }

void THttpClient::SendRequest() {
  THeaderList& headers = FRequest.RawHeaders;
  headers.Clear();
  auto addWhenSet = [&](const char* name, const std::string& value) {
    if (!value.empty()) headers.AddValue(name, value);
  };
  addWhenSet("Host", FRequest.Host);
  addWhenSet("Accept", FRequest.Accept);
  addWhenSet("Accept-Encoding", FRequest.AcceptEncoding);
  addWhenSet("User-Agent", FRequest.UserAgent);
  if (FCookieJar) {
    addWhenSet("Cookie", FCookieJar->GenerateCookieHeader(FURL.Protocol, FURL.Host, RequestPath()));
  }
  std::string request = WireLineFromUtf8(FRequest.Method + " " + FRequest.URL + " HTTP/1.1");
  request += "\r\n";
  for (const std::string& line : headers.FoldedLines()) request += WireLineFromUtf8(line) + "\r\n";
  request += "\r\n";
  FConnection->Send(request);
}

// ---- status line and header block -----------------------------------------

void THttpClient::ReadStatusAndHeaders() {
  do {
    FResponse.ResponseText.clear();
    FResponse.Reset();
    FResponse.ResponseText = FConnection->ReadLine();
    ReadHeaderBlock();
  } while (FResponse.ResponseCode() == 100);
}

void THttpClient::ReadHeaderBlock() {
  FResponse.Reset();
  for (int count = 0; count < MaxHeaderLines; ++count) {
    std::string line;
    try {
      line = FConnection->ReadLine();
    } catch (const EConnClosedGracefully&) {
      Disconnect();  // the lines received so far are the block
      break;
    }
    if (line.empty()) break;
    FResponse.RawHeaders.Add(line);
  }
  FResponse.ParseHeaders();
  StoreCookies();
}

void THttpClient::StoreCookies() {
  if (!FCookieJar) FCookieJar = std::make_unique<TCookieJar>();
  std::vector<std::string> values = FResponse.RawHeaders.AllValues("Set-Cookie");
  if (!values.empty()) {
    FCookieJar->AddServerCookies(values, FURL.Protocol, FURL.Host, RequestPath());
  }
}

// ---- dispatch and keep-alive -----------------------------------------------

void THttpClient::Dispatch(TStream& stream) {
  int code = FResponse.ResponseCode();
  if (code >= 200 && code <= 299) {
    if (BodyExpected()) ReadBody(stream);
    return;
  }
  RaiseProtocolError();
}

bool THttpClient::EvaluateKeepAlive() {
  bool keepAlive = Connected() && !SameTextIgnoringCase(FResponse.Connection, "close") &&
                   !SameTextIgnoringCase(FResponse.ProxyConnection, "close");
  FResponse.KeepAlive = keepAlive;
  return keepAlive;
}

// ---- work events -----------------------------------------------------------

void THttpClient::BeginWork(TWorkMode mode, int64_t size) {
  TWorkRecord& work = FWork[static_cast<int>(mode)];
  if (++work.Level != 1) return;
  work.Size = size;
  work.Position = 0;
  if (OnWorkBegin) OnWorkBegin(this, mode, size);
}

void THttpClient::DoWork(TWorkMode mode, int64_t n) {
  TWorkRecord& work = FWork[static_cast<int>(mode)];
  if (work.Level < 1) return;
  work.Position += n;
  if (OnWork) OnWork(this, mode, work.Position);
}

void THttpClient::EndWork(TWorkMode mode) {
  TWorkRecord& work = FWork[static_cast<int>(mode)];
  bool outermost = work.Level == 1;
  // The level drops first, so a failing handler cannot leave it raised.
  if (work.Level > 0) --work.Level;
  if (outermost && OnWorkEnd) OnWorkEnd(this, mode);
}
