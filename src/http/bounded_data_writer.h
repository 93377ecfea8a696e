// A body writer that writes into a file range at its current position.
#pragma once

#include <exception>

#include "http/write_callback.h"

namespace ombrix::file {
class BoundedData;
}

namespace ombrix::http {

// Writes each block at the target's position (the position advances). A write
// beyond the target's bounds is RangeError, an allocation failure OutOfMemory,
// a short or otherwise failed write WriteFailed; no exception escapes. A full disk
// (the target throws file::InsufficientSpaceException) is WriteFailed with the
// errorSummary kInsufficientSpace, and the writer keeps the exception it caught,
// so that the caller can tell a full disk (retryable once space is freed) from a
// broken destination. Not thread-safe; the target must outlive the writer.
class BoundedDataWriter : public WriteCallback {
 public:
  static constexpr const char* kInsufficientSpace = "insufficient space";

  explicit BoundedDataWriter(file::BoundedData& target) : target_(target) {}

  RequestResult Write(const char* data, std::size_t length) override;

  // The first exception a Write caught since construction; empty when none.
  std::exception_ptr Failure() const { return failure_; }
  // True when that exception is file::InsufficientSpaceException.
  bool FailedForInsufficientSpace() const { return insufficientSpace_; }

 private:
  void Keep(std::exception_ptr failure, bool insufficientSpace);

  file::BoundedData& target_;
  std::exception_ptr failure_;
  bool insufficientSpace_ = false;
};

}  // namespace ombrix::http
