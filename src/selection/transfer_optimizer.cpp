#include "selection/transfer_optimizer.h"

#include <algorithm>
#include <limits>

#include "http/request_result.h"
#include "manifest/node_manifest.h"
#include "workflow/optimized_request_params.h"

namespace ombrix {

namespace {

constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int32_t>::max();
// Doubling stops below this value, so 2 × limit never wraps.
constexpr std::int32_t kDoublingCeiling = 1073741823;

std::int32_t ClampToInt32(std::uint64_t value) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(value, kMaxSeconds));
}

}  // namespace

std::int32_t RequestTimeoutSeconds(std::uint32_t length, std::uint32_t threads,
                                   std::uint32_t threadRate, std::uint32_t minimum) {
  std::uint64_t seconds = static_cast<std::uint64_t>(length) * threads;
  if (threadRate > 0) seconds /= threadRate;
  if (seconds > static_cast<std::uint64_t>(kMaxSeconds)) return static_cast<std::int32_t>(kMaxSeconds);
  return ClampToInt32(std::max<std::uint64_t>(seconds, minimum));
}

TransferOptimizer::TransferOptimizer(const TransferSettings& settings)
    : settings(settings),
      connectTimeout(ClampToInt32(settings.minConnectTimeout)),
      lowSpeedTime(ClampToInt32(settings.minLowSpeedTime)) {}

void TransferOptimizer::ReportResult(const OptimizedRequestParams& params,
                                     const http::RequestResult& result) {
  std::unique_lock<std::mutex> held(lock);
  if (!params.exploration) {
    const std::int64_t minConnect = settings.minConnectTimeout;
    const std::int64_t maxConnect = settings.maxConnectTimeout;
    const std::int64_t minLow = settings.minLowSpeedTime;
    const std::int64_t maxLow = settings.maxLowSpeedTime;
    if (result.state == http::State::Complete) {
      if (connectTimeout > 0) {
        connectTimeout = ClampToInt32(std::max<std::int64_t>(connectTimeout - 1, minConnect));
      }
      if (lowSpeedTime > 0) {
        lowSpeedTime = ClampToInt32(std::max<std::int64_t>(lowSpeedTime - 1, minLow));
      }
    } else if (result.state == http::State::TimedOut) {
      if (connectTimeout < kDoublingCeiling) {
        connectTimeout = static_cast<std::int32_t>(
            std::min<std::int64_t>(2 * static_cast<std::int64_t>(connectTimeout), maxConnect));
      }
      if (lowSpeedTime < kDoublingCeiling) {
        lowSpeedTime = static_cast<std::int32_t>(
            std::min<std::int64_t>(2 * static_cast<std::int64_t>(lowSpeedTime), maxLow));
      }
    }
  }
  UpdateStatistics(held, params, result);
}

std::shared_ptr<NodeStatistics> TransferOptimizer::GetStatistics(const NodeManifest& node) {
  return node.GetStatistics();
}

std::int32_t TransferOptimizer::GetConnectTimeout() {
  std::lock_guard<std::mutex> held(lock);
  return connectTimeout;
}

std::int32_t TransferOptimizer::GetLowSpeedTime() {
  std::lock_guard<std::mutex> held(lock);
  return lowSpeedTime;
}

void TransferOptimizer::SelectNode(OptimizedRequestParams& params,
                                   const std::shared_ptr<NodeManifest>& node) {
  const auto threads = static_cast<std::uint32_t>(settings.taskThreads);
  const auto length = static_cast<std::uint32_t>(params.ChunkData->upperBound -
                                                 params.ChunkData->lowerBound + 1);
  params.SelectedNode = node;
  params.freeRetry = false;
  params.exploration = false;
  params.timeoutsCanGrow = static_cast<std::int64_t>(connectTimeout) < settings.maxConnectTimeout ||
                           static_cast<std::int64_t>(lowSpeedTime) < settings.maxLowSpeedTime;
  params.connectTimeoutSeconds = connectTimeout;
  params.lowSpeedTimeSeconds = lowSpeedTime;
  params.timeoutSeconds =
      RequestTimeoutSeconds(length, threads, settings.expectedThreadRate, settings.minRequestTimeout);
  if (threads > static_cast<std::uint32_t>(kMaxSeconds)) {
    params.lowSpeedLimit = 1;
  } else if (threads == 0) {
    params.lowSpeedLimit = ClampToInt32(settings.expectedThreadRate);
  } else {
    params.lowSpeedLimit = ClampToInt32(std::max<std::uint32_t>(1, settings.expectedThreadRate / threads));
  }
}

void TransferOptimizer::SelectExplorationNode(OptimizedRequestParams& params,
                                              const std::shared_ptr<NodeManifest>& node) {
  const auto threads = static_cast<std::uint32_t>(settings.taskThreads);
  const auto length = static_cast<std::uint32_t>(params.ChunkData->upperBound -
                                                 params.ChunkData->lowerBound + 1);
  params.SelectedNode = node;
  params.freeRetry = true;
  params.timeoutsCanGrow = false;
  params.exploration = true;
  params.connectTimeoutSeconds = settings.explorationConnectTimeout;
  params.lowSpeedTimeSeconds = ClampToInt32(settings.explorationLowSpeedTime);
  params.timeoutSeconds = RequestTimeoutSeconds(length, threads, settings.explorationThreadRate,
                                                settings.explorationMinRequestTimeout);
  const bool usable = settings.explorationThreadRate > 0 && threads > 0 &&
                      threads <= static_cast<std::uint32_t>(kMaxSeconds);
  params.lowSpeedLimit = usable ? ClampToInt32(settings.explorationThreadRate / threads) : 0;
}

}  // namespace ombrix
