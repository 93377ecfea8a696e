// The record a chunk request exchanges with the node selector.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/request_options.h"
#include "manifest/node_list_manifest.h"
#include "manifest/node_manifest.h"
#include "transfer/transfer_params.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

namespace http {
class WriteCallback;
}

// Holds the candidate nodes of one chunk request and what the selector chose for
// the current attempt: the node and the four request limits. Owned by one chunk
// request work and used by one thread at a time; not thread-safe.
// Guarantee: candidateNodes never becomes empty while nodeList holds a node —
// RemoveSelectedNode starts a new pass over the whole list once every node was tried.
class OptimizedRequestParams {
 public:
  // libcurl's receive buffer for chunk downloads: fewer, larger reads on fast links.
  static constexpr std::uint32_t kChunkReceiveBufferBytes = 512 * 1024;

  // candidateNodes starts as every node of nodeList, in list order.
  OptimizedRequestParams(std::shared_ptr<const NodeListManifest> nodeList,
                         std::shared_ptr<TransferSharedMapData> chunk);
  OptimizedRequestParams(std::shared_ptr<const NodeListManifest> nodeList,
                         TransferParams transferParams,
                         std::shared_ptr<TransferSharedMapData> chunk);

  // Erases SelectedNode from candidateNodes; refills the candidates from nodeList
  // when none is left.
  void RemoveSelectedNode();

  // The chunk's URL on SelectedNode (see ChunkUrl). Throws std::invalid_argument
  // without SelectedNode or ChunkData.
  std::string ToUrl() const;

  // A GET of the chunk's byte range from ToUrl into `writer`, with the selected
  // limits. `writer` must outlive every use of the options.
  http::RequestOptions ToRequestOptions(http::WriteCallback& writer) const;

  std::shared_ptr<const NodeListManifest> nodeList;
  std::vector<std::shared_ptr<NodeManifest>> candidateNodes;
  TransferParams transferParams;
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

// The URL of `filePath` of the transfer's package on the node `host` + `path`:
// "http://" host path, then partnerId + "/", packageId + "/", versionId + "/" and
// the file path without its leading "/" resolved against it in turn as relative
// references (RFC 3986: a base path not ending in "/" loses its last segment).
// Every added text is taken literally: "%", "#" and "?" are percent-encoded, and a
// ":" in a first segment cannot turn it into a scheme, so no file name can point
// at another file, a query or a fragment. Ordinary names give exactly the plain
// resolution's result. A "\" stays in the URL as the manifest writes it.
std::string ChunkUrl(const std::string& host, const std::string& path,
                     const TransferParams& transferParams, const std::string& filePath);

}  // namespace ombrix
