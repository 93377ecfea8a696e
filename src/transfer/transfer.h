// One download (or verification) of one package version into one folder, as the
// service drives it.
#pragma once

#include <memory>
#include <string>

#include "transfer/transfer_status.h"

namespace ombrix {

class StandardTransferWorkInterface;
class TransferBehavior;

// Every operation is safe from any thread and never throws for a transfer in the
// wrong state: it answers the current status (or false) and changes nothing.
class Transfer {
 public:
  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  virtual ~Transfer() = default;

  virtual TransferStatus Initialize() = 0;
  virtual TransferStatus Start(const std::string& destPath) = 0;
  virtual bool CanTransferTo(const std::string& destPath) = 0;
  virtual bool IsSuperset(const std::string& destPath, bool ignoreHidden) = 0;
  virtual bool IsSubset(const std::string& destPath, bool confirmSize) = 0;
  virtual TransferStatus GetStatus() = 0;
  virtual TransferStatus Cancel(bool cleanUp) = 0;
  virtual TransferStatus Pause() = 0;
  virtual TransferStatus Resume() = 0;
  virtual TransferStatus Retry() = 0;
  virtual TransferStatus Suspend() = 0;
  virtual TransferStatus Restore() = 0;
  virtual std::shared_ptr<StandardTransferWorkInterface> GetWorkInterface() = 0;
  // Per-node statistics of the node list as one JSON array ("[]" without nodes).
  virtual std::string DescribeNodes() = 0;
};

// Creates the transfers of one family.
class TransferFactory {
 public:
  TransferFactory() = default;
  TransferFactory(const TransferFactory&) = delete;
  TransferFactory& operator=(const TransferFactory&) = delete;
  virtual ~TransferFactory() = default;

  virtual std::shared_ptr<Transfer> Create(const TransferParams& params, const TransferBehavior& behavior) = 0;
};

}  // namespace ombrix
