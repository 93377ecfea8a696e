#include "fake_transfer_contract.h"

#include <stdexcept>

namespace ombrix::test {

namespace {

TransferStatus WithState(TransferState state) {
  TransferStatus status;
  status.state = state;
  return status;
}

}  // namespace

FakeTransferContract::Script FakeTransferContract::Completes(const std::string& run) {
  Script script;
  script.created = WithState(TransferState::Initializing);
  script.initialized = WithState(TransferState::Initialized);
  script.end = WithState(TransferState::Complete);
  script.end.run = run;
  return script;
}

FakeTransferContract::Script FakeTransferContract::FailsWith(TransferError error, TransferState state,
                                                             bool retryable) {
  Script script = Completes("");
  script.end = WithState(state);
  script.end.error = error;
  script.end.retryable = retryable;
  return script;
}

void FakeTransferContract::SetScript(const std::string& packageId, Script script) {
  std::lock_guard<std::mutex> held(lock);
  scripts[packageId] = std::move(script);
}

TransferStatus FakeTransferContract::CreateTransfer(const std::string& partnerId, const std::string& packageId) {
  return CreateTransfer(partnerId, packageId, "?");
}

TransferStatus FakeTransferContract::CreateTransfer(const std::string&, const std::string& packageId,
                                                    const std::string& versionId) {
  std::lock_guard<std::mutex> held(lock);
  calls.push_back("Create " + packageId + " " + versionId);
  const auto found = scripts.find(packageId);
  Transfer transfer{found == scripts.end() ? Completes("run") : found->second, packageId};
  TransferStatus created = transfer.script.created;
  if (created.error != TransferError::None) return created;  // creation failed: no transfer
  created.transferId = "id-" + packageId;
  transfers[created.transferId] = std::move(transfer);
  return created;
}

bool FakeTransferContract::CanTransferTo(const std::string&, const std::string&) { return true; }

TransferStatus FakeTransferContract::StartTransfer(const std::string& transferId) {
  return StartTransfer(transferId, "?");
}

TransferStatus FakeTransferContract::StartTransfer(const std::string& transferId, const std::string& destPath) {
  std::lock_guard<std::mutex> held(lock);
  calls.push_back("Start " + transferId + " " + destPath);
  const auto found = transfers.find(transferId);
  if (found == transfers.end()) return TransferStatus::Fresh(transferId, TransferState::Unknown);
  found->second.started = true;
  found->second.reads = 0;
  return Current(found->second, transferId);
}

TransferStatus FakeTransferContract::Current(Transfer& transfer, const std::string& transferId) {
  TransferStatus status;
  if (!transfer.started) {
    status = transfer.reads == 0 ? transfer.script.created : transfer.script.initialized;
  } else if (transfer.reads < transfer.script.progress.size()) {
    status = WithState(TransferState::Transferring);
    status.totalBytes = 1000;
    status.transferredBytes = transfer.script.progress[transfer.reads];
    status.secondsRemaining = 61;
  } else {
    status = transfer.script.end;
  }
  status.transferId = transferId;
  status.packageId = transfer.packageId;
  return status;
}

TransferStatus FakeTransferContract::GetStatus(const std::string& transferId) {
  std::lock_guard<std::mutex> held(lock);
  const auto found = transfers.find(transferId);
  if (found == transfers.end()) return TransferStatus::Fresh(transferId, TransferState::Unknown);
  if (found->second.script.throwOnRead) throw std::runtime_error("status read failed");
  TransferStatus status = Current(found->second, transferId);
  ++found->second.reads;
  return status;
}

TransferStatus FakeTransferContract::CancelTransfer(const std::string& transferId, bool cleanUp) {
  std::lock_guard<std::mutex> held(lock);
  calls.push_back("Cancel " + transferId + (cleanUp ? " clean" : " keep"));
  return TransferStatus::Fresh(transferId, TransferState::Canceled);
}

#define OMBRIX_UNUSED_OPERATION(name)                                            \
  TransferStatus FakeTransferContract::name(const std::string& transferId) {     \
    std::lock_guard<std::mutex> held(lock);                                      \
    calls.push_back(#name " " + transferId);                                     \
    return TransferStatus::Fresh(transferId, TransferState::Unknown);            \
  }
OMBRIX_UNUSED_OPERATION(PauseTransfer)
OMBRIX_UNUSED_OPERATION(ResumeTransfer)
OMBRIX_UNUSED_OPERATION(RetryTransfer)
OMBRIX_UNUSED_OPERATION(SuspendTransfer)
OMBRIX_UNUSED_OPERATION(RestoreTransfer)
#undef OMBRIX_UNUSED_OPERATION

std::vector<std::string> FakeTransferContract::Calls() const {
  std::lock_guard<std::mutex> held(lock);
  return calls;
}

}  // namespace ombrix::test
