// Node statistics with a normal model of the node's download speed.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>

#include "selection/node_statistics.h"

namespace ombrix {

// Adds to the counters of NodeStatistics a running mean and spread of the speed
// samples (bytes per second). An error enters the model as ⌊sampleCount / 10⌋ + 1
// zero samples, so a node that keeps failing is pulled down faster the longer it
// has been measured; an update takes constant time however many samples it adds,
// and the sample count saturates at its largest value. The model changes only under the object's lock, and
// GetDistribution reads it under the same lock; safe to use from many threads.
class NormalNodeStatistics : public NodeStatistics {
 public:
  NormalNodeStatistics() = default;

  // The counters, then "Average Request Speed" (replaced) = the model mean and
  // "Standard Deviation" = the square root of the model variance, both truncated
  // and saturated to unsigned 64-bit integers.
  void Write(boost::property_tree::ptree& tree) const override;
  void Update(const http::RequestResult& result) override;
  // (mean, variance) of the speed model; the variance is 1.0 below 2 samples.
  virtual std::pair<double, double> GetDistribution() const;

  std::uint32_t GetSampleCount() const;

 protected:
  NormalNodeStatistics(std::uint32_t sampleCount, double mean, double spread)
      : sampleCount(sampleCount), mean(mean), spread(spread) {}

  mutable std::mutex lock;
  std::uint32_t sampleCount = 0;
  double mean = 0.0;
  // The sum of squared deviations here; the variance in the exponential subclass.
  double spread = 0.0;
};

// The speed model of the node selector: an exponentially weighted mean and
// variance with smoothing factor alpha; an error counts once, as speed 0.
// Thread-safety as NormalNodeStatistics.
class ExponentialNormalNodeStatistics : public NormalNodeStatistics {
 public:
  // A prototype: the given model values and alpha, fresh counters.
  ExponentialNormalNodeStatistics(std::uint32_t sampleCount, double mean, double variance,
                                  double alpha);
  // Copies sampleCount, mean, variance and alpha of `prototype`; fresh counters
  // and a fresh lock.
  explicit ExponentialNormalNodeStatistics(const ExponentialNormalNodeStatistics& prototype);
  ExponentialNormalNodeStatistics& operator=(const ExponentialNormalNodeStatistics&) = delete;

  void Update(const http::RequestResult& result) override;
  std::pair<double, double> GetDistribution() const override;

  double GetAlpha() const { return alpha; }

 private:
  const double alpha;
};

}  // namespace ombrix
