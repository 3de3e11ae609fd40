#include "platform/Resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <mutex>

#include "platform/SocketErrors.h"

namespace platform {
namespace {

int SystemLookup(const std::string& name, std::vector<IPv4Address>& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int result = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (result != 0) return result;
  for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET) continue;
    out.push_back(reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
  }
  freeaddrinfo(list);
  return out.empty() ? EAI_NODATA : 0;
}

std::mutex gLookupLock;
LookupFunction gLookup;

}  // namespace

int ResolveIPv4(const std::string& name, IPv4Address& address) {
  LookupFunction lookup;
  {
    std::lock_guard<std::mutex> guard(gLookupLock);
    lookup = gLookup ? gLookup : LookupFunction(SystemLookup);
  }
  std::vector<IPv4Address> addresses;
  errno = 0;
  int result = lookup(name, addresses);
  if (result != 0) return SocketErrorFromLookup(result, errno);
  if (addresses.empty()) return 11004;
  address = addresses.front();
  return 0;
}

void SetLookupForTesting(LookupFunction lookup) {
  std::lock_guard<std::mutex> guard(gLookupLock);
  gLookup = std::move(lookup);
}

}  // namespace platform
