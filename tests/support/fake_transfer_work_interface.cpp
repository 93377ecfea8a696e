#include "support/fake_transfer_work_interface.h"

#include "manifest/package_manifest.h"
#include "support/wait.h"
#include "workflow/initialization_status_data.h"

namespace ombrix::test {

void CountingProgressUpdater::RemoveTransferredBytes(std::uint64_t count) {
  std::uint64_t current = transferred.load();
  while (!transferred.compare_exchange_weak(current, current > count ? current - count : 0)) {
  }
}

void RecordingCompleteRoute::OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) {
  if (onComplete_) onComplete_(status);
  std::lock_guard lock(mutex_);
  works_.push_back(work);
  statuses_.push_back(status);
}

std::size_t RecordingCompleteRoute::Count() const {
  std::lock_guard lock(mutex_);
  return statuses_.size();
}

std::vector<WorkStatus> RecordingCompleteRoute::Statuses() const {
  std::lock_guard lock(mutex_);
  return statuses_;
}

WorkStatus RecordingCompleteRoute::Last() const {
  std::lock_guard lock(mutex_);
  return statuses_.empty() ? WorkStatus(WorkResult::Error) : statuses_.back();
}

bool RecordingCompleteRoute::WaitForCount(std::size_t count) const {
  return WaitUntil([&] { return Count() >= count; });
}

void RecordingRetryableErrorCallback::OnWorkflowRetryableError(const std::shared_ptr<Workflow>&,
                                                               const std::shared_ptr<Work>&,
                                                               const WorkStatus& status) {
  std::lock_guard lock(mutex_);
  statuses_.push_back(status);
}

std::size_t RecordingRetryableErrorCallback::Count() const {
  std::lock_guard lock(mutex_);
  return statuses_.size();
}

std::vector<WorkStatus> RecordingRetryableErrorCallback::Statuses() const {
  std::lock_guard lock(mutex_);
  return statuses_;
}

FakeTransferWorkInterface::FakeTransferWorkInterface() : behavior(TransferSettings()) {
  params.transferId = kTransferId;
  packageRoute.SetOnComplete([this](const WorkStatus& status) {
    const auto data = std::dynamic_pointer_cast<const PackageStatusData>(status.data);
    if (status.result != WorkResult::Success || !data || !data->package) return;
    std::lock_guard lock(mutex_);
    package_ = data->package;
    params.versionId = data->package->GetVersionId();
  });
  nodeListRoute.SetOnComplete([this](const WorkStatus& status) {
    const auto data = std::dynamic_pointer_cast<const NodeListStatusData>(status.data);
    if (status.result == WorkResult::Success && data && data->nodeList) SetNodeList(data->nodeList);
  });
  geolocationRoute.SetOnComplete([this](const WorkStatus& status) {
    const auto data = std::dynamic_pointer_cast<const GeolocationStatusData>(status.data);
    if (status.result == WorkResult::Success && data && data->geolocation) SetGeolocation(data->geolocation);
  });
}

TransferParams FakeTransferWorkInterface::GetParams() {
  std::lock_guard lock(mutex_);
  return params;
}

std::shared_ptr<const PackageManifest> FakeTransferWorkInterface::GetPackage() {
  std::lock_guard lock(mutex_);
  return package_;
}

std::shared_ptr<const NodeListManifest> FakeTransferWorkInterface::GetNodeList() {
  std::lock_guard lock(mutex_);
  return nodeList_;
}

std::shared_ptr<const GeolocationManifest> FakeTransferWorkInterface::GetGeolocation() {
  std::lock_guard lock(mutex_);
  return geolocation_;
}

std::shared_ptr<http::Session> FakeTransferWorkInterface::GetSession() {
  std::lock_guard lock(mutex_);
  return session_;
}

void FakeTransferWorkInterface::RemoveFileOnCancel(const std::string& name) {
  std::lock_guard lock(mutex_);
  removedOnCancel_.push_back(name);
}

void FakeTransferWorkInterface::SetPackage(std::shared_ptr<const PackageManifest> package) {
  std::lock_guard lock(mutex_);
  package_ = std::move(package);
}

void FakeTransferWorkInterface::SetNodeList(std::shared_ptr<const NodeListManifest> nodeList) {
  std::lock_guard lock(mutex_);
  nodeList_ = std::move(nodeList);
}

void FakeTransferWorkInterface::SetGeolocation(std::shared_ptr<const GeolocationManifest> geolocation) {
  std::lock_guard lock(mutex_);
  geolocation_ = std::move(geolocation);
}

void FakeTransferWorkInterface::SetSession(std::shared_ptr<http::Session> session) {
  std::lock_guard lock(mutex_);
  session_ = std::move(session);
}

std::vector<std::string> FakeTransferWorkInterface::FilesRemovedOnCancel() const {
  std::lock_guard lock(mutex_);
  return removedOnCancel_;
}

}  // namespace ombrix::test
