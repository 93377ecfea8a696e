// The documents the analytics reporter posts: event counts, error messages,
// per-node download statistics, and transfer state reports.
#pragma once

#include <cstdint>
#include <string>

#include "manifest/input_manifest.h"
#include "selection/node_statistics.h"

namespace ombrix {

class TransferParams;

// An events-endpoint document: "pid", "pkgid", "vid", "ombrixv", "osv", then the
// objects "metrics" and "dimensions" filled by the subclass, in this order. Every
// request copies what it needs at construction and is immutable afterwards, so
// Write may run on any thread, concurrently.
class EventAnalyticsRequest : public OutputManifest {
 public:
  explicit EventAnalyticsRequest(const TransferParams& params);

  void Write(boost::property_tree::ptree& tree) const override;
  // Fill the node "metrics" / "dimensions"; an empty set is written as the empty
  // object marker.
  virtual void WriteMetrics(boost::property_tree::ptree& metrics) const = 0;
  virtual void WriteDimensions(boost::property_tree::ptree& dimensions) const = 0;

 protected:
  const std::string partnerId;
  const std::string packageId;
  const std::string versionId;
};

// One occurrence of a counted event: metrics {metric: "1"}, no dimensions.
class SimpleEventAnalyticsRequest : public EventAnalyticsRequest {
 public:
  SimpleEventAnalyticsRequest(const TransferParams& params, std::string metric);

  void WriteMetrics(boost::property_tree::ptree& metrics) const override;
  void WriteDimensions(boost::property_tree::ptree& dimensions) const override;

 protected:
  const std::string metric;
};

// A counted error: dimensions {"error": message}, or none when the message is empty.
class ErrorAnalyticsRequest : public SimpleEventAnalyticsRequest {
 public:
  ErrorAnalyticsRequest(const TransferParams& params, std::string metric, std::string error);

  void WriteDimensions(boost::property_tree::ptree& dimensions) const override;

 protected:
  const std::string error;
};

// The statistics of one content node: metrics are the snapshot's counters (times
// as decimal seconds), dimensions {"cdn": the node's host}.
class OptimizerAnalyticsRequest : public EventAnalyticsRequest {
 public:
  OptimizerAnalyticsRequest(const TransferParams& params, std::string cdn,
                            const NodeStatisticsSnapshot& snapshot);

  void WriteMetrics(boost::property_tree::ptree& metrics) const override;
  void WriteDimensions(boost::property_tree::ptree& dimensions) const override;

 protected:
  const NodeStatisticsSnapshot snapshot;
  const std::string cdn;
};

// A transfers-endpoint document: "pid", "pkgid", "vid", "tid", "ombrixv", "osv",
// "status" ("suspended", "completed", "canceled" for the TransferState values 6,
// 7, 8; "active" otherwise), "transferBytes", "duration" (decimal seconds).
class TransferAnalyticsRequest : public OutputManifest {
 public:
  TransferAnalyticsRequest(const TransferParams& params, std::uint8_t state,
                           std::uint64_t transferBytes, std::uint64_t durationMs);

  void Write(boost::property_tree::ptree& tree) const override;

  std::uint64_t GetTransferBytes() const { return transferBytes; }
  std::uint64_t GetDurationMs() const { return durationMs; }

 protected:
  const std::string partnerId;
  const std::string packageId;
  const std::string versionId;
  const std::string transferId;
  const std::uint8_t state;
  const std::uint64_t transferBytes;
  const std::uint64_t durationMs;
};

}  // namespace ombrix
