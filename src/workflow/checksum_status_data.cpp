#include "workflow/checksum_status_data.h"

#include <boost/property_tree/ptree.hpp>

#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

ChecksumStatusData::ChecksumStatusData(std::string transferId, std::shared_ptr<TransferSharedMapData> chunk,
                                       std::uint32_t actualChecksum, std::optional<Sha256Digest> actualSha256)
    : transferId(std::move(transferId)),
      chunk(std::move(chunk)),
      actualChecksum(actualChecksum),
      actualSha256(actualSha256) {}

void ChecksumStatusData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("actualChecksum", ChecksumText(actualChecksum));
  if (actualSha256) tree.add("actualSha256", HexText(*actualSha256));
}

std::string ChecksumStatusData::GetMessage() const {
  std::string message = "error|" + std::to_string(static_cast<unsigned>(ToTransferError())) + "|" + transferId;
  const std::uint64_t fileSize = chunk && chunk->fileData ? chunk->fileData->fileSize : 0;
  message += "|" + std::to_string(fileSize);
  message += "|" + std::to_string(chunk ? chunk->lowerBound : 0);
  message += "|" + ChecksumText(chunk ? chunk->expectedChecksum : 0);
  message += "|" + ChecksumText(actualChecksum);
  return message;
}

}  // namespace ombrix
