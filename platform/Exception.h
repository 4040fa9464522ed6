// The one base of every error this program raises. Errors travel as exceptions that carry a
// message text; no layer returns error codes to its callers.
#pragma once

#include <exception>
#include <string>

namespace qm {

class Exception : public std::exception {
  public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

  private:
    std::string FMessage;
};

// Stream errors, as the stream classes raise them.
class EStreamError : public Exception {
  public:
    using Exception::Exception;
    EStreamError(std::string Message, std::string Reason)
        : Exception(std::move(Message)), FReason(std::move(Reason)) {}
    // The system's own words for the failure (such as "Permission denied"); empty when the
    // raiser gave none.
    const std::string& Reason() const noexcept { return FReason; }

  private:
    std::string FReason;
};
class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

// printf-style formatting of a message with one integer or text argument.
std::string FormatMessage(const std::string& Format, long long Value);
std::string FormatMessage(const std::string& Format, const std::string& Value);

}  // namespace qm
