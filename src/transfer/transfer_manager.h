// The live transfers of the service, by identifier.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "transfer/manifest_store.h"
#include "transfer/transfer.h"
#include "transfer/transfer_manifest.h"

namespace ombrix {

class TransferBehavior;

class TransferManager {
 public:
  TransferManager() = default;
  TransferManager(const TransferManager&) = delete;
  TransferManager& operator=(const TransferManager&) = delete;
  virtual ~TransferManager() = default;

  // A new transfer with a fresh identifier; empty once shut down or when the
  // factory makes none.
  virtual std::shared_ptr<Transfer> Create(const TransferParams& params, const TransferBehavior& behavior) = 0;
  virtual std::shared_ptr<Transfer> Find(const std::string& transferId, const TransferBehavior& behavior) = 0;
  // Refuses every later Create and Find, then suspends every known transfer.
  virtual void Shutdown() = 0;
};

// Transfers in memory only. Thread-safe; the lock is held across the factory
// call but not while Shutdown suspends.
class OfflineTransferManager : public TransferManager {
 public:
  OfflineTransferManager();

  std::shared_ptr<Transfer> Create(const TransferParams& params, const TransferBehavior& behavior) override;
  std::shared_ptr<Transfer> Find(const std::string& transferId, const TransferBehavior& behavior) override;
  void Shutdown() override;

 protected:
  std::recursive_mutex lock;
  bool closed = false;                                                    // guarded by lock
  std::unordered_map<std::string, std::shared_ptr<Transfer>> transfers;  // guarded by lock
};

// Also brings back a transfer stored by an earlier run: one found only as a record
// is created again in state Suspended.
class TempFileTransferManager : public OfflineTransferManager {
 public:
  explicit TempFileTransferManager(ManifestStore<TransferManifest>& store) : store(store) {}

  std::shared_ptr<Transfer> Find(const std::string& transferId, const TransferBehavior& behavior) override;

 private:
  ManifestStore<TransferManifest>& store;
};

}  // namespace ombrix
