#include <gtest/gtest.h>

#include <cstdlib>

#include "http/curl_request.h"
#include "http/manual_proxy.h"
#include "http/posix/proxy_factory_impl.h"
#include "http_test_support.h"
#include "support/test_http_server.h"

namespace ombrix::http {
namespace {

using test::CollectingWriter;
using ombrix::test::TestHttpServer;

TEST(ProxySelection, SchemeSpecificAndGenericEntries) {
  const std::string perScheme = "http=p1:80;https=p2:443";
  EXPECT_EQ("p2:443", SelectProxy("https://host/x", perScheme, ""));
  EXPECT_EQ("p1:80", SelectProxy("http://host/x", perScheme, ""));

  const std::string genericFirst = "p3:8080 https=p4:8443";
  EXPECT_EQ("p4:8443", SelectProxy("https://host/x", genericFirst, ""));
  EXPECT_EQ("p3:8080", SelectProxy("ftp://host/x", genericFirst, ""));
  EXPECT_EQ("p3:8080", SelectProxy("http://host/x", genericFirst, ""));

  EXPECT_EQ("", SelectProxy("http://host/x", "https=p2:443", ""));
  EXPECT_EQ("", SelectProxy("http://host/x", "", ""));
  EXPECT_EQ("", SelectProxy("http://host/x", " ,; ", ""));
  // The first entry of each kind counts; separators may be mixed and repeated.
  EXPECT_EQ("a:1", SelectProxy("http://host/x", "http=a:1,,http=b:2;c:3", ""));
  EXPECT_EQ("c:3", SelectProxy("https://host/x", "http=a:1,,c:3 d:4", ""));
  // Placeholder entries mean no proxy.
  EXPECT_EQ("", SelectProxy("http://host/x", "http=:", ""));
  EXPECT_EQ("", SelectProxy("http://host/x", "::", ""));
  EXPECT_EQ("", SelectProxy("http://host/x", "http=", ""));
  // Scheme prefixes are matched as written.
  EXPECT_EQ("", SelectProxy("http://host/x", "HTTP=p1:80", ""));
  EXPECT_EQ("p2:443", SelectProxy("HTTPS://host/x", "https=p2:443", ""));
}

TEST(ProxySelection, BypassPatterns) {
  const std::string list = "http=p1:80";
  EXPECT_EQ("", SelectProxy("http://a.example.com/x", list, "*.example.com"));
  EXPECT_EQ("", SelectProxy("http://a.b.example.com/x", list, "*.example.com"));
  EXPECT_EQ("p1:80", SelectProxy("http://example.com/x", list, "*.example.com"));
  EXPECT_EQ("p1:80", SelectProxy("http://aexample.com/x", list, "*.example.com"));

  EXPECT_EQ("", SelectProxy("http://intranet/x", list, "other;intranet"));
  // Patterns match case-sensitively; the URL's host is taken in lower case, as
  // host names are case-insensitive.
  EXPECT_EQ("p1:80", SelectProxy("http://intranet/x", list, "INTRANET"));
  EXPECT_EQ("", SelectProxy("http://INTRANET/x", list, "intranet"));
  EXPECT_FALSE(MatchesBypassList("INTRANET", "intranet"));
  EXPECT_EQ("p1:80", SelectProxy("http://intranet2/x", list, "intranet"));
  EXPECT_EQ("p1:80", SelectProxy("http://my-intranet/x", list, "intranet"));
  // A dot is a dot, not any character; the whole host must match.
  EXPECT_EQ("p1:80", SelectProxy("http://10x0x0x1/x", list, "10.0.0.1"));
  EXPECT_EQ("", SelectProxy("http://10.0.0.1:8080/x", list, "10.0.*"));
  EXPECT_EQ("", SelectProxy("http://anything/x", list, "*"));
  EXPECT_EQ("", SelectProxy("http://a.test/x", list, "*.test*"));
  // Characters special to regular expressions stand for themselves.
  EXPECT_EQ("p1:80", SelectProxy("http://ab/x", list, "a+b"));
  EXPECT_FALSE(MatchesBypassList("host", "[("));
  EXPECT_TRUE(MatchesBypassList("a.b", "a*b*"));
  EXPECT_FALSE(MatchesBypassList("", "x"));
}

TEST(ProxyKinds, DescribeAndSelect) {
  EmptyProxy empty;
  EXPECT_EQ("", empty.Describe());
  EXPECT_EQ("", empty.GetProxyForUrl("http://host/"));
  ManualProxy manual("http=p1:80;p3:1", "*.local");
  EXPECT_EQ("http=p1:80;p3:1", manual.Describe());
  EXPECT_EQ("p1:80", manual.GetProxyForUrl("http://host/"));
  EXPECT_EQ("p3:1", manual.GetProxyForUrl("https://host/"));
  EXPECT_EQ("", manual.GetProxyForUrl("https://box.local/"));
}

TEST(PosixProxyFactory, ReadsTheEnvironmentLikeCurl) {
  using Lists = posix::ProxyFactoryImpl::Lists;
  auto lists = [](std::map<std::string, std::string> variables) {
    return posix::ProxyFactoryImpl::ListsFromEnvironment(Environment(std::move(variables)));
  };
  Lists none = lists({{"HTTP_PROXY", "http://ignored:1"}, {"no_proxy", "x"}});
  EXPECT_EQ("", none.proxyList);
  EXPECT_EQ("", none.bypassList);

  Lists all = lists({{"http_proxy", "http://h:1"},
                     {"HTTPS_PROXY", "http://s:2"},
                     {"all_proxy", "socks5://g:3"},
                     {"ALL_PROXY", "ignored:9"},
                     {"no_proxy", ".Example.com, intranet *"}});
  EXPECT_EQ("http=http://h:1;https=http://s:2;socks5://g:3", all.proxyList);
  EXPECT_EQ("example.com;*.example.com;intranet;*.intranet;*", all.bypassList);

  Lists lowerWins = lists({{"https_proxy", "a:1"}, {"HTTPS_PROXY", "b:2"}, {"NO_PROXY", "corp"}});
  EXPECT_EQ("https=a:1", lowerWins.proxyList);
  EXPECT_EQ("corp;*.corp", lowerWins.bypassList);
  EXPECT_EQ("", lists({{"http_proxy", ""}}).proxyList);  // empty is unset

  posix::ProxyFactoryImpl factory(Environment({{"http_proxy", "http://h:1"}, {"no_proxy", "example.com"}}));
  auto proxy = factory.CreateProxy();
  EXPECT_EQ("http=http://h:1", proxy->Describe());
  EXPECT_EQ("http://h:1", proxy->GetProxyForUrl("http://cdn.net/x"));
  EXPECT_EQ("", proxy->GetProxyForUrl("http://example.com/x"));
  EXPECT_EQ("", proxy->GetProxyForUrl("http://a.example.com/x"));
  EXPECT_EQ("", proxy->GetProxyForUrl("https://cdn.net/x"));

  auto direct = posix::ProxyFactoryImpl(Environment()).CreateProxy();
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<EmptyProxy>(direct));
}

class ProxiedRequestTest : public ::testing::Test {
 protected:
  ProxiedRequestTest() {
    origin.SetContent("/file", "from origin");
    proxyServer.SetContent("/file", "via proxy");
  }
  TestHttpServer origin;
  TestHttpServer proxyServer;  // answers absolute-form requests from its own content
  CollectingWriter writer;
};

TEST_F(ProxiedRequestTest, SelectedProxyCarriesTheRequest) {
  auto proxy = std::make_shared<ManualProxy>("http=" + proxyServer.Authority(), "");
  CurlRequest request(RequestOptions(origin.Url("/file"), writer), proxy);
  RequestResult result = request.Perform();
  EXPECT_EQ(State::Complete, result.state);
  EXPECT_EQ("via proxy", writer.Body());
  EXPECT_EQ(proxyServer.Authority(), result.proxyUrl);
  EXPECT_EQ("http=" + proxyServer.Authority(), result.proxyConfig);
  auto seen = proxyServer.RequestsFor("/file");
  ASSERT_EQ(1u, seen.size());
  EXPECT_TRUE(seen[0].absoluteForm);
  EXPECT_EQ(origin.Url("/file"), seen[0].target);
  EXPECT_EQ(0u, origin.RequestCount("/file"));
}

// libcurl on its own would read http_proxy and no_proxy; the selection must win
// both ways.
TEST_F(ProxiedRequestTest, EnvironmentCannotOverrideTheSelection) {
  const char* savedProxy = std::getenv("http_proxy");
  const char* savedNoProxy = std::getenv("no_proxy");
  const std::string keepProxy = savedProxy ? savedProxy : "", keepNoProxy = savedNoProxy ? savedNoProxy : "";
  ::setenv("http_proxy", ("http://" + proxyServer.Authority()).c_str(), 1);
  ::setenv("no_proxy", "127.0.0.1", 1);

  CurlRequest direct(RequestOptions(origin.Url("/file"), writer), std::make_shared<EmptyProxy>());
  RequestResult directResult = direct.Perform();

  CollectingWriter proxiedWriter;
  auto proxy = std::make_shared<ManualProxy>(proxyServer.Authority(), "");
  CurlRequest proxied(RequestOptions(origin.Url("/file"), proxiedWriter), proxy);
  RequestResult proxiedResult = proxied.Perform();

  if (savedProxy) ::setenv("http_proxy", keepProxy.c_str(), 1); else ::unsetenv("http_proxy");
  if (savedNoProxy) ::setenv("no_proxy", keepNoProxy.c_str(), 1); else ::unsetenv("no_proxy");

  EXPECT_EQ(State::Complete, directResult.state);
  EXPECT_EQ("from origin", writer.Body());
  EXPECT_EQ("", directResult.proxyUrl);
  EXPECT_EQ(State::Complete, proxiedResult.state);
  EXPECT_EQ("via proxy", proxiedWriter.Body());
  EXPECT_EQ(1u, origin.RequestCount("/file"));
  EXPECT_EQ(1u, proxyServer.RequestCount("/file"));
}

}  // namespace
}  // namespace ombrix::http
