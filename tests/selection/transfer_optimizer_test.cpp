#include "selection/proportional_gambling_transfer_optimizer.h"

#include <map>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "http/request_result.h"
#include "manifest/node_list_manifest.h"
#include "selection/node_statistics.h"
#include "workflow/optimized_request_params.h"

namespace ombrix {
namespace {

using http::RequestResult;
using http::State;

constexpr std::uint32_t kSeed = 12345;

std::shared_ptr<StandardNodeListManifest> Nodes(const std::vector<std::string>& hosts,
                                                std::vector<std::uint32_t> weights = {}) {
  NodeListManifest::Nodes nodes;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    nodes.push_back(std::make_shared<StandardNodeManifest>(
        "id" + std::to_string(i), hosts[i], "/packages/", weights.empty() ? 1 : weights[i],
        std::make_shared<NodeStatistics>()));
  }
  return std::make_shared<StandardNodeListManifest>(std::move(nodes));
}

OptimizedRequestParams Params(std::shared_ptr<StandardNodeListManifest> list,
                              std::uint64_t length = 4194304) {
  return OptimizedRequestParams(std::move(list),
                                std::make_shared<TransferSharedMapData>(nullptr, 0, length - 1, 0, nullptr));
}

RequestResult Result(State state, std::uint64_t bytes = 1000000, std::uint32_t totalMs = 1000) {
  RequestResult result;
  result.state = state;
  result.bytesReceived = bytes;
  result.totalMs = totalMs;
  return result;
}

TransferSettings Settings(std::int32_t taskThreads = 10) {
  TransferSettings settings(4);
  settings.taskThreads = taskThreads;
  return settings;
}

TEST(TransferOptimizerGetNode, EmptyCandidatesThrow) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
  auto params = Params(Nodes({"a"}));
  params.candidateNodes.clear();
  try {
    optimizer.GetNode(params);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "TransferOptimizer::GetNode received empty nodelist");
  }
}

TEST(TransferOptimizerGetNode, SingleCandidateIsANormalChoiceWithTheWorkedLimits) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(10), kSeed);
  auto params = Params(Nodes({"a"}));
  optimizer.GetNode(params);
  EXPECT_EQ(params.SelectedNode, params.candidateNodes[0]);
  EXPECT_FALSE(params.exploration);
  EXPECT_FALSE(params.freeRetry);
  EXPECT_TRUE(params.timeoutsCanGrow);
  EXPECT_EQ(params.timeoutSeconds, 5851);
  EXPECT_EQ(params.lowSpeedLimit, 716);
  EXPECT_EQ(params.lowSpeedTimeSeconds, 5);
  EXPECT_EQ(params.connectTimeoutSeconds, 3);
}

TEST(TransferOptimizerGetNode, UnmeasuredNodeIsExplored) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(10), kSeed);
  const auto list = Nodes({"a", "b"});
  auto params = Params(list);
  // "a" has two samples, "b" none: "b" must be explored.
  params.SelectedNode = list->GetNodes()[0];
  optimizer.ReportResult(params, Result(State::Complete));
  optimizer.ReportResult(params, Result(State::Complete));
  optimizer.GetNode(params);
  EXPECT_EQ(params.SelectedNode, list->GetNodes()[1]);
  EXPECT_TRUE(params.exploration);
  EXPECT_TRUE(params.freeRetry);
  EXPECT_FALSE(params.timeoutsCanGrow);
  EXPECT_EQ(params.connectTimeoutSeconds, 2);
  EXPECT_EQ(params.timeoutSeconds, 1280);
  EXPECT_EQ(params.lowSpeedLimit, 3276);
  EXPECT_EQ(params.lowSpeedTimeSeconds, 3);
}

TEST(TransferOptimizerGetNode, MinimumTimeoutsApplyToSmallChunks) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(2), kSeed);
  auto params = Params(Nodes({"a"}), 100);
  optimizer.GetNode(params);
  EXPECT_EQ(params.timeoutSeconds, 10);
  EXPECT_EQ(params.lowSpeedLimit, 3584);
}

TEST(RequestTimeout, ComputedWithoutWrapping) {
  // 1 GiB × 8 threads is 2^33: a 32-bit product would wrap to 0 and give the minimum.
  EXPECT_EQ(RequestTimeoutSeconds(1u << 30, 8, 7168, 10), 1198372);
  EXPECT_EQ(RequestTimeoutSeconds(0xFFFFFFFF, 0x7FFFFFFF, 1, 10), 2147483647);
  EXPECT_EQ(RequestTimeoutSeconds(0xFFFFFFFF, 2, 0, 10), 2147483647);
  EXPECT_EQ(RequestTimeoutSeconds(100, 2, 0, 10), 200);
  EXPECT_EQ(RequestTimeoutSeconds(1, 1, 7168, 0xFFFFFFFF), 2147483647);
}

