#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "common/environment.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "manifest/geolocation_manifest_factory.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/manifest_source.h"
#include "manifest/node_list_manifest_factory.h"
#include "manifest/package_manifest_factory.h"

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

}  // namespace
}  // namespace ombrix
