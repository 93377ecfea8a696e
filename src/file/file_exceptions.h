// The failure kinds of file storage. None carries a message or error code: the kind
// is the whole information, and callers translate it into a transfer error.
#pragma once

#include <exception>

namespace ombrix::file {

class Exception : public std::exception {
 public:
  const char* what() const noexcept override { return "ombrix::file::Exception"; }
};

class NotFoundException : public Exception {};
class BadPathException : public Exception {};
class InaccessibleException : public Exception {};
class InsufficientSpaceException : public Exception {};
class InUseException : public Exception {};
class InvalidMapException : public Exception {};
class OutOfBoundsException : public Exception {};
class UnknownException : public Exception {};

}  // namespace ombrix::file
