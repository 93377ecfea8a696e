#include "http/curl_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/url_scheme.h"
#include "http/curl_global.h"
#include "http/proxy_credentials.h"
#include "http/write_callback.h"

namespace ombrix::http {

namespace {
constexpr std::uint32_t kMaxMs = 4294967295u;
constexpr double kMaxSecondsInMs = 4294967.0;
// Requests and their redirects may use nothing but HTTP: a redirect to ftp, file
// or any other protocol libcurl knows is refused (result 1, BadRequest).
constexpr const char* kAllowedProtocols = "http,https";
// The smallest receive buffer libcurl takes (its READBUFFER_MIN).
constexpr long kMinReceiveBuffer = 1024;
constexpr const char* kConfigurationFailed = "request configuration failed";
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

namespace {

// Sets options on one handle and remembers the first one libcurl refuses, so that
// a refused option fails the request instead of leaving a different one.
class OptionSetter {
 public:
  explicit OptionSetter(CURL* handle) : handle_(handle) {}

  template <typename Value>
  void operator()(CURLoption option, Value value, const char* name) {
    const CURLcode code = curl_easy_setopt(handle_, option, value);
    if (code != CURLE_OK && refusal_.empty()) {
      refusal_ = std::string("libcurl refused ") + name + " (libcurl error " +
                 std::to_string(static_cast<int>(code)) + ")";
    }
  }
  // Empty when every option was taken.
  const std::string& Refusal() const { return refusal_; }

