// The transfer service: the contract over one service context.
#pragma once

#include <memory>

#include "transfer/service_context.h"
#include "transfer/transfer_contract.h"

namespace ombrix {

// Adds no lock: the manager locks its map and each transfer locks itself. The
// contract's operations create download transfers; CreateVerifyTransfer makes the
// one kind of verification transfer, which the same operations then drive.
class TransferService : public TransferContract {
 public:
  explicit TransferService(const TransferSettings& settings,
                           const ServiceEnvironment& environment = ServiceEnvironment());
  ~TransferService() override;

  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId) override;
  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                const std::string& versionId) override;
  bool CanTransferTo(const std::string& transferId, const std::string& destPath) override;
  TransferStatus StartTransfer(const std::string& transferId) override;
  TransferStatus StartTransfer(const std::string& transferId, const std::string& destPath) override;
  TransferStatus GetStatus(const std::string& transferId) override;
  TransferStatus PauseTransfer(const std::string& transferId) override;
  TransferStatus ResumeTransfer(const std::string& transferId) override;
  TransferStatus RetryTransfer(const std::string& transferId) override;
  TransferStatus SuspendTransfer(const std::string& transferId) override;
  TransferStatus RestoreTransfer(const std::string& transferId) override;
  TransferStatus CancelTransfer(const std::string& transferId, bool cleanUp) override;

  // A transfer of the verification family: it checks an installed package against
  // its manifest and writes nothing. The other operations apply to it as to any.
  TransferStatus CreateVerifyTransfer(const std::string& partnerId, const std::string& packageId,
                                      const std::string& versionId);

  // A copy of the download family's behavior (the application uses its filesystem).
  TransferBehavior GetBehavior() const { return context->downloadBehavior; }

 private:
  TransferStatus Create(const std::string& partnerId, const std::string& packageId, const std::string& versionId,
                        const TransferBehavior& behavior);
  template <class Operation>
  TransferStatus OnTransfer(const std::string& transferId, Operation operation);

  std::unique_ptr<ServiceContext> context;
};

}  // namespace ombrix
