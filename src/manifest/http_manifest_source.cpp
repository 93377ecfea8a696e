#include "manifest/http_manifest_source.h"

#include <algorithm>
#include <limits>
#include <new>

#include "http/limited_writer.h"
#include "http/request.h"
#include "http/request_factory.h"
#include "http/stringstream_writer.h"
#include "manifest/http_manifest_exceptions.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_signature.h"

namespace ombrix {

namespace {

// std::bad_alloc whose text is "bad allocation" on every standard library.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

std::int32_t ToSeconds(std::uint32_t seconds) {
  return static_cast<std::int32_t>(
      std::min<std::uint32_t>(seconds, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

HttpManifestSource::HttpManifestSource(std::string url, http::RequestFactory& requestFactory,
                                       std::shared_ptr<http::Session> session,
                                       std::uint32_t connectTimeoutSeconds,
                                       std::uint32_t timeoutSeconds, DocumentLimits limits)
    : url(std::move(url)),
      requestFactory(requestFactory),
      session(std::move(session)),
      connectTimeoutSeconds(connectTimeoutSeconds),
      timeoutSeconds(timeoutSeconds),
      limits(limits) {}

void HttpManifestSource::Fetch(const std::string&, std::ostream& stream) { FetchUrl(url, limits.maxBytes, stream); }

void HttpManifestSource::FetchSignature(const std::string&, std::ostream& stream) {
  FetchUrl(url + ".sig", kSignatureLimits.maxBytes, stream);
}

void HttpManifestSource::FetchUrl(const std::string& from, std::uint64_t maxBytes, std::ostream& stream) {
  http::StringstreamWriter streamWriter(stream);
  http::LimitedWriter writer(streamWriter, maxBytes);
  http::RequestOptions options(from, writer);
  options.connectTimeoutSeconds = ToSeconds(connectTimeoutSeconds);
  options.timeoutSeconds = ToSeconds(timeoutSeconds);

  {
    std::lock_guard<std::mutex> held(lock);
    fetching = true;
    cancelRequested = false;
  }
  // Whatever way the fetch ends, the source is idle again afterwards.
  struct EndFetch {
    HttpManifestSource& source;
    ~EndFetch() {
      std::lock_guard<std::mutex> held(source.lock);
      source.currentRequest.reset();
      source.fetching = false;
      source.cancelRequested = false;
    }
  } endFetch{*this};

  std::shared_ptr<http::Request> request = requestFactory.CreateRequest(options, session);
  {
    std::lock_guard<std::mutex> held(lock);
    currentRequest = request;
    // A Cancel that came while the request was being created: the idle request
    // becomes Cancelled and Perform does not start it.
    if (cancelRequested) request->Cancel();
  }
  http::RequestResult result = request->Perform();
  {
    std::lock_guard<std::mutex> held(lock);
    currentRequest.reset();
  }

  switch (result.state) {
    case http::State::Complete:
      if (!stream.good()) throw HttpManifestStreamException(std::move(result));
      return;
    case http::State::Cancelled:
      throw ManifestAbortedException();
    case http::State::BadRequest:
    case http::State::ClientError:
      throw HttpManifestLocatorException(std::move(result));
    case http::State::OutOfMemory:
      throw BadAllocation();
    default:
      throw HttpManifestStreamException(std::move(result));
  }
}

void HttpManifestSource::Cancel() {
  std::lock_guard<std::mutex> held(lock);
  if (currentRequest) {
    currentRequest->Cancel();
  } else if (fetching) {
    cancelRequested = true;  // the fetch has no request yet; it cancels it on arrival
  }
}

void XmlHttpManifestSource::Parse(std::istream& stream, boost::property_tree::ptree& tree) {
  ReadXmlDocument(stream, tree, GetLimits().maxNodes);
}

void JsonHttpManifestSource::Parse(std::istream& stream, boost::property_tree::ptree& tree) {
  ReadJsonDocument(stream, tree, GetLimits().maxNodes);
}

}  // namespace ombrix
