#include "support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

// ---- the script ------------------------------------------------------------

ConnectionScript& ConnectionScript::ExpectRequest() {
  FSteps.push_back({Step::Kind::ExpectRequest, "", 0});
  return *this;
}
ConnectionScript& ConnectionScript::WaitForBytes(size_t total) {
  FSteps.push_back({Step::Kind::WaitForBytes, "", total});
  return *this;
}
ConnectionScript& ConnectionScript::Send(std::string bytes) {
  FSteps.push_back({Step::Kind::Send, std::move(bytes), 0});
  return *this;
}
ConnectionScript& ConnectionScript::SendInPieces(std::string bytes, size_t pieceSize) {
  pieceSize = std::max<size_t>(pieceSize, 1);
  for (size_t at = 0; at < bytes.size(); at += pieceSize) Send(bytes.substr(at, pieceSize));
  return *this;
}
ConnectionScript& ConnectionScript::SendGenerated(uint64_t count) {
  FSteps.push_back({Step::Kind::SendGenerated, "", count});
  return *this;
}
ConnectionScript& ConnectionScript::Trickle(std::string bytes, size_t pieceSize, int intervalMs) {
  FSteps.push_back({Step::Kind::Trickle, std::move(bytes), std::max<size_t>(pieceSize, 1)});
  FSteps.back().intervalMs = intervalMs;
  return *this;
}
ConnectionScript& ConnectionScript::Stall() {
  FSteps.push_back({Step::Kind::Stall, "", 0});
  return *this;
}
ConnectionScript& ConnectionScript::ShutdownWrite() {
  FSteps.push_back({Step::Kind::ShutdownWrite, "", 0});
  return *this;
}
ConnectionScript& ConnectionScript::Close() {
  FSteps.push_back({Step::Kind::Close, "", 0});
  return *this;
}
ConnectionScript& ConnectionScript::Reset() {
  FSteps.push_back({Step::Kind::Reset, "", 0});
  return *this;
}

// ---- the server ------------------------------------------------------------

struct ScriptedServer::Connection {
  int handle = -1;
  std::string received;  // guarded by the server's lock
  size_t headsConsumed = 0;
  bool clientClosed = false;
  std::thread thread;
};

ScriptedServer::ScriptedServer() {
  FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(FListener, 64);
  socklen_t length = sizeof address;
  getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStopping = true;
    // Wake every blocked accept and recv.
    shutdown(FListener, SHUT_RDWR);
    for (auto& connection : FConnections) {
      if (connection->handle >= 0) shutdown(connection->handle, SHUT_RDWR);
    }
  }
  FChanged.notify_all();
  FAcceptThread.join();
  for (auto& connection : FConnections) {
    if (connection->thread.joinable()) connection->thread.join();
  }
  close(FListener);
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void ScriptedServer::AddConnection(ConnectionScript script) {
  std::lock_guard<std::mutex> guard(FLock);
  FScripts.push_back(std::move(script));
}

void ScriptedServer::AddRoute(const std::string& path, std::string response) {
  std::lock_guard<std::mutex> guard(FLock);
  FRoutes[path] = std::move(response);
}

void ScriptedServer::AddFile(const std::string& path, const std::string& body) {
  AddRoute(path, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\nContent-Type: application/octet-stream\r\n\r\n" + body);
}

std::vector<std::string> ScriptedServer::RequestLines() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRequestLines;
}

int ScriptedServer::ConnectionsAccepted() const {
  std::lock_guard<std::mutex> guard(FLock);
  return static_cast<int>(FConnections.size());
}

std::string ScriptedServer::Received(int connection) const {
  std::lock_guard<std::mutex> guard(FLock);
  if (connection < 0 || connection >= static_cast<int>(FConnections.size())) return "";
  return FConnections[static_cast<size_t>(connection)]->received;
}

bool ScriptedServer::ClientClosed(int connection) const {
  std::lock_guard<std::mutex> guard(FLock);
  if (connection < 0 || connection >= static_cast<int>(FConnections.size())) return false;
  return FConnections[static_cast<size_t>(connection)]->clientClosed;
}

void ScriptedServer::Release() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    ++FReleases;
  }
  FChanged.notify_all();
}

bool ScriptedServer::WaitFor(const std::function<bool()>& condition, int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> guard(FLock);
  for (;;) {
    guard.unlock();
    bool met = condition();
    guard.lock();
    if (met) return true;
    // Conditions may also depend on the client's side, so look again now and then.
    auto slice =
        std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    if (FChanged.wait_until(guard, slice) == std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      guard.unlock();
      return condition();
    }
  }
}

void ScriptedServer::Changed() { FChanged.notify_all(); }

void ScriptedServer::AcceptLoop() {
  for (;;) {
    int handle = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard<std::mutex> guard(FLock);
    if (FStopping) {
      if (handle >= 0) close(handle);
      return;
    }
    if (handle < 0) continue;
    auto connection = std::make_unique<Connection>();
    connection->handle = handle;
    Connection* serving = connection.get();
    FConnections.push_back(std::move(connection));
    serving->thread = std::thread([this, serving] { Serve(*serving); });
    FChanged.notify_all();
  }
}

void ScriptedServer::Serve(Connection& connection) {
  ConnectionScript script;
  bool scripted = false;
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FNextScript < FScripts.size()) {
      script = FScripts[FNextScript++];  // a copy: tests may add scripts meanwhile
      scripted = true;
    }
  }
  if (scripted) {
    PlayScript(connection, script);
  } else {
    ServeRoutes(connection);
  }
}

