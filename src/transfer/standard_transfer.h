// The transfer state machine: operations from the service, completions from the
// works, and the events that report both.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "transfer/manifest_store.h"
#include "transfer/transfer.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_manifest.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status_impl.h"

namespace ombrix {

namespace http {
class Session;
}

class GeolocationManifest;
class NodeListManifest;
class PackageManifest;
class TransferEvent;
class TransferWorkflowFactory;
class Work;
class Workflow;
class WorkStatus;

// What one run of a transfer knows. Replaced as a whole when a transfer is
// suspended, so that nothing of an abandoned run leaks into the next one.
class StandardTransferData {
 public:
  StandardTransferData(const TransferParams& params, const TransferBehavior& behavior);
  virtual ~StandardTransferData() = default;

  TransferParams params;
  TransferBehavior behavior;
  std::shared_ptr<TransferStatusImpl> status;
  std::shared_ptr<const PackageManifest> package;
  std::shared_ptr<const NodeListManifest> nodeList;
  std::shared_ptr<const GeolocationManifest> geolocation;
  std::shared_ptr<http::Session> session;
  bool cleanupEnabled = false;
  std::unordered_set<std::string> filesToRemove;
};

// Guarantees:
// - Every public operation and every work callback holds the transfer's lock.
// - Events are built while the lock is held (so they see the state the step left)
//   and raised only once the outermost level of the lock is released, in the
//   order they were built; raising never happens with any level held.
// - The workflow is never destroyed under the lock or inside its own callbacks:
//   its last handle is handed to the control executor.
// - Internal inconsistencies never throw out: they end the transfer with an error.
// Create transfers with Create (or a factory): the work interface reaches the
// transfer through a weak handle, so works that outlive it find it detached.
class StandardTransfer : public Transfer, public std::enable_shared_from_this<StandardTransfer> {
 public:
  static std::shared_ptr<StandardTransfer> Create(const TransferParams& params, const TransferBehavior& behavior,
                                                  TransferWorkflowFactory& workflowFactory);
  ~StandardTransfer() override;

  TransferStatus Initialize() override;
  TransferStatus Start(const std::string& destPath) override;
  bool CanTransferTo(const std::string& destPath) override;
  bool IsSuperset(const std::string& destPath, bool ignoreHidden) override;
  bool IsSubset(const std::string& destPath, bool confirmSize) override;
  TransferStatus GetStatus() override;
  TransferStatus Cancel(bool cleanUp) override;
  TransferStatus Pause() override;
  TransferStatus Resume() override;
  TransferStatus Retry() override;
  TransferStatus Suspend() override;
  TransferStatus Restore() override;
  std::shared_ptr<StandardTransferWorkInterface> GetWorkInterface() override;
  std::string DescribeNodes() override;

  // The transfer lock, one level of it. When the last level is released the
  // events built meanwhile are raised.
  class Held {
   public:
    explicit Held(StandardTransfer& transfer);
    ~Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    StandardTransfer& transfer;
  };

  // Work callbacks, called by the work interface with the lock held.
  void OnWorkComplete(Held& held, const std::shared_ptr<Work>& work, const WorkStatus& status);
  void OnPackageAcquire(Held& held, const std::shared_ptr<Work>& work, const WorkStatus& status);
  void OnNodeListAcquire(Held& held, const std::shared_ptr<Work>& work, const WorkStatus& status);
  void OnGeolocation(Held& held, const std::shared_ptr<Work>& work, const WorkStatus& status);
  void OnInitialize(Held& held, const std::shared_ptr<Work>& work, const WorkStatus& status);
  void OnWorkflowRetryableError(Held& held, const std::shared_ptr<Workflow>& workflow,
                                const std::shared_ptr<Work>& work, const WorkStatus& status);
  void RemoveFileOnCancel(Held& held, const std::string& name);

 protected:
  StandardTransfer(TransferWorkflowFactory& workflowFactory);
  // Builds the first run; called once by the creator right after construction.
  void Init(const TransferParams& params, const TransferBehavior& behavior);

