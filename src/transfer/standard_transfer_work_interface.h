// How the works of one run reach their transfer.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "transfer/transfer_work_interface.h"
#include "work/work_callbacks.h"

namespace ombrix {

class StandardTransfer;
class StandardTransferData;

// One interface per run of a transfer. Guarantees:
// - Every route, the retryable-error callback and RemoveFileOnCancel take the
//   transfer's lock and reach the transfer only while this interface is attached
//   and the transfer still exists: completions of an abandoned run, or of works
//   that outlive their transfer, change nothing.
// - GetSession and SetSession are safe from any thread.
class StandardTransferWorkInterface : public TransferWorkInterface, public WorkflowRetryableErrorCallback {
 public:
  StandardTransferWorkInterface(std::weak_ptr<StandardTransfer> transfer, std::shared_ptr<StandardTransferData> data);

  TransferParams GetParams() override;
  const TransferParams& Params() override;
  TransferParams& MutableParams() override;
  void SetPreallocate(bool preallocate) override;
  const TransferBehavior& GetBehavior() override;
  std::shared_ptr<const PackageManifest> GetPackage() override;
  std::shared_ptr<const NodeListManifest> GetNodeList() override;
  std::shared_ptr<const GeolocationManifest> GetGeolocation() override;
  std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() override;
  std::shared_ptr<http::Session> GetSession() override;
  WorkCompleteCallback* GetWorkCompleteRoute() override { return &workCompleteRoute; }
  WorkCompleteCallback* GetPackageRoute() override { return &packageRoute; }
  WorkCompleteCallback* GetNodeListRoute() override { return &nodeListRoute; }
  WorkCompleteCallback* GetGeolocationRoute() override { return &geolocationRoute; }
  WorkCompleteCallback* GetInitializeRoute() override { return &initializeRoute; }
  WorkflowRetryableErrorCallback* GetRetryableErrorCallback() override { return this; }
  void RemoveFileOnCancel(const std::string& name) override;

  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow, const std::shared_ptr<Work>& work,
                                const WorkStatus& status) override;

  void SetSession(std::shared_ptr<http::Session> session);
  // Called by the transfer with its lock held.
  void Detach() { attached = false; }

 private:
  // Runs `call` with the transfer's lock held, when attached and alive.
  template <class Call>
  void WithTransfer(Call call);

  const std::weak_ptr<StandardTransfer> transfer;
  const std::shared_ptr<StandardTransferData> data;
  std::mutex sessionLock;
  bool attached = true;  // guarded by the transfer's lock
  WorkCompleteCallbackRoute workCompleteRoute;
  WorkCompleteCallbackRoute packageRoute;
  WorkCompleteCallbackRoute nodeListRoute;
  WorkCompleteCallbackRoute geolocationRoute;
  WorkCompleteCallbackRoute initializeRoute;
};

}  // namespace ombrix
