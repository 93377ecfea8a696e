#include "events/json_http_analytics_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/environment.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "http/session_factory.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/transfer_settings.h"

namespace ombrix {
namespace {

using test::Reply;
using test::TestHttpServer;
using test::WaitUntil;

// Makes `server` answer `path` with the statuses in turn, then 200.
void AnswerInTurn(TestHttpServer& server, const std::string& path, std::vector<int> statuses) {
  auto next = std::make_shared<std::atomic<std::size_t>>(0);
  server.SetHandler(path, [statuses = std::move(statuses), next](const test::RecordedRequest&) {
    const std::size_t index = (*next)++;
    Reply reply;
    reply.status = index < statuses.size() ? statuses[index] : 200;
    return reply;
  });
}

class JsonHttpAnalyticsManagerTest : public testing::Test {
 protected:
  std::unique_ptr<JsonHttpAnalyticsManager> MakeManager() {
    return std::make_unique<JsonHttpAnalyticsManager>(requests, sessions, settings,
                                                      server.Url("/events"),
                                                      server.Url("/transfers"));
  }

  static void SubmitDocument(JsonHttpAnalyticsManager& manager, std::int32_t category,
                             const std::string& value) {
    auto work = manager.CreateWork(category);
    work->GetDocument().put("k", value);
    manager.Submit(work);
  }

  TestHttpServer server;
  http::posix::ProxyFactoryImpl proxies{Environment{}};
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  TransferSettings settings;
};

TEST_F(JsonHttpAnalyticsManagerTest, PostsEachDocumentAsJsonToTheEndpointOfItsCategory) {
  {
    auto manager = MakeManager();
    SubmitDocument(*manager, 1, "e/1");
    SubmitDocument(*manager, kTransfersCategory, "t");
    SubmitDocument(*manager, 2, "e2");
  }  // destruction drains: every document is posted
  const auto events = server.RequestsFor("/events");
  const auto transfers = server.RequestsFor("/transfers");
  ASSERT_EQ(events.size(), 2u);
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_EQ(transfers[0].method, "POST");
  EXPECT_EQ(transfers[0].Header("content-type"), "application/json");
  EXPECT_EQ(transfers[0].body, "{\"k\":\"t\"}\n");
  std::set<std::string> bodies{events[0].body, events[1].body};
  EXPECT_EQ(bodies, (std::set<std::string>{"{\"k\":\"e\\/1\"}\n", "{\"k\":\"e2\"}\n"}));
}

// A server error is posted once more and then dropped; a client error or an
// unrepresentable document is never retried.
TEST_F(JsonHttpAnalyticsManagerTest, RetriesOnlyRetryableFailuresWithinTheBudget) {
  const struct {
    std::vector<int> statuses;
    std::size_t posts;
  } cases[] = {{{500}, 2}, {{500, 503, 500}, 2}, {{404}, 1}, {{400, 500}, 1}, {{}, 1}};
  for (const auto& c : cases) {
    TestHttpServer caseServer;
    AnswerInTurn(caseServer, "/events", c.statuses);
    {
      JsonHttpAnalyticsManager manager(requests, sessions, settings, caseServer.Url("/events"),
                                       caseServer.Url("/transfers"));
      SubmitDocument(manager, 1, "x");
    }
    EXPECT_EQ(caseServer.RequestCount("/events"), c.posts) << c.statuses.size();
  }
  {
    auto manager = MakeManager();
    auto work = manager->CreateWork(1);
    work->GetDocument().put("bad", "value");
    work->GetDocument().put("bad.child", "x");
    manager->Submit(work);
  }
  EXPECT_EQ(server.RequestCount("/events"), 0u);
}

// A black-holed endpoint: Submit never waits, and destruction gives up after its
// deadline instead of waiting out every document's timeouts.
TEST_F(JsonHttpAnalyticsManagerTest, DeadEndpointNeitherDelaysSubmitNorHoldsTeardown) {
  test::Behavior blackHole;
  blackHole.headerDelay = std::chrono::minutes(5);
  server.SetBehavior("/events", blackHole);
  settings.analyticsTimeout = 60;
  auto manager = MakeManager();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) SubmitDocument(*manager, 1, std::to_string(i));
  const auto submitted = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return server.RequestCount("/events") == 3; }));
  manager.reset();
  const auto ended = std::chrono::steady_clock::now();
  // Without the deadline this teardown would take minutes; the bounds are loose.
  EXPECT_LT(submitted - start, std::chrono::seconds(1));
  EXPECT_LT(ended - submitted, JsonHttpAnalyticsManager::kDrainDeadline + std::chrono::seconds(4));
  EXPECT_EQ(server.RequestCount("/events"), 3u);  // the queued ones were dropped
}

TEST_F(JsonHttpAnalyticsManagerTest, DropsTheNewestDocumentsPastTheQueueCap) {
  test::Behavior stall;
  stall.headerDelay = std::chrono::minutes(5);
  server.SetBehavior("/events", stall);
  auto manager = MakeManager();
  const std::size_t extra = 5;
  for (std::size_t i = 0; i < JsonHttpAnalyticsManager::kMaxQueuedDocuments + extra; ++i) {
    SubmitDocument(*manager, 1, "x");
  }
  EXPECT_EQ(manager->GetDroppedCount(), extra);
}

TEST(NullAnalyticsManager, AcceptsEverythingAndRunsNothing) {
  NullAnalyticsManager manager;
  for (std::int32_t category : {1, kTransfersCategory}) {
    auto work = manager.CreateWork(category);
    ASSERT_TRUE(work);
    EXPECT_EQ(work->GetCategory(), category);
    work->GetDocument().put("k", "v");
    manager.Submit(work);
    EXPECT_EQ(work.use_count(), 1);  // not queued anywhere
    EXPECT_EQ(work->Run().result, WorkResult::Success);
  }
}

}  // namespace
}  // namespace ombrix