 private:
  CURL* handle_;
  std::string refusal_;
};

// libcurl keeps its time limits in milliseconds in an int and refuses more than
// INT_MAX / 1000 seconds; a longer limit becomes the longest it takes (about 24
// days), which is no limit in practice. Negative limits are passed on and refused.
long CurlSeconds(std::int32_t seconds) {
  return std::min<long>(seconds, std::numeric_limits<int>::max() / 1000);
}

}  // namespace

void CurlRequest::Configure() {
  curl_easy_reset(handle_);
  curl_slist_free_all(headers_);
  headers_ = nullptr;
  errorBuffer_[0] = '\0';
  bodyStarted_ = false;
  proxySecrets_.clear();

  const RequestOptions& o = *options;
  OptionSetter set(handle_);
#define OMBRIX_SET(option, value) set(option, value, #option)
  OMBRIX_SET(CURLOPT_NOSIGNAL, 1L);
  OMBRIX_SET(CURLOPT_URL, o.url.c_str());
  OMBRIX_SET(CURLOPT_USERAGENT, o.userAgent.c_str());
  OMBRIX_SET(CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  OMBRIX_SET(CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);

  if (o.method == RequestOptions::kPost) {
    OMBRIX_SET(CURLOPT_POST, 1L);
    // The body lives in this request's own copy of the options until the next Reset;
    // its size is given so that a body holding NUL bytes is sent whole.
    OMBRIX_SET(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(o.body.size()));
    OMBRIX_SET(CURLOPT_POSTFIELDS, o.body.c_str());
    curl_slist* headers = curl_slist_append(headers_, ("Content-Type: " + o.contentType).c_str());
    if (headers == nullptr) throw std::bad_alloc();
    headers_ = headers;
  }

  if (o.HasRange()) {
    const std::string range = std::to_string(o.rangeFirst) + "-" + std::to_string(o.rangeLast);
    OMBRIX_SET(CURLOPT_RANGE, range.c_str());
  } else if (!o.acceptEncoding.empty()) {
    OMBRIX_SET(CURLOPT_ACCEPT_ENCODING, o.acceptEncoding.c_str());
  }

  OMBRIX_SET(CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
  OMBRIX_SET(CURLOPT_WRITEDATA, this);
  OMBRIX_SET(CURLOPT_XFERINFOFUNCTION, &CurlRequest::OnProgress);
  OMBRIX_SET(CURLOPT_XFERINFODATA, this);
  OMBRIX_SET(CURLOPT_NOPROGRESS, 0L);
  if (o.receiveBufferBytes > 0) {
    OMBRIX_SET(CURLOPT_BUFFERSIZE,
               std::clamp<long>(o.receiveBufferBytes, kMinReceiveBuffer, CURL_MAX_READ_SIZE));
  }

  // Peers and host names are always verified (libcurl's defaults, restored by the
  // reset above); a private deployment's CA adds to the system's store.
  if (const char* bundle = ExtraCaBundle()) OMBRIX_SET(CURLOPT_CAINFO, bundle);

  OMBRIX_SET(CURLOPT_FOLLOWLOCATION, 1L);
  OMBRIX_SET(CURLOPT_MAXREDIRS, 1L);
  OMBRIX_SET(CURLOPT_FAILONERROR, 1L);

  OMBRIX_SET(CURLOPT_CONNECTTIMEOUT, CurlSeconds(o.connectTimeoutSeconds));
  OMBRIX_SET(CURLOPT_TIMEOUT, CurlSeconds(o.timeoutSeconds));
  if (o.lowSpeedLimit > 0 && o.lowSpeedTimeSeconds > 0) {
    OMBRIX_SET(CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(o.lowSpeedLimit));
    OMBRIX_SET(CURLOPT_LOW_SPEED_TIME, static_cast<long>(o.lowSpeedTimeSeconds));
  }

  // The selected proxy may carry credentials: libcurl gets them as separate options
  // (so that no character of a password needs URL syntax), every reported text only
  // the redacted form.
  std::string selected;
  if (proxy) {
    result_.proxyConfig = proxy->Describe();
    selected = proxy->GetProxyForUrl(o.url);
  }
  const ProxyCredentials credentials = SplitProxyCredentials(selected);
  result_.proxyUrl = RedactProxyCredentials(selected);
  // Our proxy selection is the only one: an empty proxy (direct) also keeps libcurl
  // from taking one from http_proxy and the like, and no_proxy in the environment
  // cannot override a proxy that was selected.
  OMBRIX_SET(CURLOPT_PROXY, credentials.address.c_str());
  OMBRIX_SET(CURLOPT_NOPROXY, "");
  if (credentials.present) {
    OMBRIX_SET(CURLOPT_PROXYUSERNAME, credentials.user.c_str());
    OMBRIX_SET(CURLOPT_PROXYPASSWORD, credentials.password.c_str());
    for (const std::string* secret : {&credentials.rawPassword, &credentials.password}) {
      if (!secret->empty()) proxySecrets_.push_back(*secret);
    }
  }

  OMBRIX_SET(CURLOPT_ERRORBUFFER, errorBuffer_);
  OMBRIX_SET(CURLOPT_HTTPHEADER, headers_);
#undef OMBRIX_SET

  if (!set.Refusal().empty()) {
    result_.state = State::BadRequest;
    result_.errorSummary = set.Refusal();
  }
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
  // libcurl names proxies by host, but its text reaches logs and analytics: a proxy
  // password must not, whatever libcurl's wording.
  for (const std::string& secret : proxySecrets_) {
    for (std::size_t at = result_.errorDetails.find(secret); at != std::string::npos;
         at = result_.errorDetails.find(secret, at + 3)) {
      result_.errorDetails.replace(at, secret.size(), "***");
    }
  }
  return result_;
}

std::size_t CurlRequest::OnBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto* self = static_cast<CurlRequest*>(context);
  const std::size_t length = size * count;
  {
    std::lock_guard<std::mutex> guard(self->lock_);
    if (self->result_.state != State::Running) return 0;
  }
  if (!self->bodyStarted_) {
    // The first block of the final answer: the status and headers are complete, and
    // nothing has reached the writer yet.
    self->bodyStarted_ = true;
    if (self->options->HasRange() && !self->AnswerCarriesTheRange()) {
      long status = 0;
      curl_easy_getinfo(self->handle_, CURLINFO_RESPONSE_CODE, &status);
      std::lock_guard<std::mutex> guard(self->lock_);
      if (self->result_.state == State::Running) {
        self->result_.state = State::RangeError;
        try {
          self->result_.errorSummary =
              "answer does not carry the requested range (HTTP " + std::to_string(status) + ")";
        } catch (...) {
          // Nothing may unwind through libcurl; the state alone still tells.
        }
      }
      return 0;
    }
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

bool CurlRequest::AnswerCarriesTheRange() {
  long status = 0;
  if (curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return false;
  curl_off_t length = -1;
  if (curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
  std::string_view contentRange;
  bool ambiguous = false;
  curl_header* header = nullptr;
  // Request -1 is the latest one (after a redirect); CURLH_HEADER leaves out the
  // headers of 1xx answers and of a proxy's CONNECT answer.
  if (curl_easy_header(handle_, "Content-Range", 0, CURLH_HEADER, -1, &header) == CURLHE_OK) {
    contentRange = header->value;
    ambiguous = header->amount != 1;
  }
  if (ambiguous) return false;
  return RangeAnswerMatches(status, contentRange, length, options->rangeFirst, options->rangeLast);
}

namespace {

bool ParseDecimal(std::string_view& text, std::uint64_t& value) {
  std::size_t used = 0;
  value = 0;
  while (used < text.size() && text[used] >= '0' && text[used] <= '9') {
    const unsigned digit = static_cast<unsigned>(text[used] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
    ++used;
  }
  text.remove_prefix(used);
  return used > 0;
}

bool SkipPrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

bool CurlRequest::RangeAnswerMatches(long status, std::string_view contentRange,
                                     std::int64_t contentLength, std::uint64_t first,
                                     std::uint64_t last) {
  if (status != 206) {
    // The whole resource: acceptable only when it is exactly the requested range.
    return first == 0 && last != RequestOptions::kNoRangeLast && contentLength >= 0 &&
           static_cast<std::uint64_t>(contentLength) == last + 1;
  }
  // "bytes a-b/size" or "bytes a-b/*", the unit in any letter case.
  std::string_view text = contentRange;
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.size() < 6) return false;
  for (std::size_t i = 0; i < 5; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != "bytes"[i]) return false;
  }
  text.remove_prefix(5);
  if (text.empty() || text.front() != ' ') return false;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::uint64_t answeredFirst = 0, answeredLast = 0, size = 0;
  if (!ParseDecimal(text, answeredFirst) || !SkipPrefix(text, "-") ||
      !ParseDecimal(text, answeredLast) || !SkipPrefix(text, "/")) {
    return false;
  }
  if (!SkipPrefix(text, "*")) {
    if (!ParseDecimal(text, size) || answeredLast >= size) return false;
  }
  if (!text.empty() || answeredFirst > answeredLast) return false;
  if (answeredFirst != first || answeredLast > last) return false;
  // A body longer (or shorter) than the range it claims is not that range.
  return contentLength < 0 ||
         static_cast<std::uint64_t>(contentLength) == answeredLast - answeredFirst + 1;
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
  try {
    Configure();
    if (result_.state == State::BadRequest) {
      // libcurl refuses some options on a handle that an earlier transfer left tied
      // to its connection (CURLOPT_BUFFERSIZE after a refused redirect, in 7.88):
      // a fresh handle takes them, so one bad answer cannot spoil the request for
      // every later chunk.
      if (CURL* fresh = curl_easy_init()) {
        curl_easy_cleanup(handle_);
        handle_ = fresh;
        result_ = RequestResult();
        Configure();
      }
    }
  } catch (...) {
    // A half-configured handle must never perform: the request ends here, in a
    // state Perform leaves alone and the next Reset replaces.
    result_ = RequestResult();
    result_.state = State::BadRequest;
    try {
      throw;
    } catch (const std::bad_alloc&) {
      result_.state = State::OutOfMemory;
    } catch (...) {
    }
    result_.errorSummary = kConfigurationFailed;
    throw;
  }
  return true;
}

}  // namespace ombrix::http
