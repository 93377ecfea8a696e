// The HTTP variants of the manifest failure kinds; each carries the request result
// so that callers can report it.
#pragma once

#include "http/request_result.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

// Base of the HTTP variants; GetResult is a copy of the failed request's result.
class HttpManifestException : public virtual ManifestException {
 public:
  explicit HttpManifestException(http::RequestResult result) : result(std::move(result)) {}
  const http::RequestResult& GetResult() const { return result; }

 private:
  http::RequestResult result;
};

// The document does not exist or may not be read (bad request, HTTP status < 500).
class HttpManifestLocatorException : public HttpManifestException, public ManifestLocatorException {
 public:
  explicit HttpManifestLocatorException(http::RequestResult result)
      : HttpManifestException(std::move(result)) {}
};

// Any other transfer failure (connection, server error, time-out, a bad stream).
class HttpManifestStreamException : public HttpManifestException, public ManifestStreamException {
 public:
  explicit HttpManifestStreamException(http::RequestResult result)
      : HttpManifestException(std::move(result)) {}
};

}  // namespace ombrix
