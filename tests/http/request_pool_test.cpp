#include <gtest/gtest.h>

#include <new>
#include <thread>
#include <vector>

#include "http/curl_request_factory.h"
#include "http/pooled_request_wrapper.h"
#include "http/round_robin_request_pool.h"
#include "http/session_factory.h"
#include "http_test_support.h"
#include "support/test_http_server.h"

namespace ombrix::http {
namespace {

using test::CollectingWriter;
using test::CountingProxyFactory;
using ombrix::test::Behavior;
using ombrix::test::TestHttpServer;

std::shared_ptr<Request> InnerOf(const std::shared_ptr<Request>& request) {
  auto wrapper = std::dynamic_pointer_cast<PooledRequestWrapper>(request);
  return wrapper ? wrapper->Inner() : nullptr;
}

class RequestPoolTest : public ::testing::Test {
 protected:
  RequestPoolTest() {
    server.SetContent("/a", "first");
    server.SetContent("/b", "second");
  }
  RequestOptions Options(const std::string& path) { return RequestOptions(server.Url(path), writer); }

  TestHttpServer server;
  CollectingWriter writer;
  CountingProxyFactory proxies;
  CurlRequestFactory factory{proxies};
  RoundRobinSessionFactory sessions;
};

TEST_F(RequestPoolTest, SessionReusesItsHandleAndProxy) {
  auto session = sessions.CreateSession();
  EXPECT_EQ(nullptr, session->GetProxy());
  std::shared_ptr<Request> inner;
  {
    auto request = factory.CreateRequest(Options("/a"), session);
    inner = InnerOf(request);
    ASSERT_NE(nullptr, inner);
    EXPECT_EQ(State::Complete, request->Perform().state);
  }
  EXPECT_EQ(1, proxies.calls);
  EXPECT_NE(nullptr, session->GetProxy());

  CollectingWriter second;
  auto again = factory.CreateRequest(RequestOptions(server.Url("/b"), second), session);
  EXPECT_EQ(inner, InnerOf(again));
  EXPECT_EQ(State::Idle, again->GetResult().state);
  EXPECT_EQ(State::Complete, again->Perform().state);
  EXPECT_EQ("second", second.Body());
  EXPECT_EQ(1, proxies.calls);
  EXPECT_EQ(1u, server.ConnectionCount());  // the handle kept its connection
}

TEST_F(RequestPoolTest, WithoutSessionNothingIsPooled) {
  auto first = factory.CreateRequest(Options("/a"));
  auto second = factory.CreateRequest(Options("/a"), std::shared_ptr<Session>());
  EXPECT_EQ(nullptr, InnerOf(first));
  EXPECT_EQ(nullptr, InnerOf(second));
  EXPECT_NE(first, second);
  EXPECT_EQ(2, proxies.calls);
  auto emptySession = std::make_shared<Session>(nullptr);
  EXPECT_EQ(nullptr, InnerOf(factory.CreateRequest(Options("/a"), emptySession)));
  EXPECT_EQ(3, proxies.calls);
}

TEST_F(RequestPoolTest, ReleasedRequestsComeBackInReleaseOrder) {
  auto session = sessions.CreateSession();
  auto a = factory.CreateRequest(Options("/a"), session);
  auto b = factory.CreateRequest(Options("/a"), session);
  auto innerA = InnerOf(a), innerB = InnerOf(b);
  ASSERT_NE(innerA, innerB);
  auto& pool = dynamic_cast<RoundRobinRequestPool&>(*session->GetPool());
  EXPECT_EQ(2u, pool.MemberCount());
  EXPECT_EQ(0u, pool.IdleCount());

  a.reset();
  b.reset();
  pool.Release(innerA);  // a second release of the same request
  EXPECT_EQ(2u, pool.IdleCount());

  auto next1 = factory.CreateRequest(Options("/a"), session);
  auto next2 = factory.CreateRequest(Options("/a"), session);
  auto next3 = factory.CreateRequest(Options("/a"), session);
  EXPECT_EQ(innerA, InnerOf(next1));
  EXPECT_EQ(innerB, InnerOf(next2));
  EXPECT_NE(innerA, InnerOf(next3));
  EXPECT_NE(innerB, InnerOf(next3));
  EXPECT_EQ(3u, pool.MemberCount());
}

TEST_F(RequestPoolTest, AddAndReleaseRespectMembership) {
  RoundRobinRequestPool pool;
  auto proxy = std::make_shared<EmptyProxy>();
  auto a = factory.CreateRequest(Options("/a"), proxy);
  auto stranger = factory.CreateRequest(Options("/a"), proxy);
  pool.Add(a, true);
  pool.Add(a, true);  // already a member: not queued twice
  pool.Release(stranger);
  EXPECT_EQ(1u, pool.MemberCount());
  EXPECT_EQ(1u, pool.IdleCount());
  EXPECT_EQ(a, pool.Acquire(Options("/b"), proxy));
  EXPECT_EQ(nullptr, pool.Acquire(Options("/b"), proxy));
}

// A request whose Reset fails (memory ran out while configuring it) stands in for
// a real one: nothing else can make libcurl's configuration throw on demand.
class UnresettableRequest : public Request {
 public:
  RequestResult Perform() override { return {}; }
  RequestResult GetResult() override { return {}; }
  void Cancel() override {}
  bool Reset(const RequestOptions&, std::shared_ptr<Proxy>) override { throw std::bad_alloc(); }
};

TEST_F(RequestPoolTest, AcquireNeverFailsOnABrokenReset) {
  RoundRobinRequestPool pool;
  auto proxy = std::make_shared<EmptyProxy>();
  auto broken = std::make_shared<UnresettableRequest>();
  auto good = factory.CreateRequest(Options("/a"), proxy);
  pool.Add(broken, true);
  pool.Add(good, true);
  std::shared_ptr<Request> acquired;
  EXPECT_NO_THROW(acquired = pool.Acquire(Options("/b"), proxy));
  EXPECT_EQ(good, acquired);
  EXPECT_EQ(1u, pool.MemberCount());  // the broken one is forgotten
  pool.Release(broken);
  EXPECT_EQ(0u, pool.IdleCount());
}

TEST_F(RequestPoolTest, RunningRequestIsForgottenByAcquire) {
  server.SetBehavior("/stall", Behavior{.stallAfterBytes = 10});
  server.SetContent("/stall", std::string(100, 's'));
  auto session = sessions.CreateSession();
  auto& pool = dynamic_cast<RoundRobinRequestPool&>(*session->GetPool());
  auto idle = factory.CreateRequest(Options("/a"), session);
  auto innerIdle = InnerOf(idle);

  CollectingWriter stallWriter;
  auto running = factory.CreateRequest(RequestOptions(server.Url("/stall"), stallWriter), session);
  auto innerRunning = InnerOf(running);
  std::thread performer([running] { running->Perform(); });
  ASSERT_TRUE(stallWriter.firstBytes.Wait());

  // Released while it still runs (its holder let go early), then the idle one.
  pool.Release(innerRunning);
  idle.reset();
  EXPECT_EQ(2u, pool.IdleCount());

  auto next = factory.CreateRequest(Options("/b"), session);
  EXPECT_EQ(innerIdle, InnerOf(next));
  EXPECT_EQ(1u, pool.MemberCount());
  EXPECT_EQ(0u, pool.IdleCount());

  server.ReleaseStalls();
  performer.join();
  running.reset();  // its release is ignored: the pool forgot it
  EXPECT_EQ(0u, pool.IdleCount());
  EXPECT_EQ(State::Complete, next->Perform().state);
}

TEST_F(RequestPoolTest, ConcurrentRequestsOfOneSession) {
  const std::string body = test::PatternContent(32 * 1024);
  server.SetContent("/c", body);
  auto session = sessions.CreateSession();
  constexpr int kThreads = 4, kRounds = 25;
  std::vector<std::thread> threads;
  std::atomic<int> complete{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        CollectingWriter local;
        RequestOptions options(server.Url("/c"), local);
        options.rangeFirst = static_cast<std::uint64_t>(i) * 100;
        options.rangeLast = options.rangeFirst + 999;
        auto request = factory.CreateRequest(options, session);
        if (request->Perform().state == State::Complete &&
            local.Body() == body.substr(options.rangeFirst, 1000)) {
          ++complete;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(kThreads * kRounds, complete);
  auto& pool = dynamic_cast<RoundRobinRequestPool&>(*session->GetPool());
  EXPECT_LE(pool.MemberCount(), static_cast<std::size_t>(kThreads));
  EXPECT_EQ(pool.MemberCount(), pool.IdleCount());
  EXPECT_EQ(1, proxies.calls);
}

}  // namespace
}  // namespace ombrix::http
