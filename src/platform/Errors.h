#pragma once
// The root of the framework's error classes and the file errors that the
// platform layer raises.  Every error the program raises is an Exception
// carrying its message; the class name tells the families apart (the error
// report only shows the message, the diagnostic tools the class).  The
// other families live in util/Errors.h, which the layers above include.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
  virtual const char* ClassName() const { return "Exception"; }
};

#define QUORVIN_DECLARE_ERROR(Name, Base)                               \
  class Name : public Base {                                            \
   public:                                                              \
    using Base::Base;                                                   \
    const char* ClassName() const override { return #Name; }            \
  }

QUORVIN_DECLARE_ERROR(EStreamError, Exception);
QUORVIN_DECLARE_ERROR(EFCreateError, EStreamError);
QUORVIN_DECLARE_ERROR(EFOpenError, EStreamError);

// "Cannot create file "%s". %s" with the platform's reason for errnum.
[[noreturn]] void RaiseCreateError(const std::string& path, int errnum);
// "Cannot open file "%s". %s" with the platform's reason for errnum.
[[noreturn]] void RaiseOpenError(const std::string& path, int errnum);

// The platform's text for an error number, with trailing blanks, control
// characters and full stops removed.
std::string PlatformReasonText(int errnum);
