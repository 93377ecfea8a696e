#include "manifest/node_manifest.h"

#include <limits>

#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "selection/node_statistics.h"

namespace ombrix {

std::string NormaliseNodePath(const std::string& path) {
  std::string normalised;
  normalised.reserve(path.size() + 2);
  if (path.empty() || path.front() != '/') normalised += '/';
  normalised += path;
  if (normalised.back() != '/') normalised += '/';
  return normalised;
}

StandardNodeManifest::StandardNodeManifest() : statistics(std::make_shared<NodeStatistics>()) {}

StandardNodeManifest::StandardNodeManifest(std::string nodeId, std::string host, std::string path,
                                           std::uint32_t weight,
                                           std::shared_ptr<NodeStatistics> statistics)
    : nodeId(std::move(nodeId)),
      host(std::move(host)),
      path(NormaliseNodePath(path)),
      weight(weight),
      statistics(std::move(statistics)) {}

void StandardNodeManifest::Read(const boost::property_tree::ptree& tree) {
  std::string newNodeId = RequiredText(tree, "NodeId");
  std::string newHost = RequiredText(tree, "Host");
  std::string newPath = NormaliseNodePath(OptionalText(tree, "Path").value_or("/packages/"));
  const auto newWeight =
      ParseUnsigned(OptionalText(tree, "Weight").value_or(""), std::numeric_limits<std::uint32_t>::max());
  if (newNodeId.empty() || newHost.empty()) throw ManifestParseException();
  nodeId = std::move(newNodeId);
  host = std::move(newHost);
  path = std::move(newPath);
  weight = static_cast<std::uint32_t>(newWeight.value_or(1));
  statistics = std::make_shared<NodeStatistics>();
}

void StandardNodeManifest::Write(boost::property_tree::ptree& tree) const {
  tree.put("Node", host);
  tree.put("Path", path);
  tree.put("Weight", weight);
  if (statistics) statistics->Write(tree);
}

std::shared_ptr<NodeManifest> StandardNodeManifest::Clone(
    std::shared_ptr<NodeStatistics> newStatistics) const {
  return std::make_shared<StandardNodeManifest>(nodeId, host, path, weight, std::move(newStatistics));
}

}  // namespace ombrix
