// Chooses the content node and the time limits of every chunk request.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "transfer/transfer_settings.h"

namespace ombrix {

class NodeManifest;
class NodeStatistics;
class OptimizedRequestParams;

namespace http {
struct RequestResult;
}

// Guarantees: GetNode sets params.SelectedNode to one of params.candidateNodes and
// fills the four request limits; ReportResult adapts the connect and stall limits
// shared by all later requests — each completed request lowers each by 1 s down to
// its minimum, each timed-out one doubles it up to its maximum — except for
// exploration requests, and then updates the node's statistics. One lock makes
// every GetNode, ReportResult and GetStatistics atomic with respect to the others,
// so one selector serves all threads of all transfers.
class TransferOptimizer {
 public:
  explicit TransferOptimizer(const TransferSettings& settings);
  virtual ~TransferOptimizer() = default;
  TransferOptimizer(const TransferOptimizer&) = delete;
  TransferOptimizer& operator=(const TransferOptimizer&) = delete;

  // Throws std::invalid_argument when params has no candidate.
  virtual void GetNode(OptimizedRequestParams& params) = 0;
  // The outcome of an attempt made with params (its request result).
  virtual void ReportResult(const OptimizedRequestParams& params, const http::RequestResult& result);
  // The statistics the selector keeps for `node`: here the node's own object.
  virtual std::shared_ptr<NodeStatistics> GetStatistics(const NodeManifest& node);

  // The shared limits, in seconds.
  std::int32_t GetConnectTimeout();
  std::int32_t GetLowSpeedTime();

 protected:
  // Accounts the result in the selector's statistics; `held` is the selector's lock.
  virtual void UpdateStatistics(std::unique_lock<std::mutex>& held,
                                const OptimizedRequestParams& params,
                                const http::RequestResult& result) = 0;

  // A normal choice of `node`: the shared limits and limits scaled to the chunk.
  // Called with the lock held.
  void SelectNode(OptimizedRequestParams& params, const std::shared_ptr<NodeManifest>& node);
  // A first measurement of `node`: short fixed limits, a free retry. Lock held.
  void SelectExplorationNode(OptimizedRequestParams& params, const std::shared_ptr<NodeManifest>& node);

  std::mutex lock;
  const TransferSettings settings;
  std::int32_t connectTimeout;  // guarded by lock
  std::int32_t lowSpeedTime;    // guarded by lock
};

// The whole-request limit in seconds for a chunk of `length` bytes with
// `threads` task threads expected to share `threadRate` bytes per second each:
// length × threads / threadRate (length × threads when the rate is 0), at least
// `minimum`, at most 2,147,483,647. Computed in 64 bits, so it never wraps.
std::int32_t RequestTimeoutSeconds(std::uint32_t length, std::uint32_t threads,
                                   std::uint32_t threadRate, std::uint32_t minimum);

}  // namespace ombrix
