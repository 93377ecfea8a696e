// Loads the caller's geolocation from the geolocation endpoint.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "manifest/geolocation_manifest.h"

namespace ombrix {

class ManifestSource;
struct TransferSettings;

namespace http {
class RequestFactory;
class Session;
}  // namespace http

// Guarantees: Load returns an answer with an ip and a country code, or throws what
// the source throws. Holds no mutable state: safe to use from several threads.
class GeolocationManifestFactory {
 public:
  GeolocationManifestFactory() = default;
  virtual ~GeolocationManifestFactory() = default;
  GeolocationManifestFactory(const GeolocationManifestFactory&) = delete;
  GeolocationManifestFactory& operator=(const GeolocationManifestFactory&) = delete;

  virtual std::shared_ptr<ManifestSource> CreateSource() = 0;
  virtual std::shared_ptr<GeolocationManifest> Load(ManifestSource& source);
  virtual std::shared_ptr<GeolocationManifest> Load();
};

// Fetches the answer over HTTP from a fixed URL.
class HttpGeolocationManifestFactory : public GeolocationManifestFactory {
 public:
  // The request factory is not owned and must outlive the factory.
  HttpGeolocationManifestFactory(std::string url, http::RequestFactory& requestFactory,
                                 std::uint32_t connectTimeoutSeconds, std::uint32_t timeoutSeconds);

  using GeolocationManifestFactory::Load;
  virtual std::shared_ptr<GeolocationManifest> Load(std::shared_ptr<http::Session> session);
  std::shared_ptr<ManifestSource> CreateSource() override;
  virtual std::shared_ptr<ManifestSource> CreateSource(std::shared_ptr<http::Session> session) = 0;

 protected:
  const std::string url;
  http::RequestFactory& requestFactory;
  const std::uint32_t connectTimeoutSeconds;
  const std::uint32_t timeoutSeconds;
};

// A JSON answer at the configured URL, used unchanged.
class JsonHttpGeolocationManifestFactory : public HttpGeolocationManifestFactory {
 public:
  using HttpGeolocationManifestFactory::HttpGeolocationManifestFactory;
  // URL and timeouts from geolocationUrl, geolocationConnectTimeout and geolocationTimeout.
  JsonHttpGeolocationManifestFactory(const TransferSettings& settings,
                                     http::RequestFactory& requestFactory);

  using HttpGeolocationManifestFactory::CreateSource;
  std::shared_ptr<ManifestSource> CreateSource(std::shared_ptr<http::Session> session) override;
};

}  // namespace ombrix
