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
#include "events/json_work_log_manager.h"
#include "events/transfer_events.h"
#include "file/posix/filesystem_impl.h"
#include "events/json_http_analytics_manager.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "http/session_factory.h"
#include "manifest/node_list_manifest.h"
#include "selection/node_statistics.h"
#include "support/fake_transfer_work_interface.h"
#include "support/temp_dir.h"
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

// Cost of raising transfer events to the thread that raises them: one "Complete"
// per iteration (a log entry, a transfers document and a batch with three node
// documents) with the analytics endpoint alive and dead, the work log writing to a
// temporary folder. Counter: events_per_s, which must not fall when the endpoint
// is dead.
void BM_EventsRaise(benchmark::State& state) {
  const bool dead = state.range(0) != 0;
  test::TestHttpServer server;
  if (dead) {
    test::Behavior blackHole;
    blackHole.headerDelay = std::chrono::minutes(10);
    server.SetBehavior("/events", blackHole);
    server.SetBehavior("/transfers", blackHole);
  }
  test::TempDir temp;
  file::posix::FilesystemImpl filesystem{Environment({{"TMPDIR", temp.str()}})};
  http::posix::ProxyFactoryImpl proxies{Environment{}};
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  TransferSettings settings;
  test::FakeTransferWorkInterface transfer;
  transfer.params.partnerId = "partner";
  transfer.params.packageId = "package";
  StandardNodeListManifest::Nodes nodes;
  for (const char* host : {"n1.example", "n2.example", "n3.example"}) {
    nodes.push_back(std::make_shared<StandardNodeManifest>(host, host, "/p/", 1,
                                                           std::make_shared<NodeStatistics>()));
  }
  transfer.SetNodeList(std::make_shared<StandardNodeListManifest>(std::move(nodes)));
  TransferStatusImpl status(transfer.params, TransferState::Transferring, 20, 1000);

  std::uint64_t raised = 0;
  {
    JsonHttpAnalyticsManager analytics(requests, sessions, settings, server.Url("/events"),
                                       server.Url("/transfers"));
    JsonWorkLogManager log(-9, "logs", filesystem);
    transfer.behavior.analyticsManager = &analytics;
    transfer.behavior.workLogManager = &log;
    for (auto _ : state) {
      TransferCompleteEvent(transfer, status).Raise();
      ++raised;
    }
    transfer.behavior.analyticsManager = nullptr;
    transfer.behavior.workLogManager = nullptr;
  }  // teardown runs after the timed loop: not the raiser's cost
  state.counters["events_per_s"] = benchmark::Counter(static_cast<double>(raised),
                                                      benchmark::Counter::kIsRate);
  state.SetLabel(dead ? "dead" : "alive");
}
BENCHMARK(BM_EventsRaise)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(5000);

}  // namespace
