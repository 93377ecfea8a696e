#include "events/analytics_requests.h"

#include <boost/property_tree/ptree.hpp>

#include "common/json_writer.h"
#include "common/version.h"
#include "events/os_name.h"
#include "transfer/transfer_params.h"

namespace ombrix {

namespace {

using boost::property_tree::ptree;

// Appends a member; keys here never contain the path separator, and appending keeps
// the documented key order without a lookup.
void Add(ptree& tree, const char* key, std::string value) {
  tree.push_back(ptree::value_type(key, ptree(std::move(value))));
}

std::string Seconds(std::uint64_t milliseconds) {
  return FormatJsonDouble(static_cast<double>(milliseconds) / 1000.0);
}

const char* StatusText(std::uint8_t state) {
  switch (state) {
    case 6: return "suspended";
    case 7: return "completed";
    case 8: return "canceled";
    default: return "active";
  }
}

}  // namespace

EventAnalyticsRequest::EventAnalyticsRequest(const TransferParams& params)
    : partnerId(params.partnerId), packageId(params.packageId), versionId(params.versionId) {}

void EventAnalyticsRequest::Write(ptree& tree) const {
  Add(tree, "pid", partnerId);
  Add(tree, "pkgid", packageId);
  Add(tree, "vid", versionId);
  Add(tree, "ombrixv", kPlatformVersion);
  Add(tree, "osv", GetOsName());
  ptree& metrics = tree.push_back(ptree::value_type("metrics", ptree()))->second;
  WriteMetrics(metrics);
  if (metrics.empty()) metrics.put_value(kJsonEmptyObject);
  ptree& dimensions = tree.push_back(ptree::value_type("dimensions", ptree()))->second;
  WriteDimensions(dimensions);
  if (dimensions.empty()) dimensions.put_value(kJsonEmptyObject);
}

SimpleEventAnalyticsRequest::SimpleEventAnalyticsRequest(const TransferParams& params,
                                                         std::string metric)
    : EventAnalyticsRequest(params), metric(std::move(metric)) {}

void SimpleEventAnalyticsRequest::WriteMetrics(ptree& metrics) const {
  metrics.push_back(ptree::value_type(metric, ptree("1")));
}

void SimpleEventAnalyticsRequest::WriteDimensions(ptree& dimensions) const {
  dimensions.put_value(kJsonEmptyObject);
}

ErrorAnalyticsRequest::ErrorAnalyticsRequest(const TransferParams& params, std::string metric,
                                             std::string error)
    : SimpleEventAnalyticsRequest(params, std::move(metric)), error(std::move(error)) {}

void ErrorAnalyticsRequest::WriteDimensions(ptree& dimensions) const {
  if (error.empty()) {
    dimensions.put_value(kJsonEmptyObject);
  } else {
    Add(dimensions, "error", error);
  }
}

OptimizerAnalyticsRequest::OptimizerAnalyticsRequest(const TransferParams& params,
                                                     std::string cdn,
                                                     const NodeStatisticsSnapshot& snapshot)
    : EventAnalyticsRequest(params), snapshot(snapshot), cdn(std::move(cdn)) {}

void OptimizerAnalyticsRequest::WriteMetrics(ptree& metrics) const {
  Add(metrics, "bytes", std::to_string(snapshot.bytes));
  Add(metrics, "successBytes", std::to_string(snapshot.successBytes));
  Add(metrics, "firstByteTime", Seconds(snapshot.firstByteTime));
  Add(metrics, "requestTime", Seconds(snapshot.requestTime));
  Add(metrics, "successTime", Seconds(snapshot.successTime));
  Add(metrics, "numRequests", std::to_string(snapshot.numRequests));
  Add(metrics, "numErrors", std::to_string(snapshot.numErrors));
  Add(metrics, "numConnectFailures", std::to_string(snapshot.numConnectFailures));
  Add(metrics, "numHttpServerErrors", std::to_string(snapshot.numHttpServerErrors));
  Add(metrics, "numConnectionsReset", std::to_string(snapshot.numConnectionsReset));
  Add(metrics, "numDataMismatches", std::to_string(snapshot.numDataMismatches));
  Add(metrics, "numRequestTimeouts", std::to_string(snapshot.numRequestTimeouts));
}

void OptimizerAnalyticsRequest::WriteDimensions(ptree& dimensions) const {
  Add(dimensions, "cdn", cdn);
}

TransferAnalyticsRequest::TransferAnalyticsRequest(const TransferParams& params,
                                                   std::uint8_t state,
                                                   std::uint64_t transferBytes,
                                                   std::uint64_t durationMs)
    : partnerId(params.partnerId),
      packageId(params.packageId),
      versionId(params.versionId),
      transferId(params.transferId),
      state(state),
      transferBytes(transferBytes),
      durationMs(durationMs) {}

void TransferAnalyticsRequest::Write(ptree& tree) const {
  Add(tree, "pid", partnerId);
  Add(tree, "pkgid", packageId);
  Add(tree, "vid", versionId);
  Add(tree, "tid", transferId);
  Add(tree, "ombrixv", kPlatformVersion);
  Add(tree, "osv", GetOsName());
  Add(tree, "status", StatusText(state));
  Add(tree, "transferBytes", std::to_string(transferBytes));
  Add(tree, "duration", Seconds(durationMs));
}

}  // namespace ombrix
