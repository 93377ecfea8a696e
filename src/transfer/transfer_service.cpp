#include "transfer/transfer_service.h"

#include <exception>

namespace ombrix {

TransferService::TransferService(const TransferSettings& settings, const ServiceEnvironment& environment)
    : context(std::make_unique<ServiceContext>(settings, environment)) {}

TransferService::~TransferService() = default;

template <class Operation>
TransferStatus TransferService::OnTransfer(const std::string& transferId, Operation operation) {
  try {
    if (const std::shared_ptr<Transfer> transfer = context->transferManager.Find(transferId, context->downloadBehavior)) {
      return operation(*transfer);
    }
  } catch (const std::exception&) {
    // The contract never throws; an operation that cannot run finds no transfer.
  }
  return TransferStatus::Fresh(transferId, TransferState::Unknown);
}

TransferStatus TransferService::CreateTransfer(const std::string& partnerId, const std::string& packageId) {
  return CreateTransfer(partnerId, packageId, kUnsetText);
}

TransferStatus TransferService::CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                               const std::string& versionId) {
  return Create(partnerId, packageId, versionId, context->downloadBehavior);
}

TransferStatus TransferService::CreateVerifyTransfer(const std::string& partnerId, const std::string& packageId,
                                                     const std::string& versionId) {
  return Create(partnerId, packageId, versionId, context->verifyBehavior);
}

TransferStatus TransferService::Create(const std::string& partnerId, const std::string& packageId,
                                       const std::string& versionId, const TransferBehavior& behavior) {
  try {
    TransferParams params;
    params.partnerId = partnerId;
    params.packageId = packageId;
    params.versionId = versionId;
    if (const std::shared_ptr<Transfer> transfer = context->transferManager.Create(params, behavior)) {
      return transfer->Initialize();
    }
  } catch (const std::exception&) {
  }
  return TransferStatus::CreationFailed();
}

bool TransferService::CanTransferTo(const std::string& transferId, const std::string& destPath) {
  try {
    if (const std::shared_ptr<Transfer> transfer = context->transferManager.Find(transferId, context->downloadBehavior)) {
      return transfer->CanTransferTo(destPath);
    }
  } catch (const std::exception&) {
  }
  return false;
}

TransferStatus TransferService::StartTransfer(const std::string& transferId) {
  return StartTransfer(transferId, kUnsetText);
}

TransferStatus TransferService::StartTransfer(const std::string& transferId, const std::string& destPath) {
  return OnTransfer(transferId, [&](Transfer& transfer) { return transfer.Start(destPath); });
}

TransferStatus TransferService::GetStatus(const std::string& transferId) {
  return OnTransfer(transferId, [](Transfer& transfer) { return transfer.GetStatus(); });
}

TransferStatus TransferService::PauseTransfer(const std::string& transferId) {
  return OnTransfer(transferId, [](Transfer& transfer) { return transfer.Pause(); });
}

TransferStatus TransferService::ResumeTransfer(const std::string& transferId) {
  return OnTransfer(transferId, [](Transfer& transfer) { return transfer.Resume(); });
}

TransferStatus TransferService::RetryTransfer(const std::string& transferId) {
  return OnTransfer(transferId, [](Transfer& transfer) { return transfer.Retry(); });
}

TransferStatus TransferService::SuspendTransfer(const std::string& transferId) {
  return OnTransfer(transferId, [](Transfer& transfer) { return transfer.Suspend(); });
}

TransferStatus TransferService::RestoreTransfer(const std::string& transferId) {
  return OnTransfer(transferId, [](Transfer& transfer) { return transfer.Restore(); });
}

TransferStatus TransferService::CancelTransfer(const std::string& transferId, bool cleanUp) {
  return OnTransfer(transferId, [&](Transfer& transfer) { return transfer.Cancel(cleanUp); });
}

}  // namespace ombrix
