#include "selection/normal_node_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <boost/property_tree/ptree.hpp>

#include "http/request_result.h"

namespace ombrix {

void NormalNodeStatistics::Write(boost::property_tree::ptree& tree) const {
  NodeStatistics::Write(tree);
  const auto [modelMean, variance] = GetDistribution();
  tree.put("Average Request Speed", SaturatingUnsigned(modelMean));
  tree.put("Standard Deviation", SaturatingUnsigned(std::sqrt(variance)));
}

void NormalNodeStatistics::Update(const http::RequestResult& result) {
  NodeStatistics::Update(result);
  const double x = SpeedSample(result);
  std::lock_guard<std::mutex> guard(lock);
  const std::uint64_t repeats = IsErrorResult(result) ? sampleCount / 10 + 1 : 1;
  const double before = static_cast<double>(sampleCount);
  const double after = before + static_cast<double>(repeats);
  const double delta = x - mean;
  if (repeats == 1) {
    mean += delta / after;
    spread += (x - mean) * delta;
  } else {
    // `repeats` equal samples folded in at once: the same mean and spread as that
    // many single steps, in constant time (a long error run would otherwise loop
    // hundreds of millions of times under the lock).
    mean += delta * static_cast<double>(repeats) / after;
    spread += delta * delta * before * static_cast<double>(repeats) / after;
  }
  // Saturates instead of wrapping: a wrapped count would make the next step divide by 0.
  sampleCount = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(sampleCount + repeats, std::numeric_limits<std::uint32_t>::max()));
}

std::pair<double, double> NormalNodeStatistics::GetDistribution() const {
  std::lock_guard<std::mutex> guard(lock);
  if (sampleCount > 1) return {mean, spread / (sampleCount - 1)};
  return {mean, 1.0};
}

std::uint32_t NormalNodeStatistics::GetSampleCount() const {
  std::lock_guard<std::mutex> guard(lock);
  return sampleCount;
}

ExponentialNormalNodeStatistics::ExponentialNormalNodeStatistics(std::uint32_t sampleCount,
                                                                 double mean, double variance,
                                                                 double alpha)
    : NormalNodeStatistics(sampleCount, mean, variance), alpha(alpha) {}

ExponentialNormalNodeStatistics::ExponentialNormalNodeStatistics(
    const ExponentialNormalNodeStatistics& prototype)
    : NormalNodeStatistics(), alpha(prototype.alpha) {
  std::lock_guard<std::mutex> guard(prototype.lock);
  sampleCount = prototype.sampleCount;
  mean = prototype.mean;
  spread = prototype.spread;
}

void ExponentialNormalNodeStatistics::Update(const http::RequestResult& result) {
  NodeStatistics::Update(result);
  const double x = SpeedSample(result);
  std::lock_guard<std::mutex> guard(lock);
  if (sampleCount < std::numeric_limits<std::uint32_t>::max()) ++sampleCount;
  const double oldMean = mean;
  mean = (1.0 - alpha) * oldMean + alpha * x;
  spread = (x - mean) * alpha * (x - oldMean) + (1.0 - alpha) * spread;
}

std::pair<double, double> ExponentialNormalNodeStatistics::GetDistribution() const {
  std::lock_guard<std::mutex> guard(lock);
  return {mean, spread};
}

}  // namespace ombrix