TEST(TransferOptimizerGetNode, ThreadCountEdges) {
  for (const auto& [threads, normalLimit, explorationLimit] :
       std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t>>{
           {0, 7168, 0}, {-1, 1, 0}, {100000, 1, 0}, {1, 7168, 32768}}) {
    ProportionalGamblingTransferOptimizer optimizer(Settings(threads), kSeed);
    const auto list = Nodes({"a", "b"});
    auto params = Params(list);
    optimizer.GetNode(params);
    EXPECT_EQ(params.lowSpeedLimit, explorationLimit) << threads;
    params.candidateNodes.resize(1);
    optimizer.GetNode(params);
    EXPECT_EQ(params.lowSpeedLimit, normalLimit) << threads;
    EXPECT_GT(params.timeoutSeconds, 0) << threads;
  }
}

TEST(TransferOptimizerReport, TimeoutsShrinkAfterSuccessAndDoubleAfterTimeouts) {
  TransferSettings settings = Settings();
  settings.minConnectTimeout = 3;
  settings.maxConnectTimeout = 15;
  settings.minLowSpeedTime = 5;
  settings.maxLowSpeedTime = 60;
  ProportionalGamblingTransferOptimizer optimizer(settings, kSeed);
  auto params = Params(Nodes({"a"}));
  optimizer.GetNode(params);
  optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 6);
  EXPECT_EQ(optimizer.GetLowSpeedTime(), 10);
  for (int i = 0; i < 3; ++i) optimizer.ReportResult(params, Result(State::Complete));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 3);
  EXPECT_EQ(optimizer.GetLowSpeedTime(), 7);
  optimizer.ReportResult(params, Result(State::Complete));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 3);  // not below the minimum
  optimizer.ReportResult(params, Result(State::ServerError));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 3);  // other states change nothing
  for (int i = 0; i < 3; ++i) optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 15);  // 3, 6, 12, then capped
  EXPECT_EQ(optimizer.GetLowSpeedTime(), 48);  // 6, 12, 24, 48
  optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 15);
  EXPECT_EQ(optimizer.GetLowSpeedTime(), 60);
  optimizer.GetNode(params);
  EXPECT_FALSE(params.timeoutsCanGrow);
  EXPECT_EQ(params.connectTimeoutSeconds, 15);
  EXPECT_EQ(params.lowSpeedTimeSeconds, 60);
}

TEST(TransferOptimizerReport, TimeoutFromTenIsCapped) {
  TransferSettings settings = Settings();
  settings.minConnectTimeout = 5;
  ProportionalGamblingTransferOptimizer optimizer(settings, kSeed);
  auto params = Params(Nodes({"a"}));
  optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 10);
  optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 15);
  optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 15);
}

TEST(TransferOptimizerReport, ExplorationReportsOnlyUpdateStatistics) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
  const auto list = Nodes({"a", "b"});
  auto params = Params(list);
  optimizer.GetNode(params);
  ASSERT_TRUE(params.exploration);
  optimizer.ReportResult(params, Result(State::TimedOut));
  EXPECT_EQ(optimizer.GetConnectTimeout(), 3);
  EXPECT_EQ(optimizer.GetLowSpeedTime(), 5);
  const auto model = std::dynamic_pointer_cast<NormalNodeStatistics>(
      optimizer.GetStatistics(*params.SelectedNode));
  ASSERT_TRUE(model);
  EXPECT_EQ(model->GetSampleCount(), 1u);
  EXPECT_EQ(model->GetSnapshot().numRequestTimeouts, 1u);
  // The node's own statistics are the chunk work's business, not the selector's.
  EXPECT_EQ(params.SelectedNode->GetStatistics()->GetSnapshot().numRequests, 0u);
}

TEST(TransferOptimizerStatistics, KeptPerHostAcrossNodeLists) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
  const auto first = Nodes({"shared:80", "other"});
  const auto second = Nodes({"shared:80"});
  EXPECT_EQ(optimizer.GetStatistics(*first->GetNodes()[0]),
            optimizer.GetStatistics(*second->GetNodes()[0]));
  EXPECT_NE(optimizer.GetStatistics(*first->GetNodes()[0]),
            optimizer.GetStatistics(*first->GetNodes()[1]));
}

