#pragma once
// Shared pieces of the HTTP client tests: response texts, a recorder for the
// work events, and reading a stream back as text.
#include <cstdint>
#include <string>
#include <vector>

#include "http/HttpClient.h"

namespace httptest {

inline std::string Body(size_t size, char fill = 'x') { return std::string(size, fill); }

inline std::string Ok(const std::string& body, const std::string& extraHeaders = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         extraHeaders + "\r\n" + body;
}

inline std::string StreamText(const TMemoryStream& stream) {
  return std::string(stream.Data() == nullptr ? "" : stream.Data(),
                     static_cast<size_t>(stream.Size()));
}

// Records the work events as text lines: "begin N", "work N", "end".
struct WorkLog {
  std::vector<std::string> events;
  std::vector<int64_t> counts;

  void Attach(THttpClient& client) {
    client.OnWorkBegin = [this](THttpClient*, TWorkMode, int64_t max) {
      events.push_back("begin " + std::to_string(max));
    };
    client.OnWork = [this](THttpClient*, TWorkMode, int64_t count) {
      events.push_back("work " + std::to_string(count));
      counts.push_back(count);
    };
    client.OnWorkEnd = [this](THttpClient*, TWorkMode) { events.push_back("end"); };
  }
};

}  // namespace httptest
