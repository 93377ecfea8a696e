// The sink of a response body.
#pragma once

#include <cstddef>

#include "http/request_result.h"

namespace ombrix::http {

// Receives the body of a request in blocks, in order, on the thread that performs
// the request. Write returns state Complete with bytesReceived == length when it
// accepted every byte; any other outcome stops the transfer, and its state
// (RangeError and OutOfMemory are kept, everything else becomes WriteFailed) and
// errorSummary become the request's. Write must not throw.
class WriteCallback {
 public:
  WriteCallback() = default;
  virtual ~WriteCallback() = default;
  WriteCallback(const WriteCallback&) = delete;
  WriteCallback& operator=(const WriteCallback&) = delete;

  virtual RequestResult Write(const char* data, std::size_t length) = 0;
};

}  // namespace ombrix::http
