// Manifest documents fetched with one HTTP GET.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "manifest/manifest_document.h"
#include "manifest/manifest_source.h"

namespace ombrix {

namespace http {
class Request;
class RequestFactory;
class Session;
}  // namespace http

// Fetches its fixed URL with one GET through the request factory (and the session,
// when given). Fetch throws ManifestAbortedException when cancelled,
// HttpManifestLocatorException for a bad request or an HTTP status below 500,
// std::bad_alloc when memory ran out, and HttpManifestStreamException for every
// other failure, including a body larger than the limits' maxBytes (refused while
// it arrives). Parse refuses a document over the limits' node budget with
// ManifestParseException before building its tree. Cancel may be called from any
// thread while Fetch runs on another and ends that fetch, also when it arrives
// before the fetch has created its request; with no fetch in flight it does
// nothing. The request factory must outlive the source.
class HttpManifestSource : public ManifestSource {
 public:
  HttpManifestSource(std::string url, http::RequestFactory& requestFactory,
                     std::shared_ptr<http::Session> session, std::uint32_t connectTimeoutSeconds,
                     std::uint32_t timeoutSeconds, DocumentLimits limits);

  void Fetch(const std::string& locator, std::ostream& stream) override;
  // The URL plus ".sig", fetched like the document, up to kSignatureLimits.
  void FetchSignature(const std::string& locator, std::ostream& stream) override;
  void Cancel() override;

  const std::string& GetUrl() const { return url; }
  const std::shared_ptr<http::Session>& GetSession() const { return session; }
  std::uint32_t GetConnectTimeoutSeconds() const { return connectTimeoutSeconds; }
  std::uint32_t GetTimeoutSeconds() const { return timeoutSeconds; }
  const DocumentLimits& GetLimits() const { return limits; }

 private:
  void FetchUrl(const std::string& from, std::uint64_t maxBytes, std::ostream& stream);

  std::mutex lock;
  const std::string url;
  http::RequestFactory& requestFactory;
  const std::shared_ptr<http::Session> session;
  const std::uint32_t connectTimeoutSeconds;
  const std::uint32_t timeoutSeconds;
  const DocumentLimits limits;
  std::shared_ptr<http::Request> currentRequest;  // guarded by lock
  bool fetching = false;                           // guarded by lock
  bool cancelRequested = false;                    // guarded by lock; only while fetching
};

// Parses the body as XML with the manifest document rules (text kept as written,
// comments kept, attributes copied into children).
class XmlHttpManifestSource : public HttpManifestSource {
 public:
  using HttpManifestSource::HttpManifestSource;
  void Parse(std::istream& stream, boost::property_tree::ptree& tree) override;
};

// Parses the body as JSON (scalars as their text).
class JsonHttpManifestSource : public HttpManifestSource {
 public:
  using HttpManifestSource::HttpManifestSource;
  void Parse(std::istream& stream, boost::property_tree::ptree& tree) override;
};

}  // namespace ombrix
