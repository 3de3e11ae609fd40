#pragma once
// Host-name lookup for IPv4 addresses.  The lookup itself is a replaceable
// function so that tests can produce every lookup outcome without sending a
// query anywhere.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// An IPv4 address in network byte order.
using IPv4Address = uint32_t;

// Looks a name up; returns a getaddrinfo result code (0 or EAI_*) and, on
// success, the addresses in the order the resolver gave them.  For EAI_SYSTEM
// the function leaves errno set.
using LookupFunction = std::function<int(const std::string& name, std::vector<IPv4Address>& out)>;

// Resolves a host name to its first IPv4 address.  Returns 0, or the Windows
// Sockets number of the failure (11001 for a name that does not exist, ...).
int ResolveIPv4(const std::string& name, IPv4Address& address);

// Replaces the lookup; an empty function restores the system resolver.
void SetLookupForTesting(LookupFunction lookup);

}  // namespace platform
