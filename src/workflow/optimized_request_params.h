// The record a chunk request exchanges with the node selector.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "manifest/node_list_manifest.h"
#include "manifest/node_manifest.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

// Holds the candidate nodes of one chunk request and what the selector chose for
// the current attempt: the node and the four request limits. Owned by one chunk
// request work and used by one thread at a time; not thread-safe.
// Guarantee: candidateNodes never becomes empty while nodeList holds a node —
// RemoveSelectedNode starts a new pass over the whole list once every node was tried.
class OptimizedRequestParams {
 public:
  // candidateNodes starts as every node of nodeList, in list order.
  OptimizedRequestParams(std::shared_ptr<const NodeListManifest> nodeList,
                         std::shared_ptr<TransferSharedMapData> chunk);

  // Erases SelectedNode from candidateNodes; refills the candidates from nodeList
  // when none is left.
  void RemoveSelectedNode();

  std::shared_ptr<const NodeListManifest> nodeList;
  std::vector<std::shared_ptr<NodeManifest>> candidateNodes;
  std::shared_ptr<TransferSharedMapData> ChunkData;
  std::shared_ptr<NodeManifest> SelectedNode;
  bool freeRetry = false;
  bool timeoutsCanGrow = false;
  bool exploration = false;
  std::int32_t connectTimeoutSeconds = 0;
  std::int32_t timeoutSeconds = 0;
  std::int32_t lowSpeedLimit = 0;          // bytes per second
  std::int32_t lowSpeedTimeSeconds = 0;
};

}  // namespace ombrix
