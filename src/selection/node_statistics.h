// Request counters of one content node.
#pragma once

#include <atomic>
#include <cstdint>

#include "manifest/input_manifest.h"

namespace ombrix {

namespace http {
struct RequestResult;
}

// The counters of a NodeStatistics taken one by one (for node analytics).
struct NodeStatisticsSnapshot {
  std::uint64_t bytes = 0;
  std::uint64_t successBytes = 0;
  std::uint32_t firstByteTime = 0;  // milliseconds
  std::uint32_t requestTime = 0;    // milliseconds
  std::uint32_t successTime = 0;    // milliseconds
  std::uint32_t numRequests = 0;
  std::uint32_t numErrors = 0;
  std::uint32_t numConnectFailures = 0;
  std::uint32_t numHttpServerErrors = 0;
  std::uint32_t numConnectionsReset = 0;
  std::uint32_t numDataMismatches = 0;
  std::uint32_t numRequestTimeouts = 0;
};

// True for the states that count as failed requests: BadRequest and every later one.
bool IsErrorResult(const http::RequestResult& result);

// `value` truncated towards zero, with negative values and NaN as 0 and values past
// the range as the largest unsigned 64-bit integer.
std::uint64_t SaturatingUnsigned(double value);

// Bytes per second of a result: 0 for an error, otherwise bytes * 1000 / max(1, totalMs).
double SpeedSample(const http::RequestResult& result);

// Counts how the requests sent to one node went. Every counter is updated with an
// atomic addition (32-bit counters wrap), so Update may run on many threads at once
// without a lock; a reader may see one counter of an update and not yet another.
class NodeStatistics : public OutputManifest {
 public:
  NodeStatistics() = default;
  NodeStatistics(const NodeStatistics&) = delete;
  NodeStatistics& operator=(const NodeStatistics&) = delete;

  // Puts "Requests", "Errors", "Bytes" and "Average Request Speed" (bytes per second
  // over the successful requests) as unsigned decimals.
  void Write(boost::property_tree::ptree& tree) const override;
  // Accounts one request outcome.
  virtual void Update(const http::RequestResult& result);

  NodeStatisticsSnapshot GetSnapshot() const;

 protected:
  std::atomic<std::uint32_t> successCount{0};
  std::atomic<std::uint32_t> numErrors{0};
  std::atomic<std::uint64_t> successBytes{0};
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::uint32_t> firstByteTime{0};
  std::atomic<std::uint32_t> requestTime{0};
  std::atomic<std::uint32_t> successTime{0};
  std::atomic<std::uint32_t> numConnectFailures{0};
  std::atomic<std::uint32_t> numHttpServerErrors{0};
  std::atomic<std::uint32_t> numConnectionsReset{0};
  std::atomic<std::uint32_t> numDataMismatches{0};
  std::atomic<std::uint32_t> numRequestTimeouts{0};
};

}  // namespace ombrix
