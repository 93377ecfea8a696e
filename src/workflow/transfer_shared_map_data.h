// The record of one chunk of a file, shared by every work of that chunk.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/sha256.h"
#include "work/work_descriptor.h"

namespace ombrix {

namespace file {
class MemoryMappedData;
}  // namespace file

class TransferProgressUpdater;
class TransferSharedFileData;

// Guarantees:
// - fileData, the byte range [lowerBound, upperBound] (absolute, inclusive), the
//   expected CRC-32 and SHA-256 and progress never change after construction, so they may be
//   read from any thread without a lock.
// - The map (a view or a write cache over the range) is read and replaced under the
//   record's own lock. GetMap hands out a shared handle: a task keeps the range
//   alive for as long as it writes or reads it, so ReleaseMap (by the release work,
//   or by a file work torn down while chunk tasks still run) only drops the
//   record's reference and never unmaps memory under a running writer.
// - fileProgressBytes counts the bytes of this chunk now included in the
//   transfer's transferred count. The works of one chunk run one after another and
//   update it in turn; it is atomic so that describing the record from another
//   thread is safe.
// Non-copyable.
class TransferSharedMapData : public WorkDescriptor {
 public:
  // map empty, fileProgressBytes 0. fileData and progress may be empty for a record
  // that only node selection uses.
  TransferSharedMapData(std::shared_ptr<TransferSharedFileData> fileData, std::uint64_t lowerBound,
                        std::uint64_t upperBound, std::uint32_t expectedChecksum,
                        std::shared_ptr<TransferProgressUpdater> progress,
                        std::optional<Sha256Digest> expectedSha256 = std::nullopt);
  TransferSharedMapData(const TransferSharedMapData&) = delete;
  TransferSharedMapData& operator=(const TransferSharedMapData&) = delete;
  ~TransferSharedMapData() override;

  std::shared_ptr<file::MemoryMappedData> GetMap() const;
  void SetMap(std::shared_ptr<file::MemoryMappedData> map);
  // Empties the record's map; the range goes when its last holder lets it go.
  void ReleaseMap();

  // The description of fileData ("filePath", "fileSize"), then "lowerBound",
  // "upperBound", "expectedChecksum" (lowercase hexadecimal) and
  // "fileProgressBytes".
  void Describe(boost::property_tree::ptree& tree) const override;
  // Without a map nothing. Otherwise the map's cursor goes back to lowerBound and
  // the chunk's counted bytes are taken off the transferred count.
  void ResetProgress();
  // Makes the transferred count hold exactly the chunk's length for this chunk and
  // adds that length to the verified count.
  void SettleProgress();

  // True while the chunk's bytes are known to be zeros without reading them: its
  // file was zero-filled by this run and no download wrote into the chunk yet.
  bool IsKnownZero() const;

  const std::shared_ptr<TransferSharedFileData> fileData;
  const std::uint64_t lowerBound;
  const std::uint64_t upperBound;
  const std::uint32_t expectedChecksum;
  // Present when a signature vouches for the chunk: its bytes must match both.
  const std::optional<Sha256Digest> expectedSha256;
  const std::shared_ptr<TransferProgressUpdater> progress;
  std::atomic<std::uint64_t> fileProgressBytes{0};

 private:
  mutable std::mutex mapLock_;
  std::shared_ptr<file::MemoryMappedData> map_;  // guarded by mapLock_
};

// A CRC-32 as it appears in descriptions and messages: lowercase hexadecimal
// without prefix or leading zeros ("1c291ca3", "0").
std::string ChecksumText(std::uint32_t checksum);

}  // namespace ombrix
