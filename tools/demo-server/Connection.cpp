#include "Connection.h"

#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <variant>

#include "Site.h"
#include "Target.h"

namespace {

constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kReceiveBlock = 16 * 1024;
constexpr long long kMaxDiscardedBody = 1024 * 1024;
// sendfile moves at most about 2 GiB a call; ask for big blocks so a large
// download costs few system calls.
constexpr off_t kSendFileBlock = 1 << 30;

// The end of a head: the empty line, after CR LF or bare LF line ends.
size_t HeadEnd(const std::string& bytes, size_t& terminatorLength) {
  size_t crlf = bytes.find("\r\n\r\n");
  size_t lf = bytes.find("\n\n");
  if (lf != std::string::npos && (crlf == std::string::npos || lf < crlf)) {
    terminatorLength = 2;
    return lf;
  }
  terminatorLength = 4;
  return crlf;
}

}  // namespace

Connection::Connection(int socket, const Site& site, std::chrono::milliseconds idleTimeout,
                       RequestLogger logger)
    : socket_(socket), site_(site), idleTimeout_(idleTimeout), logger_(std::move(logger)) {}

void Connection::Serve() {
  for (;;) {
    std::string head;
    Read read = ReadHead(head);
    if (read == Read::kClosed) return;
    if (read == Read::kTooLarge) {
      Send(Resource::Error(431, "Request Header Fields Too Large"), false, false);
      return;
    }
    auto parsed = ParseRequestHead(head);
    if (auto* error = std::get_if<HeadError>(&parsed)) {
      Send(Resource::Error(error->status, error->reason), false, false);
      return;
    }
    if (!Answer(std::get<RequestHead>(parsed))) return;
  }
}

bool Connection::WaitReadable() {
  pollfd entry{socket_, POLLIN, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, static_cast<int>(idleTimeout_.count()));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

Connection::Read Connection::ReadHead(std::string& head) {
  for (;;) {
    size_t terminatorLength = 0;
    size_t end = HeadEnd(pending_, terminatorLength);
    if (end != std::string::npos && end <= kMaxHeadBytes) {
      head = pending_.substr(0, end);
      pending_.erase(0, end + terminatorLength);
      return Read::kHead;
    }
    if (pending_.size() > kMaxHeadBytes) return Read::kTooLarge;
    if (!WaitReadable()) return Read::kClosed;
    char block[kReceiveBlock];
    ssize_t received = ::recv(socket_, block, sizeof block, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return Read::kClosed;
    pending_.append(block, static_cast<size_t>(received));
  }
}

// A GET or HEAD has no use for a body, but one that is announced must be
// read past so the next request on the connection starts at the right byte.
bool Connection::DiscardBody(const RequestHead& request) {
  std::string length = request.Field("Content-Length").value_or("0");
  char* end = nullptr;
  long long remaining = std::strtoll(length.c_str(), &end, 10);
  if (length.empty() || *end != '\0' || remaining < 0 || remaining > kMaxDiscardedBody)
    return false;
  while (static_cast<long long>(pending_.size()) < remaining) {
    if (!WaitReadable()) return false;
    char block[kReceiveBlock];
    ssize_t received = ::recv(socket_, block, sizeof block, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return false;
    pending_.append(block, static_cast<size_t>(received));
  }
  pending_.erase(0, static_cast<size_t>(remaining));
  return true;
}

bool Connection::Answer(const RequestHead& request) {
  if (request.Field("Transfer-Encoding")) {
    Send(Resource::Error(501, "Not Implemented"), false, false);
    return false;
  }
  if (!DiscardBody(request)) {
    Send(Resource::Error(400, "Bad Request"), false, false);
    return false;
  }
  bool headOnly = request.method == "HEAD";
  Resource resource;
  if (request.method != "GET" && !headOnly) {
    resource = Resource::Error(405, "Method Not Allowed");
  } else if (auto segments = TargetSegments(request.target)) {
    resource = site_.Find(*segments);
  } else {
    resource = Resource::Error(404, "Not Found");
  }
  bool keepAlive = request.KeepAlive();
  bool sent = Send(resource, headOnly, keepAlive);
  if (logger_) logger_(request, resource, bodySent_);
  return sent && keepAlive;
}

bool Connection::Send(const Resource& resource, bool headOnly, bool keepAlive) {
  std::string head = "HTTP/1.1 " + std::to_string(resource.status) + " " + resource.reason +
                     "\r\nServer: quorvin-demo-server\r\nContent-Type: " + resource.contentType +
                     "\r\nContent-Length: " + std::to_string(resource.BodyLength()) + "\r\n";
  if (resource.status == 405) head += "Allow: GET, HEAD\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  bodySent_ = 0;
  if (headOnly) return SendAll(head.data(), head.size(), false);
  if (!SendAll(head.data(), head.size(), true)) return false;
  if (!resource.file.IsOpen())
    return SendAll(resource.text.data(), resource.text.size(), false, &bodySent_);
  return SendFile(resource.file.Get(), resource.fileSize);
}

bool Connection::SendAll(const char* data, size_t length, bool more, long long* counted) {
  int flags = MSG_NOSIGNAL | (more ? MSG_MORE : 0);
  while (length > 0) {
    ssize_t sent = ::send(socket_, data, length, flags);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
    if (counted) *counted += sent;
  }
  return true;
}

// Sends the file from the page cache without copying it through this
// process.  A file that shrinks while it is sent ends the connection, since
// the announced length can then no longer be kept.
bool Connection::SendFile(int file, off_t length) {
  off_t offset = 0;
  while (offset < length) {
    size_t block = static_cast<size_t>(std::min(length - offset, kSendFileBlock));
    ssize_t sent = ::sendfile(socket_, file, &offset, block);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bodySent_ += sent;
  }
  return true;
}
