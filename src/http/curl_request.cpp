#include "http/curl_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "http/curl_global.h"
#include "http/write_callback.h"

namespace ombrix::http {

namespace {
constexpr std::uint32_t kMaxMs = 4294967295u;
constexpr double kMaxSecondsInMs = 4294967.0;
// Requests and their redirects may use nothing but HTTP: a redirect to ftp, file
// or any other protocol libcurl knows is refused (result 1, BadRequest).
constexpr const char* kAllowedProtocols = "http,https";
static_assert(std::is_same_v<curl_off_t, std::int64_t>, "progress callback signature");
}  // namespace

std::uint32_t CurlRequest::TimingMs(double seconds, std::int32_t connectTimeoutSeconds,
                                    std::int32_t timeoutSeconds) {
  std::uint32_t ms;
  if (!(seconds > 0)) {
    ms = 0;
  } else if (seconds > kMaxSecondsInMs) {
    ms = kMaxMs;
  } else {
    ms = static_cast<std::uint32_t>(seconds * 1000.0);
  }
  const std::int64_t hi = std::max(connectTimeoutSeconds, timeoutSeconds);
  const std::int64_t lo = std::min(connectTimeoutSeconds, timeoutSeconds);
  const std::int64_t limitSeconds = hi < 0 ? 604800 : hi + (lo > 0 ? lo : 0);
  const std::uint32_t limitMs = limitSeconds > 4294967
                                    ? kMaxMs
                                    : static_cast<std::uint32_t>(limitSeconds * 1000);
  return std::min(ms, limitMs);
}

CurlRequest::CurlRequest(const RequestOptions& options, std::shared_ptr<Proxy> proxy)
    : Request(options, std::move(proxy)) {
  if (!InitializeCurlGlobally()) throw std::runtime_error("libcurl could not be initialized");
  handle_ = curl_easy_init();
  if (handle_ == nullptr) throw std::runtime_error("curl_easy_init failed");
  try {
    Configure();
  } catch (...) {
    // No destructor runs for an object whose constructor throws.
    curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
    throw;
  }
}

CurlRequest::~CurlRequest() {
  curl_easy_cleanup(handle_);
  curl_slist_free_all(headers_);
}

void CurlRequest::Configure() {
  curl_easy_reset(handle_);
  curl_slist_free_all(headers_);
  headers_ = nullptr;
  errorBuffer_[0] = '\0';

  const RequestOptions& o = *options;
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle_, CURLOPT_URL, o.url.c_str());
  curl_easy_setopt(handle_, CURLOPT_USERAGENT, o.userAgent.c_str());
  curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  curl_easy_setopt(handle_, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);

  if (o.method == RequestOptions::kPost) {
    curl_easy_setopt(handle_, CURLOPT_POST, 1L);
    // The body lives in this request's own copy of the options until the next Reset;
    // its size is given so that a body holding NUL bytes is sent whole.
    curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(o.body.size()));
    curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, o.body.c_str());
    headers_ = curl_slist_append(headers_, ("Content-Type: " + o.contentType).c_str());
  }

  if (o.HasRange()) {
    const std::string range = std::to_string(o.rangeFirst) + "-" + std::to_string(o.rangeLast);
    curl_easy_setopt(handle_, CURLOPT_RANGE, range.c_str());
  } else if (!o.acceptEncoding.empty()) {
    curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, o.acceptEncoding.c_str());
  }

  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &CurlRequest::OnProgress);
  curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);

  curl_easy_setopt(handle_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle_, CURLOPT_MAXREDIRS, 1L);
  curl_easy_setopt(handle_, CURLOPT_FAILONERROR, 1L);

  curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, static_cast<long>(o.connectTimeoutSeconds));
  curl_easy_setopt(handle_, CURLOPT_TIMEOUT, static_cast<long>(o.timeoutSeconds));
  if (o.lowSpeedLimit > 0 && o.lowSpeedTimeSeconds > 0) {
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(o.lowSpeedLimit));
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, static_cast<long>(o.lowSpeedTimeSeconds));
  }

  if (proxy) {
    result_.proxyConfig = proxy->Describe();
    result_.proxyUrl = proxy->GetProxyForUrl(o.url);
  }
  // Our proxy selection is the only one: an empty proxy (direct) also keeps libcurl
  // from taking one from http_proxy and the like, and no_proxy in the environment
  // cannot override a proxy that was selected.
  curl_easy_setopt(handle_, CURLOPT_PROXY, result_.proxyUrl.c_str());
  curl_easy_setopt(handle_, CURLOPT_NOPROXY, "");

  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorBuffer_);
  curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers_);
}

