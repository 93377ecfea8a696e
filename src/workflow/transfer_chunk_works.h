// The work tree that downloads the chunks of one file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "manifest/file_manifest.h"
#include "work/conditional_work.h"
#include "work/lazy_parallel_work.h"
#include "work/limited_retry_sequential_work.h"
#include "work/sequential_work.h"
#include "workflow/transfer_work.h"

namespace ombrix {

class TransferSharedFileData;
class TransferSharedMapData;

// The retry budget of a chunk work: the larger of `setting` and one retry per
// other node (nodeCount − 1). A negative setting counts as 0 and an empty node
// list adds nothing, so no budget wraps to billions of retries.
unsigned ChunkRetryBudget(std::int32_t setting, std::size_t nodeCount);

// Download and check, retried as a whole (from another node) while the budget
// allows when the downloaded bytes do not match the checksum: children
// OptimizedRequestChunkWork (chunkRequestRetries budget) and VerifyChunkWork.
class RetryableTransferChunkWork : public TransferWork, public LimitedRetrySequentialWork {
 public:
  RetryableTransferChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                             std::shared_ptr<TransferSharedMapData> chunk, unsigned maxRetries);
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<TransferSharedMapData> chunk;
};

// Skips a chunk whose bytes already match: condition VerifyChunkWork, then
// NoOpWork on a match, else RetryableTransferChunkWork (chunkTransferRetries
// budget).
class ConditionalTransferChunkWork : public TransferWork, public ConditionalWork {
 public:
  ConditionalTransferChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                               std::shared_ptr<TransferSharedMapData> chunk);
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<TransferSharedMapData> chunk;
};

// One chunk: creates its record, then runs CreateChunkMapWork, PrefetchChunkWork,
// ConditionalTransferChunkWork and ReleaseChunkMapWork over it.
class TransferSingleChunkWork : public TransferWork, public SequentialWork {
 public:
  TransferSingleChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                          std::shared_ptr<TransferSharedFileData> fileData, std::uint64_t lowerBound,
                          std::uint64_t upperBound, std::uint32_t expectedChecksum,
                          std::optional<Sha256Digest> expectedSha256 = std::nullopt);
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<TransferSharedMapData> chunk;
};

// Every chunk of one file in chunk order, at most `capacity` in flight
// (chunkConcurrency, at least 1, when 0). A file without chunks must not get this
// work: it would never complete.
class LazyParallelTransferMultipleChunksWork : public TransferWork, public LazyParallelWork {
 public:
  LazyParallelTransferMultipleChunksWork(std::shared_ptr<TransferWorkInterface> transfer,
                                         std::shared_ptr<const FileManifest> file,
                                         std::shared_ptr<TransferSharedFileData> fileData,
                                         std::uint32_t capacity = 0);
  void Describe(boost::property_tree::ptree& tree) const override;
  std::shared_ptr<Work> CreateNextChild() override;

  const std::shared_ptr<const FileManifest> file;
  const std::shared_ptr<TransferSharedFileData> fileData;
};

}  // namespace ombrix
