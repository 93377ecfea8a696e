// The failure kinds of file storage. None carries a message or error code: the kind
// is the whole information, and callers translate it into a transfer error.
#pragma once

#include <exception>
#include <new>

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

// The standard allocation failure, with the text "bad allocation" on every standard
// library: raised for spans that do not fit 32 bits and for memory shortage.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace ombrix::file
