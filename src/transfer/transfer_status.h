// What the outside world sees of a transfer.
#pragma once

#include <cstdint>
#include <string>

#include "transfer/transfer_error.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_state.h"

namespace ombrix {

// A copyable snapshot returned by every transfer operation. A default-constructed
// status is the fresh status of an unknown transfer with the placeholder identifier.
struct TransferStatus {
  // The status of a transfer that was just made: `transferId`, every other text
  // "?", `state`, no error, all counts 0, no estimate.
  static TransferStatus Fresh(std::string transferId, TransferState state);
  // The status answered when a transfer cannot be created: empty transferId,
  // every other text "?", state Unknown, error Internal.
  static TransferStatus CreationFailed();

  std::string transferId = kUnsetText;
  std::string partnerId = kUnsetText;
  std::string packageId = kUnsetText;
  std::string versionId = kUnsetText;
  std::string destPath = kUnsetText;    // "?" while no destination is set
  TransferState state = TransferState::Unknown;
  TransferError error = TransferError::None;
  bool retryable = false;               // Retry can clear the error
  std::string run;                      // launch path below destPath; only when Complete
  std::uint64_t downloadedBytes = 0;    // received since the last periodic event
  std::uint64_t transferredBytes = 0;   // counted as placed at the destination
  std::uint64_t verifiedBytes = 0;      // checksum confirmed
  std::uint64_t totalBytes = 0;         // package size; 0 until initialized
  std::uint64_t bytesPerSecond = 0;     // recent download rate
  std::int32_t secondsRemaining = -1;   // -1: unknown
};

inline bool IsTransferFinished(const TransferStatus& status) {
  return IsTransferFinished(status.state, status.error, status.retryable);
}

}  // namespace ombrix
