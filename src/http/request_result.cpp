#include "http/request_result.h"

namespace ombrix::http {

const char* ToString(State state) {
  switch (state) {
    case State::Idle: return "Idle";
    case State::Running: return "Running";
    case State::Complete: return "Complete";
    case State::Cancelled: return "Cancelled";
    case State::BadRequest: return "BadRequest";
    case State::ResolveFailed: return "ResolveFailed";
    case State::ConnectFailed: return "ConnectFailed";
    case State::ClientError: return "ClientError";
    case State::ServerError: return "ServerError";
    case State::NetworkError: return "NetworkError";
    case State::WriteFailed: return "WriteFailed";
    case State::RangeError: return "RangeError";
    case State::TimedOut: return "TimedOut";
    case State::OutOfMemory: return "OutOfMemory";
    case State::OtherError: return "OtherError";
    case State::SecurityError: return "SecurityError";
  }
  return "Unknown";
}

// The numbers are libcurl's CURLcode values; they are part of libcurl's stable ABI,
// and this file stays free of the libcurl header.
State StateForCurlResult(int curlCode, std::int32_t responseCode) {
  switch (curlCode) {
    case 0: return State::Complete;
    // A protocol refused after a redirect is the server sending the request where it
    // may not go (file:, ftp:): the server's fault, counted against it like a failed
    // secure connection, not a request this side got wrong.
    case 1: return responseCode >= 300 && responseCode < 400 ? State::SecurityError : State::BadRequest;
    case 3: case 4: return State::BadRequest;
    case 5: case 6: return State::ResolveFailed;
    case 7: return State::ConnectFailed;
    case 9: case 22: case 78:
      return responseCode < 500 ? State::ClientError : State::ServerError;
    case 55: case 56: return State::NetworkError;
    case 23: return State::WriteFailed;
    case 18: case 33: return State::RangeError;
    case 28: return State::TimedOut;
    case 27: return State::OutOfMemory;
    case 35: case 51: case 53: case 54: case 58: case 59: case 60: case 66: case 77:
    case 82: case 83:
      return State::SecurityError;
    default: return State::OtherError;
  }
}

}  // namespace ombrix::http
