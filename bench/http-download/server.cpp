// http-download-server SIZE [REQUESTS] [SECONDS]
//
// Serves SIZE bytes for every GET on 127.0.0.1 (an ephemeral port, printed
// as the first line of standard output), with a Content-Length and
// keep-alive, as fast as the socket takes them.  It stops by itself after
// REQUESTS responses (default 4) or SECONDS seconds (default 300).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool SendAll(int handle, const char* data, size_t size) {
  while (size > 0) {
    ssize_t sent = send(handle, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

// Reads up to the end of the next request head; false when the client went.
bool ReadRequestHead(int handle, std::string& pending) {
  char buffer[4096];
  while (pending.find("\r\n\r\n") == std::string::npos) {
    ssize_t count = recv(handle, buffer, sizeof buffer, 0);
    if (count <= 0) return false;
    pending.append(buffer, static_cast<size_t>(count));
  }
  pending.erase(0, pending.find("\r\n\r\n") + 4);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: http-download-server SIZE [REQUESTS] [SECONDS]\n");
    return 2;
  }
  long long size = std::atoll(argv[1]);
  int requests = argc > 2 ? std::atoi(argv[2]) : 4;
  alarm(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 300);

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0) {
    std::perror("listen");
    return 1;
  }
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);

  std::vector<char> pattern(1 << 20);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>('a' + i % 26);
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                     "\r\nContent-Type: application/octet-stream\r\n\r\n";
  while (requests > 0) {
    int handle = accept(listener, nullptr, nullptr);
    if (handle < 0) continue;
    std::string pending;
    while (requests > 0 && ReadRequestHead(handle, pending)) {
      --requests;
      bool ok = SendAll(handle, head.data(), head.size());
      for (long long left = size; ok && left > 0;) {
        size_t piece = static_cast<size_t>(std::min<long long>(left, pattern.size()));
        ok = SendAll(handle, pattern.data(), piece);
        left -= static_cast<long long>(piece);
      }
      if (!ok) break;
    }
    close(handle);
  }
  close(listener);
  return 0;
}
