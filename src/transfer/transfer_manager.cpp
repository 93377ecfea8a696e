#include "transfer/transfer_manager.h"

#include <vector>

#include "transfer/transfer_behavior.h"

namespace ombrix {

OfflineTransferManager::OfflineTransferManager() {
  transfers.reserve(11);
  transfers.max_load_factor(1.0f);
}

std::shared_ptr<Transfer> OfflineTransferManager::Create(const TransferParams& params,
                                                         const TransferBehavior& behavior) {
  std::lock_guard<std::recursive_mutex> held(lock);
  if (closed || behavior.transferFactory == nullptr) return nullptr;
  TransferParams copy = params;
  for (;;) {
    copy.transferId = NewTransferId();
    if (transfers.count(copy.transferId) != 0) continue;
    std::shared_ptr<Transfer> transfer = behavior.transferFactory->Create(copy, behavior);
    if (!transfer) return nullptr;
    transfers.emplace(copy.transferId, transfer);
    return transfer;
  }
}

std::shared_ptr<Transfer> OfflineTransferManager::Find(const std::string& transferId, const TransferBehavior&) {
  std::lock_guard<std::recursive_mutex> held(lock);
  if (closed) return nullptr;
  const auto found = transfers.find(transferId);
  return found == transfers.end() ? nullptr : found->second;
}

void OfflineTransferManager::Shutdown() {
  std::vector<std::shared_ptr<Transfer>> known;
  {
    std::lock_guard<std::recursive_mutex> held(lock);
    closed = true;
    for (const auto& entry : transfers) known.push_back(entry.second);
  }
  for (const auto& transfer : known) {
    try {
      transfer->Suspend();
    } catch (...) {
    }
  }
}

std::shared_ptr<Transfer> TempFileTransferManager::Find(const std::string& transferId,
                                                        const TransferBehavior& behavior) {
  std::lock_guard<std::recursive_mutex> held(lock);
  if (closed) return nullptr;
  if (auto transfer = OfflineTransferManager::Find(transferId, behavior)) return transfer;
  TransferManifest record;
  if (behavior.transferFactory == nullptr || !store.Load(transferId, record) ||
      record.params.transferId != transferId) {
    return nullptr;
  }
  record.params.restored = true;
  std::shared_ptr<Transfer> transfer = behavior.transferFactory->Create(record.params, behavior);
  if (transfer) transfers.emplace(transferId, transfer);
  return transfer;
}

}  // namespace ombrix
