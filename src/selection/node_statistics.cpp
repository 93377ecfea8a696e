#include "selection/node_statistics.h"

#include <algorithm>
#include <limits>

#include <boost/property_tree/ptree.hpp>

#include "http/request_result.h"

namespace ombrix {

using http::State;

bool IsErrorResult(const http::RequestResult& result) {
  return static_cast<std::uint8_t>(result.state) >= static_cast<std::uint8_t>(State::BadRequest);
}

std::uint64_t SaturatingUnsigned(double value) {
  if (!(value > 0.0)) return 0;  // also NaN
  if (value >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(value);
}

double SpeedSample(const http::RequestResult& result) {
  if (IsErrorResult(result)) return 0.0;
  const std::uint32_t ms = std::max<std::uint32_t>(1, result.totalMs);
  return static_cast<double>(result.bytesReceived) * 1000.0 / static_cast<double>(ms);
}

void NodeStatistics::Update(const http::RequestResult& result) {
  bytes += result.bytesReceived;
  firstByteTime += std::max<std::uint32_t>(1, result.startTransferMs);
  const std::uint32_t total = std::max<std::uint32_t>(1, result.totalMs);
  requestTime += total;
  if (IsErrorResult(result)) {
    ++numErrors;
    switch (result.state) {
      case State::ConnectFailed:
      case State::SecurityError:
        ++numConnectFailures;
        break;
      case State::ServerError:
        ++numHttpServerErrors;
        break;
      case State::NetworkError:
        ++numConnectionsReset;
        break;
      case State::RangeError:
        ++numDataMismatches;
        break;
      case State::TimedOut:
        ++numRequestTimeouts;
        break;
      default:
        break;
    }
  } else {
    ++successCount;
    successBytes += result.bytesReceived;
    successTime += total;
  }
}

void NodeStatistics::Write(boost::property_tree::ptree& tree) const {
  const std::uint32_t requests = successCount.load() + numErrors.load();
  const std::uint64_t time = successTime.load();
  // successBytes / (successTime / 1000), in doubles: the quotient may have a fraction.
  const std::uint64_t speed =
      time == 0 ? 0
                : SaturatingUnsigned(static_cast<double>(successBytes.load()) /
                                     (static_cast<double>(time) / 1000.0));
  tree.put("Requests", requests);
  tree.put("Errors", numErrors.load());
  tree.put("Bytes", bytes.load());
  tree.put("Average Request Speed", speed);
}

NodeStatisticsSnapshot NodeStatistics::GetSnapshot() const {
  NodeStatisticsSnapshot snapshot;
  snapshot.bytes = bytes.load();
  snapshot.successBytes = successBytes.load();
  snapshot.firstByteTime = firstByteTime.load();
  snapshot.requestTime = requestTime.load();
  snapshot.successTime = successTime.load();
  snapshot.numRequests = successCount.load() + numErrors.load();
  snapshot.numErrors = numErrors.load();
  snapshot.numConnectFailures = numConnectFailures.load();
  snapshot.numHttpServerErrors = numHttpServerErrors.load();
  snapshot.numConnectionsReset = numConnectionsReset.load();
  snapshot.numDataMismatches = numDataMismatches.load();
  snapshot.numRequestTimeouts = numRequestTimeouts.load();
  return snapshot;
}

}  // namespace ombrix
