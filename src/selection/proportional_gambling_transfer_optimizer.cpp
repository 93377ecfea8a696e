#include "selection/proportional_gambling_transfer_optimizer.h"

#include <ctime>
#include <stdexcept>

#include "http/request_result.h"
#include "manifest/node_manifest.h"
#include "selection/proportional_betting.h"
#include "workflow/optimized_request_params.h"

namespace ombrix {

namespace {

// Fewer speed samples than this make a node a candidate for exploration.
constexpr std::uint32_t kMeasuredSamples = 2;

}  // namespace

ProportionalGamblingTransferOptimizer::ProportionalGamblingTransferOptimizer(
    const TransferSettings& settings)
    : ProportionalGamblingTransferOptimizer(settings,
                                            static_cast<std::uint32_t>(std::time(nullptr))) {}

ProportionalGamblingTransferOptimizer::ProportionalGamblingTransferOptimizer(
    const TransferSettings& settings, std::uint32_t seed)
    : TransferOptimizer(settings), random(seed), prototype(0, 0.0, 0.0, settings.statisticsAlpha) {}

std::shared_ptr<ExponentialNormalNodeStatistics> ProportionalGamblingTransferOptimizer::ModelFor(
    const std::string& host) {
  auto& entry = registry[host];
  if (!entry) entry = std::make_shared<ExponentialNormalNodeStatistics>(prototype);
  return entry;
}

std::shared_ptr<NodeStatistics> ProportionalGamblingTransferOptimizer::GetStatistics(
    const NodeManifest& node) {
  std::lock_guard<std::mutex> held(lock);
  return ModelFor(node.GetHost());
}

void ProportionalGamblingTransferOptimizer::UpdateStatistics(std::unique_lock<std::mutex>&,
                                                             const OptimizedRequestParams& params,
                                                             const http::RequestResult& result) {
  if (!params.SelectedNode) return;
  ModelFor(params.SelectedNode->GetHost())->Update(result);
}

void ProportionalGamblingTransferOptimizer::GetNode(OptimizedRequestParams& params) {
  std::lock_guard<std::mutex> held(lock);
  const auto& candidates = params.candidateNodes;
  const std::size_t n = candidates.size();
  if (n == 0) throw std::invalid_argument("TransferOptimizer::GetNode received empty nodelist");
  if (!params.ChunkData) throw std::logic_error("TransferOptimizer::GetNode received no ChunkData");
  if (n == 1) {
    SelectNode(params, candidates[0]);
    return;
  }

  std::vector<std::shared_ptr<ExponentialNormalNodeStatistics>> models;
  models.reserve(n);
  for (const auto& node : candidates) models.push_back(ModelFor(node->GetHost()));

  std::vector<std::size_t> unmeasured;
  for (std::size_t i = 0; i < n; ++i) {
    if (models[i]->GetSampleCount() < kMeasuredSamples) unmeasured.push_back(i);
  }
  if (!unmeasured.empty()) {
    const std::size_t pick =
        std::uniform_int_distribution<std::size_t>(0, unmeasured.size() - 1)(random);
    SelectExplorationNode(params, candidates[unmeasured[pick]]);
    return;
  }

  std::vector<std::pair<double, double>> distributions;
  std::vector<std::uint32_t> weights;
  distributions.reserve(n);
  weights.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    distributions.push_back(models[i]->GetDistribution());
    weights.push_back(candidates[i]->GetWeight());
  }
  const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(n, UINT32_MAX));
  const std::uint32_t rounds =
      MonteCarloRounds(count, settings.optimizerSampleBudget, settings.optimizerRounds);
  std::vector<double> shares =
      ProportionalBets(WinProbabilities(distributions, rounds, random), weights);
  ApplyMinimumShare(shares, settings.optimizerWeightFloor);
  SelectNode(params, candidates[AliasTable(shares).Draw(random)]);
}

}  // namespace ombrix
