#include "workflow/verify_chunks_works.h"

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "manifest/file_manifest.h"
#include "transfer/transfer_behavior.h"
#include "workflow/chunk_map_works.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

MapAndVerifyChunkWork::MapAndVerifyChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                                             std::shared_ptr<TransferSharedFileData> fileData,
                                             std::uint64_t lowerBound, std::uint64_t upperBound,
                                             std::uint32_t expectedChecksum,
                                             std::optional<Sha256Digest> expectedSha256)
    : SequentialWork(WorkLogCompleteCallback(*transfer, false), 4),
      TransferWork(std::move(transfer)),
      chunk(std::make_shared<TransferSharedMapData>(std::move(fileData), lowerBound, upperBound, expectedChecksum,
                                                    this->transfer->GetProgressUpdater(), expectedSha256)) {
  AddChild(std::make_shared<CreateChunkMapWork>(this->transfer, chunk));
  AddChild(std::make_shared<PrefetchChunkWork>(this->transfer, chunk));
  AddChild(std::make_shared<VerifyChunkWork>(this->transfer, chunk));
  AddChild(std::make_shared<ReleaseChunkMapWork>(this->transfer, chunk));
}

void MapAndVerifyChunkWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "MapAndVerifyChunkWork");
  DescribeTransfer(tree, true);
  chunk->Describe(tree);
}

LazyParallelVerifyMultipleChunksWork::LazyParallelVerifyMultipleChunksWork(
    std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<const FileManifest> file,
    std::shared_ptr<TransferSharedFileData> fileData)
    : LazyParallelWork(WorkLogCompleteCallback(*transfer, false), transfer->GetBehavior().settings.chunkConcurrency),
      TransferWork(std::move(transfer)),
      file(std::move(file)),
      fileData(std::move(fileData)) {
  if (!this->file || this->file->GetChecksums().size() < this->file->GetChunkCount()) {
    throw std::logic_error("LazyParallelVerifyMultipleChunksWork constructed with fewer checksums than chunks");
  }
}

std::shared_ptr<Work> LazyParallelVerifyMultipleChunksWork::CreateNextChild() {
  const std::uint64_t index = GetCreatedCount();
  if (index >= file->GetChunkCount()) return nullptr;
  return std::make_shared<MapAndVerifyChunkWork>(transfer, fileData, file->GetChunkFirst(index),
                                                 file->GetChunkLast(index), file->GetChecksums()[index],
                                                 file->ChunkSha256(index));
}

void LazyParallelVerifyMultipleChunksWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "LazyParallelVerifyMultipleChunksWork");
  DescribeTransfer(tree, true);
  if (fileData) fileData->Describe(tree);
}

}  // namespace ombrix
