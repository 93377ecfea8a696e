// The works that check chunks of a file already on disk against their CRC-32.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "common/sha256.h"
#include "work/lazy_parallel_work.h"
#include "work/sequential_work.h"
#include "workflow/transfer_work.h"

namespace ombrix {

class FileManifest;
class TransferSharedFileData;
class TransferSharedMapData;

// One chunk: CreateChunkMapWork, PrefetchChunkWork, VerifyChunkWork,
// ReleaseChunkMapWork, in order, on a chunk record it creates with the transfer's
// progress counters. A mismatch ends the sequence with Failure before the release
// (the map goes with the record). Registers the work log's unmarked completion
// callback. Describe: "name", "transferId", then the chunk record.
class MapAndVerifyChunkWork : public SequentialWork, public TransferWork {
 public:
  MapAndVerifyChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                        std::shared_ptr<TransferSharedFileData> fileData, std::uint64_t lowerBound,
                        std::uint64_t upperBound, std::uint32_t expectedChecksum,
                        std::optional<Sha256Digest> expectedSha256 = std::nullopt);

  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<TransferSharedMapData> chunk;
};

// Every chunk of one file, up to chunkConcurrency at once, created in chunk order.
// The first chunk that does not match ends it with Error carrying that chunk's
// ChecksumStatusData. Registers the work log's unmarked completion callback.
// Describe: "name", "transferId", then the file record.
class LazyParallelVerifyMultipleChunksWork : public LazyParallelWork, public TransferWork {
 public:
  // std::logic_error "LazyParallelVerifyMultipleChunksWork constructed with fewer
  // checksums than chunks" when the file record lacks a checksum for a chunk: such
  // a chunk could never be verified.
  LazyParallelVerifyMultipleChunksWork(std::shared_ptr<TransferWorkInterface> transfer,
                                       std::shared_ptr<const FileManifest> file,
                                       std::shared_ptr<TransferSharedFileData> fileData);

  std::shared_ptr<Work> CreateNextChild() override;
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<const FileManifest> file;
  const std::shared_ptr<TransferSharedFileData> fileData;
};

}  // namespace ombrix
