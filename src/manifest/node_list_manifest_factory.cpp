#include "manifest/node_list_manifest_factory.h"

#include "http/session.h"
#include "manifest/http_manifest_source.h"
#include "manifest/manifest_url.h"
#include "transfer/transfer_settings.h"

namespace ombrix {

std::shared_ptr<NodeListManifest> NodeListManifestFactory::Load(ManifestSource& source,
                                                                const std::string& locator) {
  auto list = std::make_shared<StandardNodeListManifest>();
  source.Read(locator, *list);
  return list;
}

std::shared_ptr<NodeListManifest> NodeListManifestFactory::Load(const std::string& locator) {
  return Load(*CreateSource(locator), locator);
}

HttpNodeListManifestFactory::HttpNodeListManifestFactory(std::string host,
                                                         http::RequestFactory& requestFactory,
                                                         std::uint32_t connectTimeoutSeconds,
                                                         std::uint32_t timeoutSeconds)
    : host(std::move(host)),
      requestFactory(requestFactory),
      connectTimeoutSeconds(connectTimeoutSeconds),
      timeoutSeconds(timeoutSeconds) {}

std::shared_ptr<NodeListManifest> HttpNodeListManifestFactory::Load(
    const std::string& locator, std::shared_ptr<http::Session> session) {
  return NodeListManifestFactory::Load(*CreateSource(locator, std::move(session)), locator);
}

std::shared_ptr<ManifestSource> HttpNodeListManifestFactory::CreateSource(const std::string& locator) {
  return CreateSource(locator, nullptr);
}

XmlHttpNodeListManifestFactory::XmlHttpNodeListManifestFactory(const TransferSettings& settings,
                                                               http::RequestFactory& requestFactory)
    : HttpNodeListManifestFactory(settings.manifestHost, requestFactory,
                                  settings.manifestConnectTimeout, settings.manifestTimeout) {}

std::shared_ptr<ManifestSource> XmlHttpNodeListManifestFactory::CreateSource(
    const std::string& locator, std::shared_ptr<http::Session> session) {
  return std::make_shared<XmlHttpManifestSource>(BuildUrl(locator), requestFactory,
                                                 std::move(session), connectTimeoutSeconds,
                                                 timeoutSeconds, kNodeListLimits);
}

std::string XmlHttpNodeListManifestFactory::BuildUrl(const std::string& locator) {
  return ComposeManifestUrl(host, "/nodes/" + locator + ".xml");
}

}  // namespace ombrix
