#include "http/NetErrors.h"

#include "platform/SocketErrors.h"

std::string SocketErrorMessage(int lastError) {
  return "Socket Error # " + std::to_string(lastError) + "\r\n" +
         platform::SocketErrorText(lastError);
}

void RaiseSocketError(int lastError) {
  if (lastError == 10038) throw ENotASocket(lastError, SocketErrorMessage(lastError));
  throw ESocketError(lastError, SocketErrorMessage(lastError));
}

void RaiseConnClosedGracefully() { throw EConnClosedGracefully("Connection Closed Gracefully."); }
void RaiseConnectTimeout() { throw EConnectTimeout("Connect timed out."); }
void RaiseMaxLineLengthExceeded() { throw EMaxLineLengthExceeded("Max line length exceeded."); }
void RaiseUnknownProtocol() { throw EUnknownProtocol("Unknown Protocol"); }
void RaiseTransportInvalid() { throw ETransportInvalid("Transport value is not valid"); }
void RaiseCouldNotBindSocket() {
  throw ECouldNotBindSocket("Could not bind socket. Address and port are already in use.");
}
