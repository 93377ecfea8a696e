// The node selector: first measure every node, then bet on the fastest.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>

#include "selection/normal_node_statistics.h"
#include "selection/transfer_optimizer.h"

namespace ombrix {

// Guarantees, for n candidates: n = 1 always takes that node; a candidate whose host
// has fewer than 2 speed samples is chosen uniformly among such candidates as an
// exploration request; otherwise every candidate is drawn with probability equal to
// its share — its Monte-Carlo chance of being the fastest, turned into a
// proportional bet by the node weights and raised to at least about
// `optimizerWeightFloor`. Speed models are kept per host for the life of the
// selector and shared by nodes with the same host. Thread-safe (one lock); the
// random generator is used only under it.
class ProportionalGamblingTransferOptimizer : public TransferOptimizer {
 public:
  // Seeded with the current calendar time in seconds.
  explicit ProportionalGamblingTransferOptimizer(const TransferSettings& settings);
  // Seeded with `seed`, so a sequence of choices can be reproduced.
  ProportionalGamblingTransferOptimizer(const TransferSettings& settings, std::uint32_t seed);

  void GetNode(OptimizedRequestParams& params) override;
  // The speed model of the node's host, created from the prototype when new.
  std::shared_ptr<NodeStatistics> GetStatistics(const NodeManifest& node) override;

 protected:
  void UpdateStatistics(std::unique_lock<std::mutex>& held, const OptimizedRequestParams& params,
                        const http::RequestResult& result) override;

 private:
  // The registry entry of `host`; the lock is held.
  std::shared_ptr<ExponentialNormalNodeStatistics> ModelFor(const std::string& host);

  std::mt19937 random;                              // guarded by lock
  const ExponentialNormalNodeStatistics prototype;  // never updated
  std::unordered_map<std::string, std::shared_ptr<ExponentialNormalNodeStatistics>> registry;
};

}  // namespace ombrix