TEST(TransferOptimizerGetNode, ExploresEveryNodeBeforeBetting) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
  const auto list = Nodes({"a", "b", "c"});
  std::map<std::string, int> explored;
  for (int i = 0; i < 6; ++i) {
    auto params = Params(list);
    optimizer.GetNode(params);
    ASSERT_TRUE(params.exploration) << i;
    ++explored[params.SelectedNode->GetHost()];
    optimizer.ReportResult(params, Result(State::Complete));
  }
  EXPECT_EQ(explored, (std::map<std::string, int>{{"a", 2}, {"b", 2}, {"c", 2}}));
  auto params = Params(list);
  optimizer.GetNode(params);
  EXPECT_FALSE(params.exploration);
}

// After exploration the node that is ten times faster gets most of the requests,
// and the slower one keeps a small share.
TEST(TransferOptimizerGetNode, FasterNodeGetsMostPicks) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
  const auto list = Nodes({"slow", "fast"});
  std::map<std::string, int> picks;
  for (int i = 0; i < 600; ++i) {
    auto params = Params(list);
    optimizer.GetNode(params);
    const bool fast = params.SelectedNode->GetHost() == "fast";
    if (!params.exploration && i >= 100) ++picks[params.SelectedNode->GetHost()];
    optimizer.ReportResult(params, Result(State::Complete, 1000000, fast ? 100 : 1000));
  }
  EXPECT_EQ(picks["fast"] + picks["slow"], 500);
  EXPECT_GT(picks["fast"], 400);
  EXPECT_GT(picks["slow"], 5);
}

// Two nodes measured alike win about half the Monte-Carlo rounds each, so the
// weights alone set the shares: weights 1 and 2 bet about (0.25, 0.75), equal
// weights (0.5, 0.5), weights 2 and 1 (0.75, 0.25). Seeded, so the counts are
// fixed; the bounds are the expected share of the second node with room for the
// Monte-Carlo noise of each call and the draw.
TEST(TransferOptimizerGetNode, PicksFollowTheWeights) {
  constexpr int kPicks = 3000;
  struct Case {
    std::vector<std::uint32_t> weights;
    double low;
    double high;
  };
  for (const Case& c : std::vector<Case>{
           {{1, 2}, 0.70, 0.80}, {{1, 1}, 0.45, 0.55}, {{2, 1}, 0.20, 0.30}}) {
    ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
    const auto list = Nodes({"a", "b"}, c.weights);
    auto measure = Params(list);
    for (const auto& node : list->GetNodes()) {
      measure.SelectedNode = node;
      optimizer.ReportResult(measure, Result(State::Complete));
      optimizer.ReportResult(measure, Result(State::Complete));
    }
    int second = 0;
    for (int i = 0; i < kPicks; ++i) {
      auto params = Params(list);
      optimizer.GetNode(params);
      ASSERT_FALSE(params.exploration);
      if (params.SelectedNode == list->GetNodes()[1]) ++second;
    }
    const double share = static_cast<double>(second) / kPicks;
    EXPECT_GE(share, c.low) << c.weights[0] << ":" << c.weights[1];
    EXPECT_LE(share, c.high) << c.weights[0] << ":" << c.weights[1];
  }
}

TEST(TransferOptimizerGetNode, ConcurrentCallersStayConsistent) {
  ProportionalGamblingTransferOptimizer optimizer(Settings(), kSeed);
  const auto list = Nodes({"a", "b", "c", "d"});
  std::vector<std::thread> threads;
  std::atomic<int> chosen{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        auto params = Params(list);
        optimizer.GetNode(params);
        if (params.SelectedNode) ++chosen;
        optimizer.ReportResult(params, Result(i % 7 ? State::Complete : State::TimedOut));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(chosen.load(), 800);
  std::uint32_t requests = 0;
  for (const auto& node : list->GetNodes()) {
    requests += optimizer.GetStatistics(*node)->GetSnapshot().numRequests;
  }
  EXPECT_EQ(requests, 800u);
  EXPECT_GE(optimizer.GetConnectTimeout(), 3);
  EXPECT_LE(optimizer.GetConnectTimeout(), 15);
}

TEST(OptimizedRequestParams, RemoveSelectedNodeStartsANewPass) {
  const auto list = Nodes({"a", "b"});
  auto params = Params(list);
  params.SelectedNode = list->GetNodes()[0];
  params.RemoveSelectedNode();
  ASSERT_EQ(params.candidateNodes.size(), 1u);
  EXPECT_EQ(params.candidateNodes[0], list->GetNodes()[1]);
  params.SelectedNode = list->GetNodes()[1];
  params.RemoveSelectedNode();
  EXPECT_EQ(params.candidateNodes, list->GetNodes());
}

}  // namespace
}  // namespace ombrix