// ---- receiving and sending -------------------------------------------------

bool ScriptedServer::ReadMore(Connection& connection) {
  char buffer[65536];
  int handle;
  {
    std::lock_guard<std::mutex> guard(FLock);
    handle = connection.handle;
  }
  ssize_t count = handle < 0 ? 0 : recv(handle, buffer, sizeof buffer, 0);
  std::lock_guard<std::mutex> guard(FLock);
  if (count <= 0) {
    connection.clientClosed = true;
    FChanged.notify_all();
    return false;
  }
  connection.received.append(buffer, static_cast<size_t>(count));
  FChanged.notify_all();
  return true;
}

bool ScriptedServer::ReadRequestHead(Connection& connection, std::string& head) {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      size_t end = connection.received.find("\r\n\r\n", connection.headsConsumed);
      if (end != std::string::npos) {
        head = connection.received.substr(connection.headsConsumed,
                                          end + 4 - connection.headsConsumed);
        connection.headsConsumed = end + 4;
        return true;
      }
    }
    if (!ReadMore(connection)) return false;
  }
}

bool ScriptedServer::SendAll(Connection& connection, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t count = send(connection.handle, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

void ScriptedServer::SendGeneratedBytes(Connection& connection, uint64_t count) {
  std::string pattern(26 << 15, ' ');  // a whole number of alphabets
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>('a' + i % 26);
  for (uint64_t sent = 0; sent < count;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(count - sent, pattern.size()));
    if (!SendAll(connection, piece == pattern.size() ? pattern : pattern.substr(0, piece))) return;
    sent += piece;
  }
}

// The pause between pieces is the link's pace, not a wait for anything; it
// ends early when the server stops.
void ScriptedServer::TrickleBytes(Connection& connection, const ConnectionScript::Step& step) {
  for (size_t at = 0; at < step.bytes.size(); at += step.count) {
    if (at > 0) {
      std::unique_lock<std::mutex> guard(FLock);
      if (FChanged.wait_for(guard, std::chrono::milliseconds(step.intervalMs),
                            [&] { return FStopping; }))
        return;
    }
    if (!SendAll(connection, step.bytes.substr(at, step.count))) return;
  }
}

void ScriptedServer::CloseConnection(Connection& connection, bool reset) {
  std::lock_guard<std::mutex> guard(FLock);
  if (connection.handle < 0) return;
  if (reset) {
    linger abort = {1, 0};
    setsockopt(connection.handle, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  close(connection.handle);
  connection.handle = -1;
  FChanged.notify_all();
}

// ---- the two modes ---------------------------------------------------------

void ScriptedServer::PlayScript(Connection& connection, const ConnectionScript& script) {
  using Kind = ConnectionScript::Step::Kind;
  std::string head;
  for (const auto& step : script.Steps()) {
    switch (step.kind) {
      case Kind::ExpectRequest:
        if (!ReadRequestHead(connection, head)) return CloseConnection(connection, false);
        break;
      case Kind::WaitForBytes:
        for (;;) {
          {
            std::lock_guard<std::mutex> guard(FLock);
            if (connection.received.size() >= step.count) break;
          }
          if (!ReadMore(connection)) return CloseConnection(connection, false);
        }
        break;
      case Kind::Send:
        SendAll(connection, step.bytes);
        break;
      case Kind::SendGenerated:
        SendGeneratedBytes(connection, step.count);
        break;
      case Kind::Trickle:
        TrickleBytes(connection, step);
        break;
      case Kind::Stall: {
        std::unique_lock<std::mutex> guard(FLock);
        FChanged.wait(guard, [&] { return FStopping || FReleases > 0; });
        if (FStopping) {
          guard.unlock();
          return CloseConnection(connection, false);
        }
        --FReleases;
        break;
      }
      case Kind::ShutdownWrite:
        shutdown(connection.handle, SHUT_WR);
        break;
      case Kind::Close:
        return CloseConnection(connection, false);
      case Kind::Reset:
        return CloseConnection(connection, true);
    }
  }
  // Past its script the connection only listens.  A request nobody scripted
  // gets a close, so a test that expected an answer fails instead of hanging.
  {
    std::lock_guard<std::mutex> guard(FLock);
    size_t lastHead = connection.received.rfind("\r\n\r\n");
    if (lastHead != std::string::npos) {
      connection.headsConsumed = std::max(connection.headsConsumed, lastHead + 4);
    }
  }
  while (ReadMore(connection)) {
    std::lock_guard<std::mutex> guard(FLock);
    if (connection.received.find("\r\n\r\n", connection.headsConsumed) != std::string::npos) break;
  }
  CloseConnection(connection, false);
}

namespace {

bool SaysClose(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("\r\nconnection: close") != std::string::npos;
}

}  // namespace

void ScriptedServer::ServeRoutes(Connection& connection) {
  std::string head;
  while (ReadRequestHead(connection, head)) {
    std::string line = head.substr(0, head.find("\r\n"));
    size_t first = line.find(' ');
    size_t last = line.rfind(' ');
    std::string target = first == std::string::npos || last <= first
                             ? std::string()
                             : line.substr(first + 1, last - first - 1);
    std::string response;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FRequestLines.push_back(line);
      auto found = FRoutes.find(target);
      if (found == FRoutes.end()) found = FRoutes.find(target.substr(0, target.find('?')));
      response = found != FRoutes.end()
                     ? found->second
                     : "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found";
    }
    if (!SendAll(connection, response) || SaysClose(head) || SaysClose(response)) break;
  }
  CloseConnection(connection, false);
}
