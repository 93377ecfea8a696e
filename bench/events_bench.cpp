// Cost of reporting to the transfer thread: analytics documents composed (one
// events-endpoint request written into a new work) and submitted per second, with
// the endpoint answering at once ("alive") and with an endpoint that never answers
// ("dead"). Submission only queues, and a full queue drops the newest document, so
// the rate must not fall when the endpoint is dead. Counters:
//   docs_per_s   documents submitted per second (the cost the raiser pays)
//   dropped_pct  share dropped because the queue was full
//
//   build/release/bench/ombrix_bench --benchmark_filter=Events
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "common/environment.h"
#include "events/analytics_requests.h"
#include "events/json_http_analytics_manager.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "http/session_factory.h"
#include "support/test_http_server.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_settings.h"

namespace {

using namespace ombrix;

void BM_EventsSubmit(benchmark::State& state) {
  const bool dead = state.range(0) != 0;
  test::TestHttpServer server;
  if (dead) {
    test::Behavior blackHole;
    blackHole.headerDelay = std::chrono::minutes(10);
    server.SetBehavior("/events", blackHole);
  }
  http::posix::ProxyFactoryImpl proxies{Environment{}};
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  TransferSettings settings;
  TransferParams params;
  params.transferId = NewTransferId();
  params.partnerId = "partner";
  params.packageId = "package";

  std::uint64_t submitted = 0;
  std::uint64_t dropped = 0;
  {
    JsonHttpAnalyticsManager manager(requests, sessions, settings, server.Url("/events"),
                                     server.Url("/transfers"));
    for (auto _ : state) {
      auto work = manager.CreateWork(1);
      SimpleEventAnalyticsRequest(params, "numStarts").Write(work->GetDocument());
      manager.Submit(std::move(work));
      ++submitted;
    }
    dropped = manager.GetDroppedCount();
  }  // teardown (drain, or the deadline) runs after the timed loop: not the raiser's cost
  state.counters["docs_per_s"] = benchmark::Counter(static_cast<double>(submitted),
                                                    benchmark::Counter::kIsRate);
  state.counters["dropped_pct"] =
      submitted == 0 ? 0.0 : 100.0 * static_cast<double>(dropped) / static_cast<double>(submitted);
  state.SetLabel(dead ? "dead" : "alive");
}
BENCHMARK(BM_EventsSubmit)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(20000);

}  // namespace
