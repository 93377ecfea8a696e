#include "selection/normal_node_statistics.h"

#include <cmath>

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
  const std::uint32_t repeats = IsErrorResult(result) ? sampleCount / 10 + 1 : 1;
  for (std::uint32_t k = 0; k < repeats; ++k) {
    ++sampleCount;
    const double delta = x - mean;
    mean += delta / sampleCount;
    spread += (x - mean) * delta;
  }
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
  ++sampleCount;
  const double oldMean = mean;
  mean = (1.0 - alpha) * oldMean + alpha * x;
  spread = (x - mean) * alpha * (x - oldMean) + (1.0 - alpha) * spread;
}

std::pair<double, double> ExponentialNormalNodeStatistics::GetDistribution() const {
  std::lock_guard<std::mutex> guard(lock);
  return {mean, spread};
}

}  // namespace ombrix
