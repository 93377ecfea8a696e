// A stand-in for a transfer, as its works see it: parameters, behavior, records,
// counters, session and routes are plain fields and setters of the test.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_progress_updater.h"
#include "transfer/transfer_work_interface.h"
#include "work/work_callbacks.h"

namespace ombrix::test {

// Atomic counters; RemoveTransferredBytes stops at 0.
class CountingProgressUpdater : public TransferProgressUpdater {
 public:
  void AddTransferredBytes(std::uint64_t count) override { transferred += count; }
  void RemoveTransferredBytes(std::uint64_t count) override;
  void AddVerifiedBytes(std::uint64_t count) override { verified += count; }
  void AddDownloadedBytes(std::uint64_t count) override { downloaded += count; }

  std::atomic<std::uint64_t> transferred{0};
  std::atomic<std::uint64_t> verified{0};
  std::atomic<std::uint64_t> downloaded{0};
};

// Records every completion it receives. Works are held weakly, so a route never
// keeps a work tree alive.
class RecordingCompleteRoute : public WorkCompleteCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) override;
  std::size_t Count() const;
  std::vector<WorkStatus> Statuses() const;
  // The last status received; WorkResult::Error without data when none came yet.
  WorkStatus Last() const;
  // Waits (bounded) until at least `count` completions arrived.
  bool WaitForCount(std::size_t count) const;
  // Runs before each completion is recorded (set before the works run).
  void SetOnComplete(std::function<void(const WorkStatus&)> onComplete) { onComplete_ = std::move(onComplete); }

 private:
  std::function<void(const WorkStatus&)> onComplete_;
  mutable std::mutex mutex_;
  std::vector<std::weak_ptr<Work>> works_;
  std::vector<WorkStatus> statuses_;
};

class RecordingRetryableErrorCallback : public WorkflowRetryableErrorCallback {
 public:
  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow, const std::shared_ptr<Work>& work,
                                const WorkStatus& status) override;
  std::size_t Count() const;
  std::vector<WorkStatus> Statuses() const;

 private:
  mutable std::mutex mutex_;
  std::vector<WorkStatus> statuses_;
};

// Parameters: a fixed identifier "0123456789abcdef0123456789abcdef", the rest
// unset; behavior: default settings and no components until the test sets them
// (behavior.filesystem, .requestFactory, .sessionFactory, .transferOptimizer,
// .taskExecutor, ...). Set everything before the works run; the records, the
// session and the cancel list may also change while they run. Like a transfer, the
// package, node-list and geolocation routes store the record of a successful
// completion (the package route also takes the package's versionId into the
// parameters) before they record it.
class FakeTransferWorkInterface : public TransferWorkInterface {
 public:
  static constexpr const char* kTransferId = "0123456789abcdef0123456789abcdef";

  FakeTransferWorkInterface();

  TransferParams GetParams() override;
  const TransferParams& Params() override { return params; }
  TransferParams& MutableParams() override { return params; }
  const TransferBehavior& GetBehavior() override { return behavior; }
  std::shared_ptr<const PackageManifest> GetPackage() override;
  std::shared_ptr<const NodeListManifest> GetNodeList() override;
  std::shared_ptr<const GeolocationManifest> GetGeolocation() override;
  std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() override { return progress; }
  std::shared_ptr<http::Session> GetSession() override;
  WorkCompleteCallback* GetWorkCompleteRoute() override { return &workCompleteRoute; }
  WorkCompleteCallback* GetPackageRoute() override { return &packageRoute; }
  WorkCompleteCallback* GetNodeListRoute() override { return &nodeListRoute; }
  WorkCompleteCallback* GetGeolocationRoute() override { return &geolocationRoute; }
  WorkCompleteCallback* GetInitializeRoute() override { return &initializeRoute; }
  WorkflowRetryableErrorCallback* GetRetryableErrorCallback() override { return &retryableError; }
  void RemoveFileOnCancel(const std::string& name) override;

  void SetPackage(std::shared_ptr<const PackageManifest> package);
  void SetNodeList(std::shared_ptr<const NodeListManifest> nodeList);
  void SetGeolocation(std::shared_ptr<const GeolocationManifest> geolocation);
  void SetSession(std::shared_ptr<http::Session> session);
  // The names given to RemoveFileOnCancel, in call order.
  std::vector<std::string> FilesRemovedOnCancel() const;

  TransferParams params;
  TransferBehavior behavior;
  const std::shared_ptr<CountingProgressUpdater> progress = std::make_shared<CountingProgressUpdater>();
  RecordingCompleteRoute workCompleteRoute;
  RecordingCompleteRoute packageRoute;
  RecordingCompleteRoute nodeListRoute;
  RecordingCompleteRoute geolocationRoute;
  RecordingCompleteRoute initializeRoute;
  RecordingRetryableErrorCallback retryableError;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const PackageManifest> package_;
  std::shared_ptr<const NodeListManifest> nodeList_;
  std::shared_ptr<const GeolocationManifest> geolocation_;
  std::shared_ptr<http::Session> session_;
  std::vector<std::string> removedOnCancel_;
};

}  // namespace ombrix::test
