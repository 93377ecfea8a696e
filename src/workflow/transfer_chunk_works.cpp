#include "workflow/transfer_chunk_works.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>

#include "manifest/node_list_manifest.h"
#include "transfer/transfer_behavior.h"
#include "work/no_op_work.h"
#include "workflow/chunk_map_works.h"
#include "workflow/optimized_request_chunk_work.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

namespace {

std::size_t NodeCount(TransferWorkInterface& transfer) {
  const auto nodeList = transfer.GetNodeList();
  return nodeList ? nodeList->GetNodes().size() : 0;
}

}  // namespace

unsigned ChunkRetryBudget(std::int32_t setting, std::size_t nodeCount) {
  const std::uint64_t fromSetting = setting > 0 ? static_cast<std::uint64_t>(setting) : 0;
  const std::uint64_t fromNodes = nodeCount > 0 ? nodeCount - 1 : 0;
  return static_cast<unsigned>(std::min<std::uint64_t>(std::max(fromSetting, fromNodes), UINT32_MAX));
}

RetryableTransferChunkWork::RetryableTransferChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                       std::shared_ptr<TransferSharedMapData> chunk,
                                                       unsigned maxRetries)
    : TransferWork(transfer),
      LimitedRetrySequentialWork(WorkLogCompleteCallback(*transfer, false), maxRetries),
      chunk(chunk) {
  const unsigned requestRetries =
      ChunkRetryBudget(transfer->GetBehavior().settings.chunkRequestRetries, NodeCount(*transfer));
  AddChild(std::make_shared<OptimizedRequestChunkWork>(transfer, chunk, requestRetries));
  AddChild(std::make_shared<VerifyChunkWork>(transfer, chunk));
}

void RetryableTransferChunkWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "RetryableTransferChunkWork");
  DescribeTransfer(tree, true);
  chunk->Describe(tree);
}

ConditionalTransferChunkWork::ConditionalTransferChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                           std::shared_ptr<TransferSharedMapData> chunk)
    : TransferWork(transfer), ConditionalWork(WorkLogCompleteCallback(*transfer, false)), chunk(chunk) {
  const unsigned transferRetries =
      ChunkRetryBudget(transfer->GetBehavior().settings.chunkTransferRetries, NodeCount(*transfer));
  SetCondition(std::make_shared<VerifyChunkWork>(transfer, chunk));
  SetOnSuccess(NoOpWork::Create(WorkLogCompleteCallback(*transfer, false)));
  SetOnFailure(std::make_shared<RetryableTransferChunkWork>(transfer, chunk, transferRetries));
}

void ConditionalTransferChunkWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "ConditionalTransferChunkWork");
  DescribeTransfer(tree, true);
  chunk->Describe(tree);
}

TransferSingleChunkWork::TransferSingleChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                 std::shared_ptr<TransferSharedFileData> fileData,
                                                 std::uint64_t lowerBound, std::uint64_t upperBound,
                                                 std::uint32_t expectedChecksum,
                                                 std::optional<Sha256Digest> expectedSha256)
    : TransferWork(transfer),
      SequentialWork(WorkLogCompleteCallback(*transfer, false)),
      chunk(std::make_shared<TransferSharedMapData>(std::move(fileData), lowerBound, upperBound, expectedChecksum,
                                                    transfer->GetProgressUpdater(), expectedSha256)) {
  AddChild(std::make_shared<CreateChunkMapWork>(transfer, chunk));
  AddChild(std::make_shared<PrefetchChunkWork>(transfer, chunk));
  AddChild(std::make_shared<ConditionalTransferChunkWork>(transfer, chunk));
  AddChild(std::make_shared<ReleaseChunkMapWork>(transfer, chunk));
}

void TransferSingleChunkWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "TransferSingleChunkWork");
  DescribeTransfer(tree, true);
  chunk->Describe(tree);
}

LazyParallelTransferMultipleChunksWork::LazyParallelTransferMultipleChunksWork(
    std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<const FileManifest> file,
    std::shared_ptr<TransferSharedFileData> fileData, std::uint32_t capacity)
    : TransferWork(transfer),
      LazyParallelWork(WorkLogCompleteCallback(*transfer, false),
                       capacity != 0 ? capacity
                                     : std::max<std::uint32_t>(1, transfer->GetBehavior().settings.chunkConcurrency)),
      file(std::move(file)),
      fileData(std::move(fileData)) {}

void LazyParallelTransferMultipleChunksWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "LazyParallelTransferMultipleChunksWork");
  DescribeTransfer(tree, true);
  fileData->Describe(tree);
}

std::shared_ptr<Work> LazyParallelTransferMultipleChunksWork::CreateNextChild() {
  const std::uint64_t index = GetCreatedCount();
  if (index >= file->GetChunkCount()) return nullptr;
  return std::make_shared<TransferSingleChunkWork>(transfer, fileData, file->GetChunkFirst(index),
                                                   file->GetChunkLast(index), file->GetChecksums().at(index),
                                                   file->ChunkSha256(index));
}

}  // namespace ombrix
