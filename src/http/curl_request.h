// An HTTP request performed with one libcurl easy handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "http/request.h"

typedef void CURL;
struct curl_slist;

namespace ombrix::http {

// A Request on one libcurl easy handle, reused across Reset. Only "http" and "https"
// are allowed, for the first request and for its (at most one) redirect. HTTP
// statuses of 400 and above fail the request. The body is streamed into the
// writer, never buffered whole. Timings are reported in milliseconds, capped at the
// sum of the connect and whole-request limits. Thread-safety as Request: the lock
// guards the result, the state and the performing flag, and callbacks hold it only
// briefly (never while calling the writer).
class CurlRequest : public Request {
 public:
  // Throws std::runtime_error "libcurl could not be initialized" when the process
  // could not initialize libcurl, "curl_easy_init failed" without a handle.
  CurlRequest(const RequestOptions& options, std::shared_ptr<Proxy> proxy);
  ~CurlRequest() override;

  RequestResult Perform() override;
  RequestResult GetResult() override;
  void Cancel() override;
  bool Reset(const RequestOptions& options, std::shared_ptr<Proxy> proxy) override;

  // The reported milliseconds for a libcurl time of `seconds` under the given
  // limits: 0 for t <= 0, t * 1000 truncated, capped at the limit derived from
  // the larger and smaller of the two timeouts (see the implementation).
  static std::uint32_t TimingMs(double seconds, std::int32_t connectTimeoutSeconds,
                                std::int32_t timeoutSeconds);

 private:
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context);
  static int OnProgress(void* context, std::int64_t, std::int64_t, std::int64_t, std::int64_t);

  void Configure();
  // Records libcurl result `code`, ends performing and returns the recorded result.
  RequestResult RecordOutcome(int code);

  CURL* handle_ = nullptr;
  bool performing_ = false;      // guarded by lock_
  std::mutex lock_;
  RequestResult result_;         // guarded by lock_
  curl_slist* headers_ = nullptr;
  char errorBuffer_[256] = {};
};

}  // namespace ombrix::http
