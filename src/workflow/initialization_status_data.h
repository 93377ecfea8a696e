// What the initialization works hand to the transfer: the records they fetched,
// or why a fetch failed.
#pragma once

#include <memory>

#include "http/request_result.h"
#include "transfer/transfer_status_data.h"
#include "work/work_status_data.h"

namespace ombrix {

class GeolocationManifest;
class NodeListManifest;
class PackageManifest;

// Describe: "packageId", "partnerId", "versionId", or "package" = "null".
class PackageStatusData : public WorkStatusData {
 public:
  explicit PackageStatusData(std::shared_ptr<const PackageManifest> package) : package(std::move(package)) {}
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<const PackageManifest> package;
};

// Describe: "count", or "nodes" = "null".
class NodeListStatusData : public WorkStatusData {
 public:
  explicit NodeListStatusData(std::shared_ptr<const NodeListManifest> nodeList) : nodeList(std::move(nodeList)) {}
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<const NodeListManifest> nodeList;
};

// ToTransferError is Geofence whatever the outcome, so that a geofence refusal
// carries it. Describe: "ip" and "country" when a country is known, otherwise
// "geolocation" = "null". GetMessage: "error|10|" and the country, or "null".
class GeolocationStatusData : public TransferStatusData {
 public:
  explicit GeolocationStatusData(std::shared_ptr<const GeolocationManifest> geolocation)
      : geolocation(std::move(geolocation)) {}
  TransferError ToTransferError() const override { return TransferError::Geofence; }
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

  const std::shared_ptr<const GeolocationManifest> geolocation;
};

// A manifest request that failed. GetMessage: empty for None, otherwise
// "error|manifest|" ["proxy|"] error "|" state "|" errorSummary.
class HttpManifestStatusData : public TransferStatusData {
 public:
  HttpManifestStatusData(TransferError transferError, http::RequestResult result)
      : transferError(transferError), result(std::move(result)) {}
  TransferError ToTransferError() const override { return transferError; }
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

  const TransferError transferError;
  const http::RequestResult result;
};

}  // namespace ombrix
