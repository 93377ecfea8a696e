#include "workflow/optimized_request_params.h"

#include <Poco/URI.h>

#include <algorithm>
#include <stdexcept>

#include "common/url_scheme.h"
#include "workflow/transfer_shared_file_data.h"

namespace ombrix {

namespace {

// `text` as a relative reference that means exactly its characters as path
// segments: the characters a URI parser would read as an escape, a query or a
// fragment are escaped, and a first segment holding ":" gets a "./" so that it is
// not read as a scheme. Other characters are left to the URI class, which encodes
// them the same way for every name.
std::string LiteralReference(const std::string& text) {
  std::string reference;
  reference.reserve(text.size() + 2);
  const auto firstSlash = text.find('/');
  if (text.substr(0, firstSlash).find(':') != std::string::npos) reference = "./";
  for (const char c : text) {
    switch (c) {
      case '%': reference += "%25"; break;
      case '#': reference += "%23"; break;
      case '?': reference += "%3F"; break;
      default: reference += c;
    }
  }
  return reference;
}

}  // namespace

std::string ChunkUrl(const std::string& host, const std::string& path,
                     const TransferParams& transferParams, const std::string& filePath) {
  Poco::URI uri;
  uri.setScheme(UrlScheme());
  uri.setAuthority(host);
  uri.setPath(path);
  uri.resolve(LiteralReference(transferParams.partnerId + "/"));
  uri.resolve(LiteralReference(transferParams.packageId + "/"));
  uri.resolve(LiteralReference(transferParams.versionId + "/"));
  const auto firstKept = filePath.find_first_not_of('/');
  uri.resolve(LiteralReference(firstKept == std::string::npos ? std::string() : filePath.substr(firstKept)));
  return uri.toString();
}

OptimizedRequestParams::OptimizedRequestParams(std::shared_ptr<const NodeListManifest> nodeList,
                                               std::shared_ptr<TransferSharedMapData> chunk)
    : OptimizedRequestParams(std::move(nodeList), TransferParams(), std::move(chunk)) {}

OptimizedRequestParams::OptimizedRequestParams(std::shared_ptr<const NodeListManifest> nodeList,
                                               TransferParams transferParams,
                                               std::shared_ptr<TransferSharedMapData> chunk)
    : nodeList(std::move(nodeList)),
      transferParams(std::move(transferParams)),
      ChunkData(std::move(chunk)) {
  if (this->nodeList) candidateNodes = this->nodeList->GetNodes();
}

void OptimizedRequestParams::RemoveSelectedNode() {
  const auto found = std::find(candidateNodes.begin(), candidateNodes.end(), SelectedNode);
  if (found != candidateNodes.end()) candidateNodes.erase(found);
  if (candidateNodes.empty() && nodeList) candidateNodes = nodeList->GetNodes();
}

std::string OptimizedRequestParams::ToUrl() const {
  if (!SelectedNode || !ChunkData || !ChunkData->fileData) {
    throw std::invalid_argument("OptimizedRequestParams::ToUrl invoked with no SelectedNode or no ChunkData");
  }
  return ChunkUrl(SelectedNode->GetHost(), SelectedNode->GetPath(), transferParams,
                  ChunkData->fileData->filePath);
}

http::RequestOptions OptimizedRequestParams::ToRequestOptions(http::WriteCallback& writer) const {
  http::RequestOptions options(ToUrl(), writer);
  options.rangeFirst = ChunkData->lowerBound;
  options.rangeLast = ChunkData->upperBound;
  options.connectTimeoutSeconds = connectTimeoutSeconds;
  options.timeoutSeconds = timeoutSeconds;
  options.lowSpeedLimit = lowSpeedLimit;
  options.lowSpeedTimeSeconds = lowSpeedTimeSeconds;
  options.receiveBufferBytes = kChunkReceiveBufferBytes;
  return options;
}

}  // namespace ombrix
