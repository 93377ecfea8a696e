// A body writer that collects the body in a caller-owned text stream.
#pragma once

#include <sstream>

#include "http/write_callback.h"

namespace ombrix::http {

// Appends every block to the stream. A stream that is in a failed state after the
// append (or that throws on failure) makes the write WriteFailed with 0 bytes; no
// exception escapes. Not thread-safe; the stream must outlive the writer.
class StringstreamWriter : public WriteCallback {
 public:
  explicit StringstreamWriter(std::ostream& stream) : stream_(stream) {}

  RequestResult Write(const char* data, std::size_t length) override;

 private:
  std::ostream& stream_;
};

}  // namespace ombrix::http
