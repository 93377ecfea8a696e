// Where a transfer is in its life, and when it has come to an end.
#pragma once

#include <cstdint>

#include "transfer/transfer_error.h"

namespace ombrix {

// The numeric values are what applications and stored records see; they never
// change.
enum class TransferState : std::uint8_t {
  Unknown = 0,             // no such transfer, or it could not be created
  Initializing = 1,        // manifests, node list, geolocation, geofence
  InitializingPaused = 2,
  Initialized = 3,         // waits for a destination
  Transferring = 4,        // files are being placed at the destination
  TransferringPaused = 5,
  Suspended = 6,           // run given up and its data dropped; can be restored
  Complete = 7,            // every byte in place and verified
  Canceled = 8,
};

// True when nothing more will happen to the transfer on its own: the state is
// Unknown, Suspended, Complete or Canceled, or an error is set that Retry cannot
// clear. A finished transfer ignores every work completion.
constexpr bool IsTransferFinished(TransferState state, TransferError error, bool retryable) {
  return state == TransferState::Unknown || state == TransferState::Suspended ||
         state == TransferState::Complete || state == TransferState::Canceled ||
         (error != TransferError::None && !retryable);
}

}  // namespace ombrix
