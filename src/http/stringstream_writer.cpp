#include "http/stringstream_writer.h"

namespace ombrix::http {

RequestResult StringstreamWriter::Write(const char* data, std::size_t length) {
  RequestResult result;
  result.state = State::Complete;
  if (length == 0) return result;
  try {
    stream_.write(data, static_cast<std::streamsize>(length));
  } catch (...) {
    // A stream set to throw on failure fails the write the same way.
    result.state = State::WriteFailed;
    return result;
  }
  if (stream_.fail()) {
    result.state = State::WriteFailed;
    return result;
  }
  result.bytesReceived = length;
  return result;
}

}  // namespace ombrix::http
