// Loads node lists by locator (the identifier whose node list is wanted).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "manifest/node_list_manifest.h"

namespace ombrix {

class ManifestSource;
struct TransferSettings;

namespace http {
class RequestFactory;
class Session;
}  // namespace http

// Guarantees: Load returns a node list that passed every rule of the format, or
// throws what the source throws. Holds no mutable state: safe to use from several
// threads at once.
class NodeListManifestFactory {
 public:
  NodeListManifestFactory() = default;
  virtual ~NodeListManifestFactory() = default;
  NodeListManifestFactory(const NodeListManifestFactory&) = delete;
  NodeListManifestFactory& operator=(const NodeListManifestFactory&) = delete;

  virtual std::shared_ptr<ManifestSource> CreateSource(const std::string& locator) = 0;
  virtual std::shared_ptr<NodeListManifest> Load(ManifestSource& source, const std::string& locator);
  virtual std::shared_ptr<NodeListManifest> Load(const std::string& locator);
};

// Fetches node lists over HTTP from the manifest host.
class HttpNodeListManifestFactory : public NodeListManifestFactory {
 public:
  // The request factory is not owned and must outlive the factory.
  HttpNodeListManifestFactory(std::string host, http::RequestFactory& requestFactory,
                              std::uint32_t connectTimeoutSeconds, std::uint32_t timeoutSeconds);

  using NodeListManifestFactory::Load;
  virtual std::shared_ptr<NodeListManifest> Load(const std::string& locator,
                                                 std::shared_ptr<http::Session> session);
  std::shared_ptr<ManifestSource> CreateSource(const std::string& locator) override;
  virtual std::shared_ptr<ManifestSource> CreateSource(const std::string& locator,
                                                       std::shared_ptr<http::Session> session) = 0;
  // Throws ManifestLocatorException when no URL can be built.
  virtual std::string BuildUrl(const std::string& locator) = 0;

 protected:
  const std::string host;
  http::RequestFactory& requestFactory;
  const std::uint32_t connectTimeoutSeconds;
  const std::uint32_t timeoutSeconds;
};

// XML node lists at "/nodes/" + locator + ".xml".
class XmlHttpNodeListManifestFactory : public HttpNodeListManifestFactory {
 public:
  using HttpNodeListManifestFactory::HttpNodeListManifestFactory;
  // Host and timeouts from manifestHost, manifestConnectTimeout and manifestTimeout.
  XmlHttpNodeListManifestFactory(const TransferSettings& settings, http::RequestFactory& requestFactory);

  using HttpNodeListManifestFactory::CreateSource;
  std::shared_ptr<ManifestSource> CreateSource(const std::string& locator,
                                               std::shared_ptr<http::Session> session) override;
  std::string BuildUrl(const std::string& locator) override;
};

}  // namespace ombrix
