// The status detail of a chunk whose bytes do not match their checksum.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/sha256.h"
#include "transfer/transfer_status_data.h"

namespace ombrix {

class TransferSharedMapData;

// Always ChecksumMismatch. Immutable once built; it keeps the chunk record alive,
// and reads only its constant fields. Describe: "actualChecksum" (lowercase
// hexadecimal), then "actualSha256" when the CRC-32 matched and the SHA-256 did
// not. GetMessage: "error|6|<transferId>|<file size>|<lowerBound>|<expected
// checksum>|<actual checksum>", numbers in decimal, checksums in lowercase
// hexadecimal.
class ChecksumStatusData : public TransferStatusData {
 public:
  ChecksumStatusData(std::string transferId, std::shared_ptr<TransferSharedMapData> chunk,
                     std::uint32_t actualChecksum, std::optional<Sha256Digest> actualSha256 = std::nullopt);

  TransferError ToTransferError() const override { return TransferError::ChecksumMismatch; }
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

  const std::string transferId;
  const std::shared_ptr<TransferSharedMapData> chunk;
  const std::uint32_t actualChecksum;
  const std::optional<Sha256Digest> actualSha256;
};

}  // namespace ombrix
