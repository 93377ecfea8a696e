// An HTTP request performed with one libcurl easy handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/request.h"

typedef void CURL;
struct curl_slist;

namespace ombrix::http {

// A Request on one libcurl easy handle, reused across Reset. Only "http" and "https"
// are allowed, for the first request and for its (at most one) redirect. HTTP
// statuses of 400 and above fail the request. An option libcurl refuses makes the
// request BadRequest (errorSummary names the option) without any exchange; time
// limits beyond what libcurl takes are shortened to its longest (about 24 days). A
// Reset whose configuration throws leaves the request BadRequest (OutOfMemory for
// an allocation failure) with errorSummary "request configuration failed", so it
// does not perform until the next Reset. A ranged request (HasRange) checks the
// final answer before its first body byte reaches the writer, and ends in
// RangeError with nothing written unless the answer is either a 206 whose
// Content-Range starts at rangeFirst, ends at or before rangeLast and matches the
// body length, or a whole-resource answer (any other status) that is exactly the
// range: rangeFirst 0 and a Content-Length of rangeLast + 1. Proxy credentials
// authenticate at the proxy but appear in no reported text (proxyUrl shows them as
// "***"). The body is streamed into the
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
  // True when an answer with this status, Content-Range (empty when absent) and
  // Content-Length (-1 when unknown) carries exactly the bytes from `first` on that
  // a request for first..last may receive (see the class comment).
  static bool RangeAnswerMatches(long status, std::string_view contentRange,
                                 std::int64_t contentLength, std::uint64_t first,
                                 std::uint64_t last);

 private:
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context);
  static int OnProgress(void* context, std::int64_t, std::int64_t, std::int64_t, std::int64_t);

  // Throws only for allocation failures and throwing proxies; refused options make
  // the result BadRequest instead.
  void Configure();
  // Whether the final answer fits the options' range; called before its first byte.
  bool AnswerCarriesTheRange();
  // Records libcurl result `code`, ends performing and returns the recorded result.
  RequestResult RecordOutcome(int code);

  CURL* handle_ = nullptr;
  bool performing_ = false;      // guarded by lock_
  std::mutex lock_;
  RequestResult result_;         // guarded by lock_
  curl_slist* headers_ = nullptr;
  char errorBuffer_[256] = {};
  // Used by the performing thread only, set by Configure.
  bool bodyStarted_ = false;
  std::vector<std::string> proxySecrets_;  // passwords kept out of errorDetails
};

}  // namespace ombrix::http
