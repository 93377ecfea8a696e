// The content nodes a package can be downloaded from.
#pragma once

#include <memory>
#include <vector>

#include "manifest/input_manifest.h"
#include "manifest/node_manifest.h"

namespace ombrix {

// Guarantees after a successful Read: at least one node, in document order; when
// any weight is positive the nodes of weight 0 are gone, otherwise every weight is
// 1. Immutable after Read apart from the nodes' statistics; safe to share.
class NodeListManifest : public InputManifest {
 public:
  using Nodes = std::vector<std::shared_ptr<NodeManifest>>;
  virtual const Nodes& GetNodes() const = 0;
};

// The node list read from an "ArrayOfNodeInfo" document: one node per "NodeInfo"
// child, other children skipped. Read throws ManifestParseException and leaves the
// list unchanged when the root is missing, a node is invalid or no node is named.
class StandardNodeListManifest : public NodeListManifest {
 public:
  StandardNodeListManifest() = default;
  explicit StandardNodeListManifest(Nodes nodes) : nodes(std::move(nodes)) {}

  void Read(const boost::property_tree::ptree& tree) override;
  const Nodes& GetNodes() const override { return nodes; }

 private:
  Nodes nodes;
};

// Drops the nodes of weight 0 when the weights sum to more than 0 (order kept);
// otherwise sets every weight to 1.
void NormaliseNodeWeights(NodeListManifest::Nodes& nodes);

}  // namespace ombrix
