#include "manifest/node_list_manifest.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "selection/node_statistics.h"

namespace ombrix {
namespace {

StandardNodeListManifest ReadNodes(const std::string& xml) {
  std::istringstream stream(xml);
  boost::property_tree::ptree tree;
  ReadXmlDocument(stream, tree);
  StandardNodeListManifest list;
  list.Read(tree);
  return list;
}

std::string Node(const std::string& id, const std::string& host, const std::string& extra = "") {
  return "<NodeInfo><NodeId>" + id + "</NodeId><Host>" + host + "</Host>" + extra + "</NodeInfo>";
}

std::string List(const std::string& nodes) { return "<ArrayOfNodeInfo>" + nodes + "</ArrayOfNodeInfo>"; }

std::string Weighted(const std::string& id, const std::string& weight) {
  return Node(id, id + ".example", "<Weight>" + weight + "</Weight>");
}

TEST(NodeListRead, ReadsNodesWithDefaultsAndOwnStatistics) {
  const auto list = ReadNodes(List("<!-- c -->" + Node("n1", "a.example:8080") + "<Other/>" +
                                   Node("n2", "b.example", "<Path>/content/</Path>")));
  const auto& nodes = list.GetNodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0]->GetNodeId(), "n1");
  EXPECT_EQ(nodes[0]->GetHost(), "a.example:8080");
  EXPECT_EQ(nodes[0]->GetPath(), "/packages/");
  EXPECT_EQ(nodes[0]->GetWeight(), 1u);
  EXPECT_EQ(nodes[1]->GetPath(), "/content/");
  ASSERT_TRUE(nodes[0]->GetStatistics());
  EXPECT_NE(nodes[0]->GetStatistics(), nodes[1]->GetStatistics());
  EXPECT_EQ(nodes[0]->shared_from_this(), nodes[0]);
}

TEST(NodeListRead, PathIsNormalised) {
  auto path = [](const std::string& text) {
    return ReadNodes(List(Node("n", "h", "<Path>" + text + "</Path>"))).GetNodes()[0]->GetPath();
  };
  EXPECT_EQ(path("packages"), "/packages/");
  EXPECT_EQ(path("/content"), "/content/");
  EXPECT_EQ(path(""), "/");
  EXPECT_EQ(path("/"), "/");
  EXPECT_EQ(path("a/b/"), "/a/b/");
}

TEST(NodeListRead, WeightNormalisation) {
  auto weights = [](const std::string& nodes) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    const auto list = ReadNodes(List(nodes));
    for (const auto& node : list.GetNodes()) {
      out.emplace_back(node->GetNodeId(), node->GetWeight());
    }
    return out;
  };
  using W = std::vector<std::pair<std::string, std::uint32_t>>;
  EXPECT_EQ(weights(Weighted("a", "0") + Weighted("b", "3") + Weighted("c", "0")), (W{{"b", 3}}));
  EXPECT_EQ(weights(Weighted("a", "2") + Weighted("b", "0") + Weighted("c", "5")),
            (W{{"a", 2}, {"c", 5}}));
  EXPECT_EQ(weights(Weighted("a", "0") + Weighted("b", "0")), (W{{"a", 1}, {"b", 1}}));
  EXPECT_EQ(weights(Weighted("a", "heavy") + Weighted("b", " 7 ")), (W{{"a", 1}, {"b", 7}}));
  // Weights whose 32-bit sum wraps to 0 still count as positive.
  EXPECT_EQ(weights(Weighted("a", "2147483648") + Weighted("b", "2147483648") + Weighted("c", "0")),
            (W{{"a", 2147483648u}, {"b", 2147483648u}}));
}

TEST(NodeListRead, InvalidLists) {
  EXPECT_THROW(ReadNodes("<Nodes/>"), ManifestParseException);
  EXPECT_THROW(ReadNodes(List("<Node/><!-- only -->")), ManifestParseException);
  EXPECT_THROW(ReadNodes(List(Node("n1", "h") + Node("n2", ""))), ManifestParseException);
  EXPECT_THROW(ReadNodes(List(Node("", "h"))), ManifestParseException);
  EXPECT_THROW(ReadNodes(List("<NodeInfo><NodeId>n</NodeId></NodeInfo>")), ManifestParseException);
}

TEST(NodeListRead, AttributesReadLikeChildren) {
  const auto list = ReadNodes(List("<NodeInfo NodeId=\"n\" Host=\"h\" Weight=\"4\"/>"));
  EXPECT_EQ(list.GetNodes()[0]->GetWeight(), 4u);
  EXPECT_EQ(list.GetNodes()[0]->GetHost(), "h");
}

TEST(NodeManifest, WriteAndClone) {
  auto statistics = std::make_shared<NodeStatistics>();
  const StandardNodeManifest node("n", "h:1", "x", 3, statistics);
  boost::property_tree::ptree tree;
  node.Write(tree);
  std::vector<std::string> keys;
  for (const auto& [key, value] : tree) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Node", "Path", "Weight", "Requests", "Errors", "Bytes",
                                            "Average Request Speed"}));
  EXPECT_EQ(tree.get<std::string>("Node"), "h:1");
  EXPECT_EQ(tree.get<std::string>("Path"), "/x/");
  EXPECT_EQ(tree.get<std::string>("Weight"), "3");

  auto other = std::make_shared<NodeStatistics>();
  const auto clone = node.Clone(other);
  EXPECT_EQ(clone->GetNodeId(), "n");
  EXPECT_EQ(clone->GetHost(), "h:1");
  EXPECT_EQ(clone->GetPath(), "/x/");
  EXPECT_EQ(clone->GetWeight(), 3u);
  EXPECT_EQ(clone->GetStatistics(), other);
  clone->ResetWeight();
  EXPECT_EQ(clone->GetWeight(), 1u);
  EXPECT_EQ(node.GetWeight(), 3u);
}

}  // namespace
}  // namespace ombrix
