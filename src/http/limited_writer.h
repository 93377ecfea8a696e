// A body writer that refuses bodies larger than a limit.
#pragma once

#include <cstdint>

#include "http/write_callback.h"

namespace ombrix::http {

// Passes blocks on to `inner` while the body stays within `limit` bytes. The block
// that would take it past the limit is refused whole with WriteFailed (so the
// request ends as WriteFailed and `inner` never holds more than `limit` bytes);
// `inner`'s own refusals are passed through unchanged. Lets a caller accept a body
// of unknown length from a server it does not control without risking its memory.
// Not thread-safe; `inner` must outlive the writer.
class LimitedWriter : public WriteCallback {
 public:
  LimitedWriter(WriteCallback& inner, std::uint64_t limit) : inner(inner), limit(limit) {}

  RequestResult Write(const char* data, std::size_t length) override;

  // Bytes accepted so far.
  std::uint64_t GetWritten() const { return written; }

 private:
  WriteCallback& inner;
  const std::uint64_t limit;
  std::uint64_t written = 0;
};

}  // namespace ombrix::http
