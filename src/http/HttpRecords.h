#pragma once
// The request and response records of the HTTP client.  The request record
// persists from request to request; the response record is refilled by every
// response and describes the last one.
#include <cstdint>
#include <string>

#include "http/HeaderList.h"

class TStream;

class THttpRequest {
 public:
  std::string Method = "GET";
  // The URL as given to Get, replaced by the request-URI while preparing.
  std::string URL;
  std::string Host;
  std::string Accept = "text/html, */*";
  std::string AcceptEncoding;  // gains "identity" on the first request
  std::string UserAgent = "Mozilla/3.0";
  std::string Connection;
  int64_t ContentLength = -1;  // -1: no body, no header
  std::string Username;        // recorded from the URL, never sent
  std::string Password;
  THeaderList RawHeaders;  // the header lines built for sending
};

enum class THttpVersion { pv1_0, pv1_1 };

class THttpResponse {
 public:
  // Clears everything a new status line and header block refill.
  void Reset();

  // The status line exactly as received, without its line end.
  std::string ResponseText;
  // The code from ResponseText; -1 when it holds no number.
  int ResponseCode() const;
  THttpVersion ResponseVersion = THttpVersion::pv1_0;

  THeaderList RawHeaders;
  int64_t ContentLength = -1;
  bool HasContentLength() const { return ContentLength >= 0; }
  std::string TransferEncoding;
  std::string Connection;
  std::string ProxyConnection;
  std::string Location;
  std::string ContentType;
  std::string CharSet;
  bool KeepAlive = false;
  TStream* ContentStream = nullptr;  // the caller's stream during Get; not owned

  // Fills the fields above from RawHeaders (first occurrence of a name counts).
  void ParseHeaders();
};

// The status code in a status line: the second space-delimited word as a
// decimal number, -1 when it is not one.
int StatusCodeOf(const std::string& statusLine);
