// Everything the works of a transfer reach of their transfer.
#pragma once

#include <memory>
#include <string>

#include "transfer/transfer_params.h"

namespace ombrix {

namespace http {
class Session;
}  // namespace http

class GeolocationManifest;
class NodeListManifest;
class PackageManifest;
class TransferBehavior;
class TransferProgressUpdater;
class WorkCompleteCallback;
class Workflow;
class WorkflowRetryableErrorCallback;

// The works of a transfer never hold the transfer itself: they hold a shared handle
// to this interface for their whole life, and reach parameters, settings and
// components, acquired records, progress counters, the HTTP session and the
// completion routes through it. Called from task executor threads.
//
// - GetParams, RemoveFileOnCancel and the routes take the transfer's lock;
//   GetSession takes only the interface's own mutex; the other operations return
//   objects that are immutable after publication or synchronized themselves.
// - The routes are owned by the interface and outlive every work holding them. Once
//   the interface is detached from its transfer, calls through a route change
//   nothing, so completions of an abandoned run are dropped.
// - GetPackage, GetNodeList and GetGeolocation are empty until acquired.
class TransferWorkInterface {
 public:
  TransferWorkInterface() = default;
  TransferWorkInterface(const TransferWorkInterface&) = delete;
  TransferWorkInterface& operator=(const TransferWorkInterface&) = delete;
  virtual ~TransferWorkInterface() = default;

  // A copy taken under the transfer's lock.
  virtual TransferParams GetParams() = 0;
  virtual const TransferParams& Params() = 0;
  // For the works that change the parameters (the preallocation check).
  virtual TransferParams& MutableParams() = 0;
  // Sets the preallocate flag of the parameters; the transfer's implementation
  // takes its lock, since GetParams copies the parameters under it.
  virtual void SetPreallocate(bool preallocate) { MutableParams().preallocate = preallocate; }
  virtual const TransferBehavior& GetBehavior() = 0;
  virtual std::shared_ptr<const PackageManifest> GetPackage() = 0;
  virtual std::shared_ptr<const NodeListManifest> GetNodeList() = 0;
  virtual std::shared_ptr<const GeolocationManifest> GetGeolocation() = 0;
  virtual std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() = 0;
  virtual std::shared_ptr<http::Session> GetSession() = 0;
  virtual WorkCompleteCallback* GetWorkCompleteRoute() = 0;
  virtual WorkCompleteCallback* GetPackageRoute() = 0;
  virtual WorkCompleteCallback* GetNodeListRoute() = 0;
  virtual WorkCompleteCallback* GetGeolocationRoute() = 0;
  virtual WorkCompleteCallback* GetInitializeRoute() = 0;
  virtual WorkflowRetryableErrorCallback* GetRetryableErrorCallback() = 0;
  // Registers a file (relative to the destination) that a cancel with clean-up
  // deletes.
  virtual void RemoveFileOnCancel(const std::string& name) = 0;
};

// How a transfer obtains the workflow that runs its work tree. Create builds the
// root work of its kind on `transfer`, a StandardWorkflow over it on the task
// executor of the transfer's behavior with workflowConcurrency leaves at most,
// points the whole tree at that workflow, and returns it.
class TransferWorkflowFactory {
 public:
  TransferWorkflowFactory() = default;
  TransferWorkflowFactory(const TransferWorkflowFactory&) = delete;
  TransferWorkflowFactory& operator=(const TransferWorkflowFactory&) = delete;
  virtual ~TransferWorkflowFactory() = default;

  virtual std::shared_ptr<Workflow> Create(std::shared_ptr<TransferWorkInterface> transfer) = 0;
};

}  // namespace ombrix
