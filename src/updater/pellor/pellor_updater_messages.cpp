#include "updater/pellor/pellor_updater_messages.h"

#include "deployment.h"
#include "transfer/transfer_error.h"

namespace ombrix::updater::pellor {

std::string PellorUpdaterMessages::GetDomain() const { return "pellor-updater"; }

std::string PellorUpdaterMessages::GetErrorText(std::uint8_t kind) const {
  switch (static_cast<TransferError>(kind)) {
    case TransferError::Network:
      return "Internet connection not established. Check the Internet connection and please try again.";
    case TransferError::OutOfMemory:
      return "Out of memory. Free up some memory and try again.";
    case TransferError::InsufficientSpace:
      return "Not enough storage. Free some space and please try again.";
    case TransferError::StorageAccess:
    case TransferError::StorageWrite:
      return "Trouble writing to storage. Make sure the user account has sufficient permissions and please try "
             "again.";
    case TransferError::Geofence:
      return std::string("This download is not available in your location. Please visit ") +
             deployment::kSupportHost + " for more information.";
    default:
      return std::string("An unexpected error occurred. For more information please visit ") + deployment::kSupportHost;
  }
}

std::string PellorUpdaterMessages::GetTitle() const { return "Pellor Update ({1})"; }
std::string PellorUpdaterMessages::GetErrorTitle() const { return "Pellor Update ({1}) Error"; }
std::string PellorUpdaterMessages::GetLaunchingText() const { return "Launching Pellor Update ({1})"; }

std::string PellorUpdaterMessages::GetLaunchFailedText() const {
  return std::string("Pellor Update ({1}) could not be launched. Please visit ") + deployment::kSupportHost +
         " for further assistance.";
}

}  // namespace ombrix::updater::pellor
