#include "workflow/initialization_status_data.h"

#include <boost/property_tree/ptree.hpp>

#include "manifest/geolocation_manifest.h"
#include "manifest/node_list_manifest.h"
#include "manifest/package_manifest.h"
#include "workflow/http_transfer_status_data.h"

namespace ombrix {

void PackageStatusData::Describe(boost::property_tree::ptree& tree) const {
  if (!package) {
    tree.add("package", "null");
    return;
  }
  tree.add("packageId", package->GetId());
  tree.add("partnerId", package->GetPartnerId());
  tree.add("versionId", package->GetVersionId());
}

void NodeListStatusData::Describe(boost::property_tree::ptree& tree) const {
  if (!nodeList) {
    tree.add("nodes", "null");
    return;
  }
  tree.add("count", nodeList->GetNodes().size());
}

void GeolocationStatusData::Describe(boost::property_tree::ptree& tree) const {
  if (!geolocation || geolocation->GetCountryCode().empty()) {
    tree.add("geolocation", "null");
    return;
  }
  tree.add("ip", geolocation->GetIp());
  tree.add("country", geolocation->GetCountryCode());
}

std::string GeolocationStatusData::GetMessage() const {
  return "error|10|" + (geolocation ? geolocation->GetCountryCode() : std::string("null"));
}

void HttpManifestStatusData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("httpResult", static_cast<unsigned>(result.state));
  tree.add("httpResponseCode", result.responseCode);
  tree.add("requestTimeMs", result.totalMs);
  tree.add("ip", result.ip);
  tree.add("proxyConfig", result.proxyConfig);
  tree.add("proxyUrl", result.proxyUrl);
  tree.add("errorSummary", result.errorSummary);
  tree.add("errorDetails", result.errorDetails);
}

std::string HttpManifestStatusData::GetMessage() const {
  return RequestFailureLabel("error|manifest|", transferError, result);
}

}  // namespace ombrix
