// The application's only way into downloading.
#pragma once

#include <string>

#include "transfer/transfer_status.h"

namespace ombrix {

// Every operation names a transfer by its identifier, is safe from any thread and
// never throws: an unknown transfer answers the fresh Unknown status for that
// identifier (or false).
class TransferContract {
 public:
  TransferContract() = default;
  TransferContract(const TransferContract&) = delete;
  TransferContract& operator=(const TransferContract&) = delete;
  virtual ~TransferContract() = default;

  // The current version ("?").
  virtual TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId) = 0;
  virtual TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                        const std::string& versionId) = 0;
  virtual bool CanTransferTo(const std::string& transferId, const std::string& destPath) = 0;
  // Keeps the destination the transfer already has ("?").
  virtual TransferStatus StartTransfer(const std::string& transferId) = 0;
  virtual TransferStatus StartTransfer(const std::string& transferId, const std::string& destPath) = 0;
  virtual TransferStatus GetStatus(const std::string& transferId) = 0;
  virtual TransferStatus PauseTransfer(const std::string& transferId) = 0;
  virtual TransferStatus ResumeTransfer(const std::string& transferId) = 0;
  virtual TransferStatus RetryTransfer(const std::string& transferId) = 0;
  virtual TransferStatus SuspendTransfer(const std::string& transferId) = 0;
  virtual TransferStatus RestoreTransfer(const std::string& transferId) = 0;
  virtual TransferStatus CancelTransfer(const std::string& transferId, bool cleanUp) = 0;
};

}  // namespace ombrix
