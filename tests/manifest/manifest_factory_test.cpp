#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "common/environment.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "manifest/geolocation_manifest_factory.h"
#include "manifest/http_manifest_source.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/manifest_source.h"
#include "manifest/node_list_manifest_factory.h"
#include "manifest/package_manifest_factory.h"
#include "transfer/transfer_settings.h"

namespace ombrix {
namespace {

// A source that serves one document from memory, for the factory rules that do
// not depend on the transport.
class TextSource : public ManifestSource {
 public:
  explicit TextSource(std::string text) : text(std::move(text)) {}
  void Fetch(const std::string& locator, std::ostream& stream) override {
    locators.push_back(locator);
    stream << text;
  }
  void Parse(std::istream& stream, boost::property_tree::ptree& tree) override {
    ReadXmlDocument(stream, tree);
  }
  std::vector<std::string> locators;

 private:
  std::string text;
};

std::string PackageXml(const std::string& id) {
  return "<package><id>" + id + "</id><name>n</name><partnerId>p</partnerId>"
         "<versionId>42</versionId><files/></package>";
}

class ManifestFactoryTest : public ::testing::Test {
 protected:
  http::posix::ProxyFactoryImpl proxies{Environment{}};
  http::CurlRequestFactory requests{proxies};
};

TEST_F(ManifestFactoryTest, PackageUrls) {
  XmlHttpPackageManifestFactory factory("manifests.example:8080", requests, 10, 30);
  EXPECT_EQ(factory.BuildUrl("abc"), "http://manifests.example:8080/manifests/abc/current.xml");
  EXPECT_EQ(factory.BuildUrl("abc/42"), "http://manifests.example:8080/manifests/abc/42.xml");
  EXPECT_EQ(factory.BuildUrl("a b/1"), "http://manifests.example:8080/manifests/a%20b/1.xml");
  // "?" and "#" start a query and a fragment.
  EXPECT_EQ(factory.BuildUrl("abc?x=1"), "http://manifests.example:8080/manifests/abc?x=1/current.xml");
}

TEST_F(ManifestFactoryTest, NodeListUrls) {
  XmlHttpNodeListManifestFactory factory("127.0.0.1:47080", requests, 10, 30);
  EXPECT_EQ(factory.BuildUrl("abc"), "http://127.0.0.1:47080/nodes/abc.xml");
  EXPECT_EQ(factory.BuildUrl("p/q"), "http://127.0.0.1:47080/nodes/p/q.xml");
}

TEST_F(ManifestFactoryTest, BadHostIsALocatorFailure) {
  XmlHttpPackageManifestFactory factory("host:notaport", requests, 10, 30);
  EXPECT_THROW(factory.BuildUrl("abc"), ManifestLocatorException);
  EXPECT_THROW(factory.CreateSource("abc"), ManifestLocatorException);
  XmlHttpNodeListManifestFactory nodes("host:99999999", requests, 10, 30);
  EXPECT_THROW(nodes.Load("abc"), ManifestLocatorException);
}

TEST_F(ManifestFactoryTest, PackageMustMatchTheLocator) {
  XmlHttpPackageManifestFactory factory("h", requests, 10, 30);
  TextSource good(PackageXml("abc"));
  EXPECT_EQ(factory.Load(good, "abc/42")->GetId(), "abc");
  EXPECT_EQ(good.locators, (std::vector<std::string>{"abc/42"}));
  TextSource other(PackageXml("abd"));
  EXPECT_THROW(factory.Load(other, "abc/42"), ManifestLocatorException);
  TextSource longer(PackageXml("abc/42"));
  EXPECT_THROW(factory.Load(longer, "abc/42"), ManifestLocatorException);

  StandardPackageManifest package;
  std::istringstream stream(PackageXml("abc"));
  boost::property_tree::ptree tree;
  ReadXmlDocument(stream, tree);
  package.Read(tree);
  EXPECT_TRUE(factory.Matches(package, "abc"));
  EXPECT_TRUE(factory.Matches(package, "abc/anything/else"));
  EXPECT_FALSE(factory.Matches(package, "ABC"));
  EXPECT_FALSE(factory.Matches(package, "/abc"));
}

TEST_F(ManifestFactoryTest, DocumentFailuresPassThrough) {
  XmlHttpNodeListManifestFactory factory("h", requests, 10, 30);
  TextSource broken("<ArrayOfNodeInfo><NodeInfo>");
  EXPECT_THROW(factory.Load(broken, "p"), ManifestParseException);
  TextSource list("<ArrayOfNodeInfo><NodeInfo><NodeId>n</NodeId><Host>h</Host></NodeInfo>"
                  "</ArrayOfNodeInfo>");
  EXPECT_EQ(factory.Load(list, "p")->GetNodes().size(), 1u);
}

// Each factory built from the settings takes its own address and pair of limits:
// the manifest host with manifestConnectTimeout/manifestTimeout (10/30 by default)
// for packages and node lists, the geolocation URL with geolocationConnectTimeout/
// geolocationTimeout (5/10) for geolocation; and each kind its own document limits.
TEST_F(ManifestFactoryTest, FactoriesFromSettings) {
  TransferSettings defaults(4);
  TransferSettings distinct(4);  // no two limits alike, so a swap cannot hide
  distinct.manifestConnectTimeout = 11;
  distinct.manifestTimeout = 31;
  distinct.geolocationConnectTimeout = 6;
  distinct.geolocationTimeout = 12;
  for (TransferSettings* settings : {&defaults, &distinct}) {
    settings->manifestHost = "manifests.example:8080";
    settings->geolocationUrl = "http://geo.example/where?format=json";
    XmlHttpPackageManifestFactory packages(*settings, requests);
    XmlHttpNodeListManifestFactory nodes(*settings, requests);
    JsonHttpGeolocationManifestFactory geolocation(*settings, requests);
    struct Expected {
      std::shared_ptr<ManifestSource> source;
      bool json;
      std::string url;
      std::uint32_t connect;
      std::uint32_t timeout;
      DocumentLimits limits;
    };
    const std::uint32_t manifestConnect = settings->manifestConnectTimeout;
    const std::uint32_t manifestTimeout = settings->manifestTimeout;
    for (const Expected& e : std::vector<Expected>{
             {packages.CreateSource("abc"), false,
              "http://manifests.example:8080/manifests/abc/current.xml", manifestConnect,
              manifestTimeout, kPackageManifestLimits},
             {nodes.CreateSource("p"), false, "http://manifests.example:8080/nodes/p.xml",
              manifestConnect, manifestTimeout, kNodeListLimits},
             {geolocation.CreateSource(), true, "http://geo.example/where?format=json",
              settings->geolocationConnectTimeout, settings->geolocationTimeout,
              kGeolocationLimits},
         }) {
      SCOPED_TRACE(e.url);
      const auto* source = dynamic_cast<const HttpManifestSource*>(e.source.get());
      ASSERT_NE(source, nullptr);
      EXPECT_EQ(dynamic_cast<const JsonHttpManifestSource*>(source) != nullptr, e.json);
      EXPECT_EQ(source->GetUrl(), e.url);
      EXPECT_EQ(source->GetConnectTimeoutSeconds(), e.connect);
      EXPECT_EQ(source->GetTimeoutSeconds(), e.timeout);
      EXPECT_EQ(source->GetLimits().maxBytes, e.limits.maxBytes);
      EXPECT_EQ(source->GetLimits().maxNodes, e.limits.maxNodes);
      EXPECT_EQ(source->GetSession(), nullptr);
    }
  }
  EXPECT_EQ(defaults.manifestConnectTimeout, 10u);
  EXPECT_EQ(defaults.manifestTimeout, 30u);
  EXPECT_EQ(defaults.geolocationConnectTimeout, 5u);
  EXPECT_EQ(defaults.geolocationTimeout, 10u);
}

}  // namespace
}  // namespace ombrix
