#include "transfer/transfer_status.h"

#include <utility>

namespace ombrix {

TransferStatus TransferStatus::Fresh(std::string transferId, TransferState state) {
  TransferStatus status;
  status.transferId = std::move(transferId);
  status.state = state;
  return status;
}

TransferStatus TransferStatus::CreationFailed() {
  TransferStatus status;
  status.transferId.clear();
  status.error = TransferError::Internal;
  return status;
}

}  // namespace ombrix
