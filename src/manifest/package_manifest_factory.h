// Loads package manifests by locator: "package" (current version) or
// "package/version".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "manifest/package_manifest.h"

namespace ombrix {

class ManifestSource;
class ManifestTrust;
struct TransferSettings;

namespace http {
class RequestFactory;
class Session;
}  // namespace http

// Guarantees: Load returns a package whose id equals the locator's package part, or
// throws (ManifestLocatorException when the document names another package, and
// whatever the source throws otherwise). With a trust set, Load also fetches the
// document's signature and refuses, with ManifestSignatureException, a document
// the trust does not vouch for (ManifestTrust::Open, before the document is
// parsed, and ManifestTrust::Accept); a missing signature document is refused so
// too. The package it returns then carries every chunk's SHA-256. SetTrust is for
// set-up; after that the factory is safe to use from several threads at once.
class PackageManifestFactory {
 public:
  PackageManifestFactory() = default;
  virtual ~PackageManifestFactory() = default;
  PackageManifestFactory(const PackageManifestFactory&) = delete;
  PackageManifestFactory& operator=(const PackageManifestFactory&) = delete;

  virtual std::shared_ptr<ManifestSource> CreateSource(const std::string& locator) = 0;
  virtual std::shared_ptr<PackageManifest> Load(ManifestSource& source, const std::string& locator);
  virtual std::shared_ptr<PackageManifest> Load(const std::string& locator);
  // The locator up to its first "/" equals the package id exactly.
  virtual bool Matches(const PackageManifest& manifest, const std::string& locator);

  // Null: documents are taken as they come.
  void SetTrust(std::shared_ptr<const ManifestTrust> fresh) { trust = std::move(fresh); }

 private:
  std::shared_ptr<const ManifestTrust> trust;
};

// Fetches package manifests over HTTP from the manifest host.
class HttpPackageManifestFactory : public PackageManifestFactory {
 public:
  // The request factory is not owned and must outlive the factory.
  HttpPackageManifestFactory(std::string host, http::RequestFactory& requestFactory,
                             std::uint32_t connectTimeoutSeconds, std::uint32_t timeoutSeconds);

  using PackageManifestFactory::Load;
  virtual std::shared_ptr<PackageManifest> Load(const std::string& locator,
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

// XML package manifests at "/manifests/" + package + "/current.xml" or
// "/manifests/" + package + "/" + version + ".xml".
class XmlHttpPackageManifestFactory : public HttpPackageManifestFactory {
 public:
  using HttpPackageManifestFactory::HttpPackageManifestFactory;
  // Host and timeouts from manifestHost, manifestConnectTimeout and manifestTimeout.
  XmlHttpPackageManifestFactory(const TransferSettings& settings, http::RequestFactory& requestFactory);

  using HttpPackageManifestFactory::CreateSource;
  std::shared_ptr<ManifestSource> CreateSource(const std::string& locator,
                                               std::shared_ptr<http::Session> session) override;
  std::string BuildUrl(const std::string& locator) override;
};

}  // namespace ombrix
