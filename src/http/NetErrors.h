#pragma once
// The network error family.  Every failure of an HTTP transfer reaches the
// caller as one of these; ClassName() tells them apart for diagnostics and
// the message is what the user sees.
#include <string>

#include "util/Errors.h"

QUORVIN_DECLARE_ERROR(ENetException, Exception);
QUORVIN_DECLARE_ERROR(ENetSilentException, ENetException);
QUORVIN_DECLARE_ERROR(EConnClosedGracefully, ENetSilentException);
QUORVIN_DECLARE_ERROR(EConnectTimeout, ENetException);
QUORVIN_DECLARE_ERROR(EConnectException, ENetException);
QUORVIN_DECLARE_ERROR(EMaxLineLengthExceeded, ENetException);
QUORVIN_DECLARE_ERROR(EUnknownProtocol, ENetException);
QUORVIN_DECLARE_ERROR(ETcpConnectionError, ENetException);
QUORVIN_DECLARE_ERROR(ETransportInvalid, ETcpConnectionError);
QUORVIN_DECLARE_ERROR(EHostRequired, ENetException);
QUORVIN_DECLARE_ERROR(EPortRequired, ENetException);
QUORVIN_DECLARE_ERROR(ESocketHandleError, ENetException);
QUORVIN_DECLARE_ERROR(ECouldNotBindSocket, ESocketHandleError);
QUORVIN_DECLARE_ERROR(ESocketLibraryError, ENetException);
QUORVIN_DECLARE_ERROR(ESocketLibraryInitFailed, ESocketLibraryError);
QUORVIN_DECLARE_ERROR(EReplyError, ENetException);

// A failure that carries a Windows Sockets error number.
class ESocketError : public ENetException {
 public:
  ESocketError(int lastError, const std::string& message)
      : ENetException(message), FLastError(lastError) {}
  int LastError() const { return FLastError; }
  const char* ClassName() const override { return "ESocketError"; }

 private:
  int FLastError;
};

class ENotASocket : public ESocketError {
 public:
  using ESocketError::ESocketError;
  const char* ClassName() const override { return "ENotASocket"; }
};

// A reply that the protocol treats as a failure, with its code.
class EReplyRFCError : public EReplyError {
 public:
  EReplyRFCError(int errorCode, const std::string& message)
      : EReplyError(message), FErrorCode(errorCode) {}
  int ErrorCode() const { return FErrorCode; }
  const char* ClassName() const override { return "EReplyRFCError"; }

 private:
  int FErrorCode;
};

// An HTTP status that is not a success: the message is the whole status
// line, the error message the response body as text.
class EHttpProtocolException : public EReplyRFCError {
 public:
  EHttpProtocolException(int errorCode, const std::string& statusLine, std::string errorMessage)
      : EReplyRFCError(errorCode, statusLine), FErrorMessage(std::move(errorMessage)) {}
  const std::string& ErrorMessage() const { return FErrorMessage; }
  const char* ClassName() const override { return "EHttpProtocolException"; }

 private:
  std::string FErrorMessage;
};

// "Socket Error # <n>" CR LF and the number's text (empty when it has none).
std::string SocketErrorMessage(int lastError);
// Raises ESocketError (ENotASocket for 10038) with the socket error message.
[[noreturn]] void RaiseSocketError(int lastError);
[[noreturn]] void RaiseConnClosedGracefully();
[[noreturn]] void RaiseConnectTimeout();
[[noreturn]] void RaiseMaxLineLengthExceeded();
[[noreturn]] void RaiseUnknownProtocol();
[[noreturn]] void RaiseTransportInvalid();
[[noreturn]] void RaiseCouldNotBindSocket();