RequestResult CurlRequest::Perform() {
  bool run = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (result_.state == State::Idle) {
      performing_ = true;
      result_.state = State::Running;
      run = true;
    }
  }
  // The outcome is copied in the same locked step that ends performing: once that
  // flag is clear, another thread may Reset the request for its next use.
  if (run) return RecordOutcome(static_cast<int>(curl_easy_perform(handle_)));
  return GetResult();
}

RequestResult CurlRequest::RecordOutcome(int code) {
  // Only the performing thread touches the handle while performing_ is set.
  long responseCode = 0;
  const bool haveCode = curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &responseCode) == CURLE_OK;
  char* ip = nullptr;
  const bool haveIp = curl_easy_getinfo(handle_, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip != nullptr;
  auto time = [this](CURLINFO info) {
    double seconds = 0;
    if (curl_easy_getinfo(handle_, info, &seconds) != CURLE_OK) seconds = 0;
    return TimingMs(seconds, options->connectTimeoutSeconds, options->timeoutSeconds);
  };
  const std::uint32_t nameLookupMs = time(CURLINFO_NAMELOOKUP_TIME);
  const std::uint32_t connectMs = time(CURLINFO_CONNECT_TIME);
  const std::uint32_t startTransferMs = time(CURLINFO_STARTTRANSFER_TIME);
  const std::uint32_t totalMs = time(CURLINFO_TOTAL_TIME);

  std::lock_guard<std::mutex> guard(lock_);
  if (haveCode) result_.responseCode = static_cast<std::int32_t>(responseCode);
  if (haveIp) result_.ip = ip;
  result_.nameLookupMs = nameLookupMs;
  result_.connectMs = connectMs;
  result_.startTransferMs = startTransferMs;
  result_.totalMs = totalMs;
  performing_ = false;
  if (result_.state != State::Running) return result_;  // cancelled or failed by the writer
  if (code == CURLE_OK) {
    result_.state = State::Complete;
    return result_;
  }
  result_.state = StateForCurlResult(code, result_.responseCode);
  result_.errorSummary = "libcurl error " + std::to_string(code) + " (HTTP " +
                         std::to_string(result_.responseCode) + ")";
  result_.errorDetails = errorBuffer_;
  return result_;
}

std::size_t CurlRequest::OnBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto* self = static_cast<CurlRequest*>(context);
  const std::size_t length = size * count;
  {
    std::lock_guard<std::mutex> guard(self->lock_);
    if (self->result_.state != State::Running) return 0;
  }
  // The writer runs without the lock: Cancel and GetResult stay responsive while
  // it copies. An exception must not unwind through libcurl's C frames (it would
  // leave the handle mid-transfer and the request performing for ever), so it
  // fails the write instead.
  RequestResult written;
  try {
    written = self->options->writer.get().Write(data, length);
  } catch (const std::bad_alloc&) {
    written = RequestResult();
    written.state = State::OutOfMemory;
  } catch (const std::exception& error) {
    written = RequestResult();
    written.state = State::WriteFailed;
    written.errorSummary = error.what();
  } catch (...) {
    written = RequestResult();
    written.state = State::WriteFailed;
  }

  std::lock_guard<std::mutex> guard(self->lock_);
  self->result_.bytesReceived += written.bytesReceived;
  if (self->result_.state == State::Running && written.state != State::Complete) {
    self->result_.state = (written.state == State::RangeError || written.state == State::OutOfMemory)
                              ? written.state
                              : State::WriteFailed;
    self->result_.errorSummary = written.errorSummary;
  }
  return static_cast<std::size_t>(written.bytesReceived);
}

int CurlRequest::OnProgress(void* context, std::int64_t, std::int64_t, std::int64_t, std::int64_t) {
  auto* self = static_cast<CurlRequest*>(context);
  std::lock_guard<std::mutex> guard(self->lock_);
  return self->result_.state == State::Running ? 0 : 1;
}

RequestResult CurlRequest::GetResult() {
  std::lock_guard<std::mutex> guard(lock_);
  return result_;
}

void CurlRequest::Cancel() {
  std::lock_guard<std::mutex> guard(lock_);
  if (result_.state == State::Idle || result_.state == State::Running) {
    result_.state = State::Cancelled;
  }
}

bool CurlRequest::Reset(const RequestOptions& newOptions, std::shared_ptr<Proxy> newProxy) {
  std::lock_guard<std::mutex> guard(lock_);
  if (result_.state == State::Running || performing_) return false;
  options = newOptions;
  proxy = std::move(newProxy);
  result_ = RequestResult();
  Configure();
  return true;
}

}  // namespace ombrix::http
