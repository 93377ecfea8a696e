// The outcome of one HTTP request (or of one write into a body writer).
#pragma once

#include <cstdint>
#include <string>

namespace ombrix::http {

// The request's state. The numeric values are reported to analytics ("httpResult")
// and never change.
enum class State : std::uint8_t {
  Idle = 0,
  Running = 1,
  Complete = 2,
  Cancelled = 3,
  BadRequest = 4,
  ResolveFailed = 5,
  ConnectFailed = 6,
  ClientError = 7,
  ServerError = 8,
  NetworkError = 9,
  WriteFailed = 10,
  RangeError = 11,
  TimedOut = 12,
  OutOfMemory = 13,
  OtherError = 14,
  SecurityError = 15,
};

// The name of the enumerator ("Complete", "TimedOut", ...).
const char* ToString(State state);

// The state a finished transfer ends in for libcurl result `curlCode` and the last
// HTTP status `responseCode`. Code 0 is Complete; HTTP failures (codes 9, 22, 78)
// split at status 500 into ClientError and ServerError.
State StateForCurlResult(int curlCode, std::int32_t responseCode);

// A plain value record; a default-constructed one is the initial result (Idle,
// zeros, empty texts). A writer's result uses only state, bytesReceived (bytes
// accepted in that call) and errorSummary.
struct RequestResult {
  State state = State::Idle;
  std::uint64_t bytesReceived = 0;
  std::int32_t responseCode = 0;
  std::string ip;
  std::string proxyConfig;
  std::string proxyUrl;          // empty for a direct connection
  std::string errorSummary;
  std::string errorDetails;
  std::uint32_t nameLookupMs = 0;
  std::uint32_t connectMs = 0;
  std::uint32_t startTransferMs = 0;
  std::uint32_t totalMs = 0;

  bool operator==(const RequestResult&) const = default;
};

}  // namespace ombrix::http
