#include "http/curl_global.h"

#include <curl/curl.h>

namespace ombrix::http {

namespace {
class CurlGlobal {
 public:
  CurlGlobal() : initialized(curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) {}
  ~CurlGlobal() {
    if (initialized) curl_global_cleanup();
  }
  CurlGlobal(const CurlGlobal&) = delete;
  CurlGlobal& operator=(const CurlGlobal&) = delete;

  const bool initialized;
};
}  // namespace

bool InitializeCurlGlobally() {
  // A function-local static: constructed once, thread-safely, and destroyed after
  // every static object whose construction finished later (requests included).
  static const CurlGlobal global;
  return global.initialized;
}

}  // namespace ombrix::http
