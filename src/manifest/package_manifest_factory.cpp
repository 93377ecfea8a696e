#include "manifest/package_manifest_factory.h"

#include <boost/property_tree/ptree.hpp>
#include <sstream>

#include "http/session.h"
#include "manifest/http_manifest_source.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/manifest_trust.h"
#include "manifest/manifest_url.h"
#include "transfer/transfer_settings.h"

namespace ombrix {

std::shared_ptr<PackageManifest> PackageManifestFactory::Load(ManifestSource& source,
                                                              const std::string& locator) {
  auto package = std::make_shared<StandardPackageManifest>();
  if (!trust) {
    source.Read(locator, *package);
    if (!Matches(*package, locator)) throw ManifestLocatorException();
    return package;
  }
  std::stringstream document;
  source.Fetch(locator, document);
  std::stringstream signature;
  try {
    source.FetchSignature(locator, signature);
  } catch (const ManifestLocatorException&) {
    throw ManifestSignatureException("the manifest has no signature document");
  }
  const Publication publication = trust->Open(document.view(), signature.view());
  boost::property_tree::ptree tree;
  source.Parse(document, tree);
  package->Read(tree);
  if (!Matches(*package, locator)) throw ManifestLocatorException();
  trust->Accept(publication, locator, *package);
  return package;
}

std::shared_ptr<PackageManifest> PackageManifestFactory::Load(const std::string& locator) {
  return Load(*CreateSource(locator), locator);
}

bool PackageManifestFactory::Matches(const PackageManifest& manifest, const std::string& locator) {
  return locator.substr(0, locator.find('/')) == manifest.GetId();
}

HttpPackageManifestFactory::HttpPackageManifestFactory(std::string host,
                                                       http::RequestFactory& requestFactory,
                                                       std::uint32_t connectTimeoutSeconds,
                                                       std::uint32_t timeoutSeconds)
    : host(std::move(host)),
      requestFactory(requestFactory),
      connectTimeoutSeconds(connectTimeoutSeconds),
      timeoutSeconds(timeoutSeconds) {}

std::shared_ptr<PackageManifest> HttpPackageManifestFactory::Load(
    const std::string& locator, std::shared_ptr<http::Session> session) {
  return PackageManifestFactory::Load(*CreateSource(locator, std::move(session)), locator);
}

std::shared_ptr<ManifestSource> HttpPackageManifestFactory::CreateSource(const std::string& locator) {
  return CreateSource(locator, nullptr);
}

XmlHttpPackageManifestFactory::XmlHttpPackageManifestFactory(const TransferSettings& settings,
                                                             http::RequestFactory& requestFactory)
    : HttpPackageManifestFactory(settings.manifestHost, requestFactory,
                                 settings.manifestConnectTimeout, settings.manifestTimeout) {}

std::shared_ptr<ManifestSource> XmlHttpPackageManifestFactory::CreateSource(
    const std::string& locator, std::shared_ptr<http::Session> session) {
  return std::make_shared<XmlHttpManifestSource>(BuildUrl(locator), requestFactory,
                                                 std::move(session), connectTimeoutSeconds,
                                                 timeoutSeconds, kPackageManifestLimits);
}

std::string XmlHttpPackageManifestFactory::BuildUrl(const std::string& locator) {
  std::string path = "/manifests/" + locator;
  if (locator.find('/') == std::string::npos) path += "/current";
  path += ".xml";
  return ComposeManifestUrl(host, path);
}

}  // namespace ombrix
