// The loopback server's own answers, as later tests rely on them.
#include "support/test_http_server.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "http/curl_request.h"
#include "http_test_support.h"
#include "support/temp_dir.h"

namespace ombrix::http {
namespace {

using test::CollectingWriter;

RequestResult Get(const std::string& url, CollectingWriter& writer, std::uint64_t first = 0,
                  std::uint64_t last = RequestOptions::kNoRangeLast) {
  RequestOptions options(url, writer);
  options.rangeFirst = first;
  options.rangeLast = last;
  return CurlRequest(options, std::make_shared<EmptyProxy>()).Perform();
}

TEST(TestHttpServer, FoldersHandlersAndUnsatisfiableRanges) {
  ombrix::test::TempDir folder;
  folder.Write("pkg/a.bin", "0123456789");
  ombrix::test::TestHttpServer server;
  server.ServeFolder("/files/", folder.path());
  server.SetHandler("/geo", [](const ombrix::test::RecordedRequest& request) {
    return ombrix::test::Reply{.status = 200, .body = "{\"q\":\"" + request.target + "\"}"};
  });

  CollectingWriter range, whole, beyond, handled, escape;
  EXPECT_EQ(206, Get(server.Url("/files/pkg/a.bin"), range, 3, 5).responseCode);
  EXPECT_EQ("345", range.Body());
  EXPECT_EQ(State::Complete, Get(server.Url("/files/pkg/a.bin"), whole).state);
  EXPECT_EQ("0123456789", whole.Body());
  RequestResult unsatisfiable = Get(server.Url("/files/pkg/a.bin"), beyond, 10);
  EXPECT_EQ(State::ClientError, unsatisfiable.state);
  EXPECT_EQ(416, unsatisfiable.responseCode);
  EXPECT_EQ(State::Complete, Get(server.Url("/geo?x=1"), handled).state);
  EXPECT_EQ("{\"q\":\"/geo?x=1\"}", handled.Body());
  EXPECT_EQ(404, Get(server.Url("/files/../pkg/a.bin"), escape).responseCode);
  EXPECT_EQ(1u, server.RequestCount("/geo"));

  // A doubled slash must not turn the rest into an absolute path outside the folder.
  ombrix::test::TempDir outside;
  outside.Write("secret.txt", "not served");
  CollectingWriter absolute;
  EXPECT_EQ(404, Get(server.Url("/files/" + (outside.path() / "secret.txt").string()), absolute).responseCode);
  EXPECT_EQ("", absolute.Body());
}

// A handler that throws ends its connection; the server goes on serving.
TEST(TestHttpServer, SurvivesAThrowingHandler) {
  ombrix::test::TestHttpServer server;
  server.SetHandler("/throw", [](const ombrix::test::RecordedRequest&) -> ombrix::test::Reply {
    throw std::runtime_error("handler failed");
  });
  server.SetContent("/ok", "fine");
  CollectingWriter failed, ok;
  EXPECT_NE(State::Complete, Get(server.Url("/throw"), failed).state);
  EXPECT_EQ(State::Complete, Get(server.Url("/ok"), ok).state);
  EXPECT_EQ("fine", ok.Body());
}

TEST(TestHttpServer, RecordsLargePostBodies) {
  ombrix::test::TestHttpServer server;
  CollectingWriter writer;
  RequestOptions options(server.Url("/events"), writer);
  options.method = RequestOptions::kPost;
  options.body = test::PatternContent(3 << 20);  // large enough for "Expect: 100-continue"
  EXPECT_EQ(State::Complete, CurlRequest(options, std::make_shared<EmptyProxy>()).Perform().state);
  auto posts = server.RequestsFor("/events");
  ASSERT_EQ(1u, posts.size());
  EXPECT_TRUE(posts[0].body == options.body);
  EXPECT_EQ("100-continue", posts[0].Header("Expect"));
}

// Destruction must not wait for a client that stopped reading or for a stall.
TEST(TestHttpServer, ShutsDownWhileAResponseIsStalled) {
  CollectingWriter writer;
  RequestResult result;
  std::thread client;
  {
    ombrix::test::TestHttpServer server;
    server.SetContent("/s", std::string(1000, 'x'));
    server.SetBehavior("/s", ombrix::test::Behavior{.stallAfterBytes = 10});
    client = std::thread([&, url = server.Url("/s")] { result = Get(url, writer); });
    EXPECT_TRUE(ombrix::test::WaitUntil([&] { return server.StalledCount() == 1; }));
  }
  client.join();
  EXPECT_EQ(State::RangeError, result.state);  // the body ended short
  EXPECT_EQ(10u, result.bytesReceived);
}

}  // namespace
}  // namespace ombrix::http
