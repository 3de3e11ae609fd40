#pragma once
// Socket and name-lookup failures expressed as Windows Sockets error
// numbers, which the network error messages are built on.
#include <string>

namespace platform {

// The Windows Sockets number for an errno value of a socket call.  Values
// without a counterpart are returned unchanged (they have no text).
int SocketErrorFromErrno(int errnum);
// The Windows Sockets number for a getaddrinfo result (EAI_*).
int SocketErrorFromLookup(int gaiResult, int errnumForSystemError);
// The fixed text of a Windows Sockets number, "" when it has none.
std::string SocketErrorText(int lastError);

}  // namespace platform
