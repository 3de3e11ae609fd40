#include "DemoServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

DemoServer::DemoServer(ServerOptions options) : options_(std::move(options)), site_(options_.root) {
  // A client that goes away mid-answer must end that connection, not the server.
  std::signal(SIGPIPE, SIG_IGN);
  wake_ = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.IsOpen()) Fail("eventfd");
}

DemoServer::~DemoServer() { Stop(); }

std::uint16_t DemoServer::Listen() {
  listener_ = FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener_.IsOpen()) Fail("socket");
  int on = 1;
  ::setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never reachable from outside
  address.sin_port = htons(options_.port);
  if (::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    Fail("cannot bind 127.0.0.1:" + std::to_string(options_.port));
  if (::listen(listener_.Get(), SOMAXCONN) != 0) Fail("listen");

  socklen_t length = sizeof address;
  ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

void DemoServer::Run() {
  pollfd entries[2] = {{listener_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
  while (!stopping_) {
    int ready = ::poll(entries, 2, -1);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (entries[0].revents & POLLIN)) Accept();
  }
  listener_ = FileDescriptor();

  std::unique_lock lock(mutex_);
  for (int socket : openSockets_) ::shutdown(socket, SHUT_RDWR);
  allEnded_.wait(lock, [this] { return openSockets_.empty(); });
}

void DemoServer::Stop() {
  stopping_ = true;
  std::uint64_t one = 1;
  // Only async-signal-safe calls here, so a signal handler may call Stop().
  [[maybe_unused]] ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

void DemoServer::Accept() {
  int socket = ::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (socket < 0) return;
  std::lock_guard lock(mutex_);
  if (stopping_ || openSockets_.size() >= kMaxConnections) {
    ::close(socket);
    return;
  }
  openSockets_.insert(socket);
  std::thread([this, socket] { ServeConnection(socket); }).detach();
}

void DemoServer::ServeConnection(int socket) {
  {
    Connection connection(socket, site_, options_.idleTimeout,
                          [this](const RequestHead& request, const Resource& resource,
                                 long long bodySent) { LogRequest(request, resource, bodySent); });
    connection.Serve();
  }
  // Nothing of this thread touches the server once the set is empty:
  // Run() may return and the server be destroyed right after.

  std::lock_guard lock(mutex_);
  ::close(socket);
  openSockets_.erase(socket);
  if (openSockets_.empty()) allEnded_.notify_all();
}

void DemoServer::LogRequest(const RequestHead& request, const Resource& resource,
                            long long bodySent) const {
  if (!options_.log) return;
  std::string line = request.method + " " + request.target + " " + std::to_string(resource.status) +
                     " " + std::to_string(resource.BodyLength()) + " " + std::to_string(bodySent) +
                     "\n";
  std::cerr << line << std::flush;
}
