#include "workflow/transfer_shared_map_data.h"

#include <boost/property_tree/ptree.hpp>
#include <charconv>

#include "file/memory_mapped_data.h"
#include "transfer/transfer_progress_updater.h"
#include "workflow/transfer_shared_file_data.h"

namespace ombrix {

TransferSharedMapData::TransferSharedMapData(std::shared_ptr<TransferSharedFileData> fileData,
                                             std::uint64_t lowerBound, std::uint64_t upperBound,
                                             std::uint32_t expectedChecksum,
                                             std::shared_ptr<TransferProgressUpdater> progress,
                                             std::optional<Sha256Digest> expectedSha256)
    : fileData(std::move(fileData)),
      lowerBound(lowerBound),
      upperBound(upperBound),
      expectedChecksum(expectedChecksum),
      expectedSha256(expectedSha256),
      progress(std::move(progress)) {}

TransferSharedMapData::~TransferSharedMapData() = default;

std::shared_ptr<file::MemoryMappedData> TransferSharedMapData::GetMap() const {
  std::lock_guard lock(mapLock_);
  return map_;
}

void TransferSharedMapData::SetMap(std::shared_ptr<file::MemoryMappedData> map) {
  std::shared_ptr<file::MemoryMappedData> previous;
  {
    std::lock_guard lock(mapLock_);
    previous = std::exchange(map_, std::move(map));
  }
  // `previous` may be the last reference: it is unmapped or freed outside the lock.
}

void TransferSharedMapData::ReleaseMap() { SetMap(nullptr); }

void TransferSharedMapData::Describe(boost::property_tree::ptree& tree) const {
  if (fileData) fileData->Describe(tree);
  tree.add("lowerBound", lowerBound);
  tree.add("upperBound", upperBound);
  tree.add("expectedChecksum", ChecksumText(expectedChecksum));
  tree.add("fileProgressBytes", fileProgressBytes.load());
}

void TransferSharedMapData::ResetProgress() {
  const std::shared_ptr<file::MemoryMappedData> map = GetMap();
  if (!map) return;
  map->SetPosition(lowerBound);
  const std::uint64_t counted = fileProgressBytes.exchange(0);
  if (counted != 0 && progress) progress->RemoveTransferredBytes(counted);
}

void TransferSharedMapData::SettleProgress() {
  // A chunk is shorter than 4 GiB: its length is computed on the low 32 bits.
  const std::uint64_t length =
      static_cast<std::uint32_t>(static_cast<std::uint32_t>(upperBound) - static_cast<std::uint32_t>(lowerBound) + 1U);
  const std::uint64_t counted = fileProgressBytes.exchange(length);
  if (!progress) return;
  if (counted < length) {
    progress->AddTransferredBytes(length - counted);
  } else if (counted > length) {
    progress->RemoveTransferredBytes(counted - length);
  }
  progress->AddVerifiedBytes(length);
}

std::string ChecksumText(std::uint32_t checksum) {
  char text[8];
  const auto result = std::to_chars(text, text + sizeof text, checksum, 16);
  return std::string(text, result.ptr);
}

bool TransferSharedMapData::IsKnownZero() const {
  return fileData && fileData->IsZeroFilled() && !fileData->WasChunkWritten(lowerBound);
}

}  // namespace ombrix
