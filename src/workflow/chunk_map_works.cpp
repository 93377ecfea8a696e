#include "workflow/chunk_map_works.h"

#include <algorithm>
#include <vector>

#include <boost/property_tree/ptree.hpp>
#include <cmath>

#include "common/crc32.h"
#include "file/memory_mapped_data.h"
#include "file/sequential_write_cache.h"
#include "file/shared_file.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_status_data.h"
#include "workflow/checksum_status_data.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

std::uint32_t WriteCacheWaitSeconds(std::int32_t taskThreads, std::uint32_t divisor, std::uint64_t span) {
  constexpr double kMost = 4294967295.0;
  const double others = taskThreads >= 1 ? static_cast<double>(taskThreads) - 1.0 : 0.0;
  const double work = others * static_cast<double>(span);
  if (work <= 0.0) return 0;
  if (divisor == 0) return static_cast<std::uint32_t>(kMost);
  const double seconds = std::ceil(work / static_cast<double>(divisor));
  return static_cast<std::uint32_t>(std::min(seconds, kMost));
}

ChunkMapWork::ChunkMapWork(std::shared_ptr<TransferWorkInterface> transfer,
                           std::shared_ptr<TransferSharedMapData> chunk)
    : SimpleWork(WorkLogCompleteCallback(*transfer, false)), TransferWork(std::move(transfer)), chunk(std::move(chunk)) {}

void ChunkMapWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", Name());
  DescribeTransfer(tree, true);
  if (chunk) chunk->Describe(tree);
}

WorkStatus ChunkMapWork::ExecuteTask() {
  try {
    return Execute();
  } catch (...) {
    WorkStatus status = FileExceptionStatus(std::current_exception());
    OnException(status);
    return status;
  }
}

WorkStatus ChunkMapWork::NoMap() const {
  return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(
                                           TransferError::Internal, std::string(Name()) + "::ExecuteTask has no shared map"));
}

WorkStatus CreateChunkMapWork::Execute() {
  const std::shared_ptr<file::SharedFile> file = chunk->fileData ? chunk->fileData->GetFile() : nullptr;
  if (!file) {
    return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(
                                             TransferError::Internal, "CreateChunkMapWork::ExecuteTask has no shared file"));
  }
  if (file->GetSize() > chunk->upperBound) {
    chunk->SetMap(file->Map(chunk->lowerBound, chunk->upperBound));
  } else {
    // The file does not reach the chunk's end yet (no preallocation): a cache,
    // written through once the chunks before it have reached the file.
    const TransferSettings& settings = transfer->GetBehavior().settings;
    const std::uint32_t wait =
        WriteCacheWaitSeconds(settings.taskThreads, settings.writeCacheDivisor, chunk->upperBound - chunk->lowerBound);
    chunk->SetMap(file->CreateWriteCache(chunk->lowerBound, chunk->upperBound, wait));
  }
  return WorkStatus(WorkResult::Success);
}

namespace {

// Feeds `length` zero bytes to `consume`, without touching the file.
template <class Consume>
void ForZeros(std::uint64_t length, Consume consume) {
  static const std::vector<std::uint8_t> zeros(1 << 16, 0);
  while (length > 0) {
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(length, zeros.size()));
    consume(zeros.data(), step);
    length -= step;
  }
}

}  // namespace

WorkStatus PrefetchChunkWork::Execute() {
  const std::shared_ptr<file::MemoryMappedData> map = chunk->GetMap();
  if (!map) return NoMap();
  // Zeros need no paging in: touching them would only make the kernel zero pages
  // that the download overwrites next.
  if (!chunk->IsKnownZero()) map->Fetch();
  return WorkStatus(WorkResult::Success);
}

WorkStatus VerifyChunkWork::Execute() {
  const std::shared_ptr<file::MemoryMappedData> map = chunk->GetMap();
  if (!map) return NoMap();
  // Known zeros are hashed without reading the file; the SHA-256 is taken only
  // of bytes whose CRC-32 already matched, so that a chunk still to download
  // costs one CRC pass.
  const bool knownZero = chunk->IsKnownZero();
  const auto forBytes = [&](auto consume) {
    if (knownZero) {
      ForZeros(chunk->upperBound - chunk->lowerBound + 1, consume);
    } else {
      map->Process([&consume](std::uint8_t* data, std::uint32_t size) { consume(data, size); });
    }
  };
  std::uint32_t crc = 0;
  forBytes([&crc](const std::uint8_t* data, std::size_t size) { crc = Crc32(data, size, crc); });
  std::optional<Sha256Digest> sha256;
  if (crc == chunk->expectedChecksum && chunk->expectedSha256) {
    Sha256 hasher;
    forBytes([&hasher](const std::uint8_t* data, std::size_t size) { hasher.Update(data, size); });
    sha256 = hasher.Finish();
  }
  if (crc == chunk->expectedChecksum && sha256 == chunk->expectedSha256) {
    chunk->SettleProgress();
    return WorkStatus(WorkResult::Success);
  }
  chunk->ResetProgress();
  return WorkStatus(WorkResult::Failure,
                    std::make_shared<ChecksumStatusData>(transfer->Params().transferId, chunk, crc, sha256));
}

WorkStatus ReleaseChunkMapWork::Execute() {
  const std::shared_ptr<file::MemoryMappedData> map = chunk->GetMap();
  if (!map) return NoMap();
  if (!transfer->Params().preallocate) map->Flush();
  chunk->ReleaseMap();
  return WorkStatus(WorkResult::Success);
}

void ReleaseChunkMapWork::OnException(const WorkStatus& status) {
  if (status.result != WorkResult::RetryableError) chunk->ReleaseMap();
}

}  // namespace ombrix
