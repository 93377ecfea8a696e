#include "manifest/node_list_manifest.h"

#include <algorithm>

#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

void NormaliseNodeWeights(NodeListManifest::Nodes& nodes) {
  std::uint64_t total = 0;  // 64 bits: the sum of 32-bit weights must not wrap to 0
  for (const auto& node : nodes) total += node->GetWeight();
  if (total > 0) {
    std::erase_if(nodes, [](const auto& node) { return node->GetWeight() == 0; });
  } else {
    for (const auto& node : nodes) node->ResetWeight();
  }
}

void StandardNodeListManifest::Read(const boost::property_tree::ptree& tree) {
  const auto& root = RequiredChild(tree, "ArrayOfNodeInfo");
  Nodes read;
  for (const auto& [key, child] : root) {
    if (key != "NodeInfo") continue;
    auto node = std::make_shared<StandardNodeManifest>();
    node->Read(child);
    read.push_back(std::move(node));
  }
  if (read.empty()) throw ManifestParseException();
  NormaliseNodeWeights(read);
  nodes = std::move(read);
}

}  // namespace ombrix
