#include "workflow/optimized_request_params.h"

#include <algorithm>

namespace ombrix {

OptimizedRequestParams::OptimizedRequestParams(std::shared_ptr<const NodeListManifest> nodeList,
                                               std::shared_ptr<TransferSharedMapData> chunk)
    : nodeList(std::move(nodeList)), ChunkData(std::move(chunk)) {
  if (this->nodeList) candidateNodes = this->nodeList->GetNodes();
}

void OptimizedRequestParams::RemoveSelectedNode() {
  const auto found = std::find(candidateNodes.begin(), candidateNodes.end(), SelectedNode);
  if (found != candidateNodes.end()) candidateNodes.erase(found);
  if (candidateNodes.empty() && nodeList) candidateNodes = nodeList->GetNodes();
}

}  // namespace ombrix
