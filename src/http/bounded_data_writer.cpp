#include "http/bounded_data_writer.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "file/bounded_data.h"
#include "file/file_exceptions.h"

namespace ombrix::http {

namespace {
RequestResult Outcome(State state, std::uint64_t bytes) {
  RequestResult result;
  result.state = state;
  result.bytesReceived = bytes;
  return result;
}
}  // namespace

RequestResult BoundedDataWriter::Write(const char* data, std::size_t length) {
  if (length == 0) return Outcome(State::Complete, 0);
  try {
    // libcurl hands out blocks far below 4 GiB, but a larger block is written in
    // pieces rather than silently truncated to 32 bits.
    std::uint64_t written = 0;
    while (written < length) {
      const auto piece = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(length - written, 0x80000000u));
      const std::uint32_t n = target_.Write(data + written, piece);
      written += n;
      if (n != piece) break;
    }
    return Outcome(written == length ? State::Complete : State::WriteFailed, written);
  } catch (const file::OutOfBoundsException&) {
    Keep(std::current_exception(), false);
    return Outcome(State::RangeError, 0);
  } catch (const std::bad_alloc&) {
    Keep(std::current_exception(), false);
    return Outcome(State::OutOfMemory, 0);
  } catch (const file::InsufficientSpaceException&) {
    Keep(std::current_exception(), true);
    RequestResult full = Outcome(State::WriteFailed, 0);
    full.errorSummary = kInsufficientSpace;
    return full;
  } catch (...) {
    Keep(std::current_exception(), false);
    return Outcome(State::WriteFailed, 0);
  }
}

void BoundedDataWriter::Keep(std::exception_ptr failure, bool insufficientSpace) {
  if (failure_) return;  // the first failure stopped the transfer; later ones follow from it
  failure_ = std::move(failure);
  insufficientSpace_ = insufficientSpace;
}

}  // namespace ombrix::http
