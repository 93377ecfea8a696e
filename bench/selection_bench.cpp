// Choosing a node for one chunk request among measured candidates.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "http/request_result.h"
#include "manifest/node_list_manifest.h"
#include "selection/node_statistics.h"
#include "selection/proportional_gambling_transfer_optimizer.h"
#include "workflow/optimized_request_params.h"

namespace {

void BM_GetNode(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  ombrix::NodeListManifest::Nodes nodes;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string number = std::to_string(i);
    std::string host = "node";
    host += number;
    host += ".example";
    nodes.push_back(std::make_shared<ombrix::StandardNodeManifest>(
        number, host, "/packages/",
        1 + static_cast<std::uint32_t>(i % 3), std::make_shared<ombrix::NodeStatistics>()));
  }
  auto list = std::make_shared<ombrix::StandardNodeListManifest>(std::move(nodes));
  ombrix::TransferSettings settings(4);
  ombrix::ProportionalGamblingTransferOptimizer optimizer(settings, 1);
  ombrix::OptimizedRequestParams params(list,
                                        std::make_shared<ombrix::TransferSharedMapData>(nullptr, 0, 1048575, 0, nullptr));
  // Measure every node twice, at different speeds, so no request is an exploration.
  for (std::size_t i = 0; i < n; ++i) {
    params.SelectedNode = list->GetNodes()[i];
    ombrix::http::RequestResult result;
    result.state = ombrix::http::State::Complete;
    result.bytesReceived = 1048576;
    for (std::uint32_t ms : {100u + 10u * static_cast<std::uint32_t>(i), 120u}) {
      result.totalMs = ms;
      optimizer.ReportResult(params, result);
    }
  }
  for (auto _ : state) {
    optimizer.GetNode(params);
    benchmark::DoNotOptimize(params.SelectedNode.get());
  }
  if (params.exploration) state.SkipWithError("still exploring");
}
BENCHMARK(BM_GetNode)->Arg(2)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
