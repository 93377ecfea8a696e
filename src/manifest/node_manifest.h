// One content node of a node list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "manifest/input_manifest.h"

namespace ombrix {

class NodeStatistics;

// Guarantees after a successful Read (or Clone): nodeId and host are not empty and
// the path starts and ends with "/". The identity fields never change after
// publication except ResetWeight; the statistics object counts requests and is
// itself safe to update from many threads. Write may run concurrently with
// statistics updates.
class NodeManifest : public InputManifest,
                     public OutputManifest,
                     public std::enable_shared_from_this<NodeManifest> {
 public:
  virtual const std::string& GetNodeId() const = 0;
  virtual const std::string& GetHost() const = 0;
  virtual const std::string& GetPath() const = 0;
  virtual std::uint32_t GetWeight() const = 0;
  virtual void ResetWeight() = 0;
  virtual std::shared_ptr<NodeStatistics> GetStatistics() const = 0;
  // A new node with the same identity and weight and the given statistics object.
  virtual std::shared_ptr<NodeManifest> Clone(std::shared_ptr<NodeStatistics> statistics) const = 0;
};

// The node record read from a "NodeInfo" element: "NodeId", "Host", optional
// "Path" (default "/packages/", normalised to start and end with "/") and optional
// "Weight" (default 1, also when it does not convert). Each node starts with its
// own, empty NodeStatistics. Read throws ManifestParseException and leaves the
// record unchanged when NodeId or Host is missing or empty.
class StandardNodeManifest : public NodeManifest {
 public:
  StandardNodeManifest();
  StandardNodeManifest(std::string nodeId, std::string host, std::string path,
                       std::uint32_t weight, std::shared_ptr<NodeStatistics> statistics);

  void Read(const boost::property_tree::ptree& tree) override;
  // "Node" = host, "Path", "Weight", then the statistics object's own keys.
  void Write(boost::property_tree::ptree& tree) const override;

  const std::string& GetNodeId() const override { return nodeId; }
  const std::string& GetHost() const override { return host; }
  const std::string& GetPath() const override { return path; }
  std::uint32_t GetWeight() const override { return weight; }
  void ResetWeight() override { weight = 1; }
  std::shared_ptr<NodeStatistics> GetStatistics() const override { return statistics; }
  std::shared_ptr<NodeManifest> Clone(std::shared_ptr<NodeStatistics> statistics) const override;

 private:
  std::string nodeId;
  std::string host;
  std::string path = "/packages/";
  std::uint32_t weight = 1;
  std::shared_ptr<NodeStatistics> statistics;
};

// `path` made to start and end with "/" (an empty path becomes "/").
std::string NormaliseNodePath(const std::string& path);

}  // namespace ombrix