  // The locked steps; each answers the status read under the lock.
  virtual TransferStatus Start(Held& held, const std::string& destPath);
  virtual TransferStatus Cancel(Held& held, bool cleanUp);
  TransferStatus ReadStatus(Held& held);

  // Queues `event` to be raised when the lock is released. No-op for null.
  void Raise(std::unique_ptr<TransferEvent> event);

  std::shared_ptr<StandardTransferData> Data() const { return data; }
  bool IsFinished() const { return data->status->IsFinished(); }

  std::recursive_mutex lock;

 private:
  TransferStatus Initialize(Held& held);
  TransferStatus Pause(Held& held);
  TransferStatus Resume(Held& held);
  TransferStatus Retry(Held& held);
  TransferStatus Suspend(Held& held);
  TransferStatus Restore(Held& held, std::shared_ptr<Workflow> fresh);
  bool CanRestore();

  void ResetData(const TransferParams& params, const TransferBehavior& behavior);
  // Installs `fresh` as the workflow unless one exists.
  void CreateWorkflow(std::shared_ptr<Workflow> fresh);
  void ReleaseWorkflow();
  // Hands the last handle of a workflow to the control thread, which destroys it.
  void Dispose(std::shared_ptr<Workflow> last);
  void SetStateAndStop(TransferState state);
  void Fail(Held& held, const std::string& message, TransferError error);
  bool IsValidDestination(const std::string& destPath) const;
  bool IsProgressComplete();
  void RemoveRememberedFiles();
  // The record a successful fetch carries in `status`, or nullptr: at once when
  // the transfer is finished or the fetch did not succeed, after failing the
  // transfer with `notInitializing` or `badData` otherwise.
  template <class Data, class Record>
  std::shared_ptr<const Record> AcquiredRecord(Held& held, const WorkStatus& status,
                                               std::shared_ptr<const Record> const Data::*record,
                                               const char* notInitializing, const char* badData);

  TransferWorkflowFactory& workflowFactory;
  std::shared_ptr<StandardTransferData> data;
  std::shared_ptr<StandardTransferWorkInterface> workInterface;
  std::shared_ptr<Workflow> workflow;
  // The stopped workflow of a suspended run, kept until its leaves are gone.
  std::shared_ptr<Workflow> previousRun;
  int lockDepth = 0;                                   // guarded by lock
  std::vector<std::unique_ptr<TransferEvent>> pending;  // guarded by lock
};

// A transfer whose record is kept in a store while it may be resumed: saved when
// it starts, erased when it is canceled.
class StoredTransfer : public StandardTransfer {
 public:
  static std::shared_ptr<StoredTransfer> Create(const TransferParams& params, const TransferBehavior& behavior,
                                                TransferWorkflowFactory& workflowFactory,
                                                ManifestStore<TransferManifest>& store);

 protected:
  StoredTransfer(TransferWorkflowFactory& workflowFactory, ManifestStore<TransferManifest>& store);

  TransferStatus Start(Held& held, const std::string& destPath) override;
  TransferStatus Cancel(Held& held, bool cleanUp) override;

 private:
  ManifestStore<TransferManifest>& store;
};

class StandardTransferFactory : public TransferFactory {
 public:
  explicit StandardTransferFactory(TransferWorkflowFactory& workflowFactory) : workflowFactory(workflowFactory) {}
  std::shared_ptr<Transfer> Create(const TransferParams& params, const TransferBehavior& behavior) override;

 private:
  TransferWorkflowFactory& workflowFactory;
};

class StoredTransferFactory : public TransferFactory {
 public:
  StoredTransferFactory(ManifestStore<TransferManifest>& store, TransferWorkflowFactory& workflowFactory)
      : store(store), workflowFactory(workflowFactory) {}
  std::shared_ptr<Transfer> Create(const TransferParams& params, const TransferBehavior& behavior) override;

 private:
  ManifestStore<TransferManifest>& store;
  TransferWorkflowFactory& workflowFactory;
};

}  // namespace ombrix
