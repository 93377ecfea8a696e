#include "http/limited_writer.h"

#include <string>

namespace ombrix::http {

RequestResult LimitedWriter::Write(const char* data, std::size_t length) {
  if (length > limit - written) {
    RequestResult refused;
    refused.state = State::WriteFailed;
    refused.errorSummary = "body larger than " + std::to_string(limit) + " bytes";
    return refused;
  }
  RequestResult result = inner.Write(data, length);
  written += result.bytesReceived;
  return result;
}

}  // namespace ombrix::http
