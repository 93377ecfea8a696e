// A body writer that writes into a file range at its current position.
#pragma once

#include "http/write_callback.h"

namespace ombrix::file {
class BoundedData;
}

namespace ombrix::http {

// Writes each block at the target's position (the position advances). A write
// beyond the target's bounds is RangeError, an allocation failure OutOfMemory,
// a short or otherwise failed write WriteFailed; no exception escapes. Not
// thread-safe; the target must outlive the writer.
class BoundedDataWriter : public WriteCallback {
 public:
  explicit BoundedDataWriter(file::BoundedData& target) : target_(target) {}

  RequestResult Write(const char* data, std::size_t length) override;

 private:
  file::BoundedData& target_;
};

}  // namespace ombrix::http
