// What one HTTP request asks for: a plain record copied into the request.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

namespace ombrix::http {

class WriteCallback;

// The User-Agent every request and every proxy lookup sends.
inline constexpr const char* kUserAgent = "Farrowgate Ombrix TransferService 1.3.5";

// A value record; a request keeps its own copy. `writer` is not owned: it must
// outlive every use of the request made with these options.
struct RequestOptions {
  static constexpr std::uint64_t kNoRangeLast = std::numeric_limits<std::uint64_t>::max();
  static constexpr std::int32_t kPost = 1;

  RequestOptions(std::string url, WriteCallback& writer);

  // True when rangeFirst != 0 or rangeLast != kNoRangeLast.
  bool HasRange() const;

  std::string url;                                   // absolute URL (http or https)
  std::reference_wrapper<WriteCallback> writer;      // receives the body
  std::int32_t method = 0;                           // kPost = POST; any other value = GET
  std::string body;                                  // POST body
  std::string contentType = "application/x-www-form-urlencoded";  // sent with POST only
  std::string acceptEncoding;                        // used only when no range is set
  std::uint64_t rangeFirst = 0;                      // first byte, inclusive
  std::uint64_t rangeLast = kNoRangeLast;            // last byte, inclusive
  std::int32_t connectTimeoutSeconds = 5;
  std::int32_t timeoutSeconds = 0;                   // whole request; 0 = none
  std::int32_t lowSpeedLimit = 0;                    // bytes per second
  std::int32_t lowSpeedTimeSeconds = 0;
  std::string userAgent = kUserAgent;
  // libcurl's receive buffer per read; 0 keeps libcurl's default (16 KiB). Larger
  // values save reads on fast links; libcurl still hands the body to the writer in
  // blocks of at most 16 KiB. Limited to what libcurl takes (1 KiB to 10 MiB).
  std::uint32_t receiveBufferBytes = 0;
};

}  // namespace ombrix::http
