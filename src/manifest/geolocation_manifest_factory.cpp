#include "manifest/geolocation_manifest_factory.h"

#include "http/session.h"
#include "manifest/http_manifest_source.h"
#include "transfer/transfer_settings.h"

namespace ombrix {

std::shared_ptr<GeolocationManifest> GeolocationManifestFactory::Load(ManifestSource& source) {
  auto geolocation = std::make_shared<StandardGeolocationManifest>();
  source.Read("", *geolocation);
  return geolocation;
}

std::shared_ptr<GeolocationManifest> GeolocationManifestFactory::Load() {
  return Load(*CreateSource());
}

HttpGeolocationManifestFactory::HttpGeolocationManifestFactory(std::string url,
                                                               http::RequestFactory& requestFactory,
                                                               std::uint32_t connectTimeoutSeconds,
                                                               std::uint32_t timeoutSeconds)
    : url(std::move(url)),
      requestFactory(requestFactory),
      connectTimeoutSeconds(connectTimeoutSeconds),
      timeoutSeconds(timeoutSeconds) {}

std::shared_ptr<GeolocationManifest> HttpGeolocationManifestFactory::Load(
    std::shared_ptr<http::Session> session) {
  return GeolocationManifestFactory::Load(*CreateSource(std::move(session)));
}

std::shared_ptr<ManifestSource> HttpGeolocationManifestFactory::CreateSource() {
  return CreateSource(nullptr);
}

JsonHttpGeolocationManifestFactory::JsonHttpGeolocationManifestFactory(
    const TransferSettings& settings, http::RequestFactory& requestFactory)
    : HttpGeolocationManifestFactory(settings.geolocationUrl, requestFactory,
                                     settings.geolocationConnectTimeout,
                                     settings.geolocationTimeout) {}

std::shared_ptr<ManifestSource> JsonHttpGeolocationManifestFactory::CreateSource(
    std::shared_ptr<http::Session> session) {
  return std::make_shared<JsonHttpManifestSource>(url, requestFactory, std::move(session),
                                                  connectTimeoutSeconds, timeoutSeconds,
                                                  kGeolocationLimits);
}

}  // namespace ombrix
