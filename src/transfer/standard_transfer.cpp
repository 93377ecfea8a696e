#include "transfer/standard_transfer.h"

#include <boost/property_tree/ptree.hpp>
#include <exception>
#include <filesystem>
#include <unordered_set>

#include "common/json_writer.h"
#include "events/transfer_events.h"
#include "file/filesystem.h"
#include "http/session_factory.h"
#include "manifest/file_manifest.h"
#include "manifest/node_list_manifest.h"
#include "manifest/node_manifest.h"
#include "manifest/package_manifest.h"
#include "selection/node_statistics.h"
#include "selection/transfer_optimizer.h"
#include "transfer/standard_transfer_work_interface.h"
#include "transfer/transfer_status_data.h"
#include "transfer/transfer_work_interface.h"
#include "work/work_manager.h"
#include "work/standard_workflow.h"
#include "work/workflow.h"
#include "workflow/initialization_status_data.h"

namespace ombrix {

namespace {

// The local name of a package file below `destPath`.
std::string JoinDestination(const std::string& destPath, const std::string& path) {
  const std::string relative = ToLocalPath(path);
  if (destPath.empty() || destPath.back() == '/') return destPath + relative;
  return destPath + "/" + relative;
}

bool IsInitializing(TransferState state) {
  return state == TransferState::Initializing || state == TransferState::InitializingPaused;
}

template <class Data>
std::shared_ptr<const Data> DataAs(const WorkStatus& status) {
  return std::dynamic_pointer_cast<const Data>(status.data);
}

}  // namespace

StandardTransferData::StandardTransferData(const TransferParams& params, const TransferBehavior& behavior)
    : params(params), behavior(behavior) {
  status = std::make_shared<TransferStatusImpl>(this->params, TransferState::Initializing,
                                                this->behavior.settings.rateWindow,
                                                this->behavior.settings.remainingRefreshInterval);
  if (this->behavior.sessionFactory != nullptr) session = this->behavior.sessionFactory->CreateSession();
  filesToRemove.reserve(11);
  filesToRemove.max_load_factor(1.0f);
}

// --- the lock -------------------------------------------------------------------

StandardTransfer::Held::Held(StandardTransfer& transfer) : transfer(transfer) {
  transfer.lock.lock();
  ++transfer.lockDepth;
}

StandardTransfer::Held::~Held() {
  std::vector<std::unique_ptr<TransferEvent>> events;
  if (--transfer.lockDepth == 0) events.swap(transfer.pending);
  transfer.lock.unlock();
  for (auto& event : events) {
    try {
      event->Raise();
    } catch (...) {
      // Reporting must never break the operation that reported.
    }
  }
}

void StandardTransfer::Raise(std::unique_ptr<TransferEvent> event) {
  if (event) pending.push_back(std::move(event));
}

// --- construction and run data -----------------------------------------------------

StandardTransfer::StandardTransfer(TransferWorkflowFactory& workflowFactory) : workflowFactory(workflowFactory) {}

// The service destroys its transfers after its executors: nothing is posted here.
StandardTransfer::~StandardTransfer() {
  if (workInterface) workInterface->Detach();
}

std::shared_ptr<StandardTransfer> StandardTransfer::Create(const TransferParams& params,
                                                           const TransferBehavior& behavior,
                                                           TransferWorkflowFactory& workflowFactory) {
  std::shared_ptr<StandardTransfer> transfer(new StandardTransfer(workflowFactory));
  transfer->Init(params, behavior);
  return transfer;
}

// Runs before anyone else can reach the transfer, so it takes no lock: building a
// work tree takes its composites' locks, which must never nest inside ours.
void StandardTransfer::Init(const TransferParams& params, const TransferBehavior& behavior) {
  ResetData(params, behavior);
  CreateWorkflow(workflowFactory.Create(workInterface));
  if (params.restored) data->status->SetState(TransferState::Suspended);
}

void StandardTransfer::ResetData(const TransferParams& params, const TransferBehavior& behavior) {
  if (workInterface) workInterface->Detach();
  auto fresh = std::make_shared<StandardTransferData>(params, behavior);
  workInterface = std::make_shared<StandardTransferWorkInterface>(weak_from_this(), fresh);
  data = std::move(fresh);
}

void StandardTransfer::CreateWorkflow(std::shared_ptr<Workflow> fresh) {
  if (workflow) return;
  workflow = std::move(fresh);
  if (workflow) workflow->AddRetryableErrorCallback(workInterface->GetRetryableErrorCallback());
}

void StandardTransfer::ReleaseWorkflow() { Dispose(std::move(workflow)); }

void StandardTransfer::Dispose(std::shared_ptr<Workflow> last) {
  if (!last) return;
  if (WorkManager* control = data ? data->behavior.controlExecutor : nullptr) {
    control->Post([last = std::move(last)]() mutable { last.reset(); });
  }
}

void StandardTransfer::SetStateAndStop(TransferState state) {
  data->status->SetState(state);
  if (workflow) {
    workflow->Pause();
    ReleaseWorkflow();
  }
}

void StandardTransfer::Fail(Held&, const std::string& message, TransferError error) {
  data->status->SetError(error);
  data->status->SetRetryable(false);
  auto errorData = std::make_shared<TransferErrorData>(error, message);
  Raise(std::make_unique<TransferFatalErrorEvent>(*workInterface, *data->status, errorData.get()));
  if (workflow) {
    workflow->Cancel(WorkStatus(WorkResult::Error, errorData));
    ReleaseWorkflow();
  }
}

TransferStatus StandardTransfer::ReadStatus(Held&) { return data->status->ReadStatus(); }

// --- public operations ---------------------------------------------------------------

TransferStatus StandardTransfer::Initialize() {
  Held held(*this);
  return Initialize(held);
}
TransferStatus StandardTransfer::Start(const std::string& destPath) {
  Held held(*this);
  return Start(held, destPath);
}
TransferStatus StandardTransfer::Cancel(bool cleanUp) {
  Held held(*this);
  return Cancel(held, cleanUp);
}
TransferStatus StandardTransfer::Pause() {
  Held held(*this);
  return Pause(held);
}
TransferStatus StandardTransfer::Resume() {
  Held held(*this);
  return Resume(held);
}
TransferStatus StandardTransfer::Retry() {
  Held held(*this);
  return Retry(held);
}
TransferStatus StandardTransfer::Suspend() {
  Held held(*this);
  return Suspend(held);
}
TransferStatus StandardTransfer::Restore() {
  std::shared_ptr<StandardTransferWorkInterface> forRun;
  {
    Held held(*this);
    if (workflow || !CanRestore()) return Restore(held, nullptr);
    forRun = workInterface;
  }
  // The tree is built without the transfer's lock (its composites lock while
  // being built); a run that changed meanwhile keeps its own workflow.
  std::shared_ptr<Workflow> fresh = workflowFactory.Create(forRun);
  Held held(*this);
  if (workInterface != forRun) fresh.reset();
  return Restore(held, std::move(fresh));
}

std::shared_ptr<StandardTransferWorkInterface> StandardTransfer::GetWorkInterface() {
  Held held(*this);
  return workInterface;
}

TransferStatus StandardTransfer::Initialize(Held& held) {
  TransferStatusImpl& status = *data->status;
  if (status.GetState() == TransferState::Initializing && status.GetError() == TransferError::None && workflow) {
    if (workflow->Start()) {
      Raise(std::make_unique<TransferInitializeEvent>(*workInterface));
    } else {
      // A workflow that cannot start would leave the transfer initializing forever.
      Fail(held, "Transfer::Initialize could not start the workflow", TransferError::Internal);
    }
  }
  return ReadStatus(held);
}

bool StandardTransfer::IsValidDestination(const std::string& destPath) const {
  // "" would put the files relative to the service's working folder.
  if (destPath.empty()) return false;
  const std::string& current = data->params.destPath;
  if (current == kUnsetText) return destPath != kUnsetText;
  return destPath == kUnsetText || destPath == current;
}

TransferStatus StandardTransfer::Start(Held& held, const std::string& destPath) {
  TransferStatusImpl& status = *data->status;
  if (IsValidDestination(destPath) && status.GetState() == TransferState::Initialized &&
      status.GetError() == TransferError::None && workflow) {
    if (data->params.destPath == kUnsetText) data->params.destPath = destPath;
    status.SetState(TransferState::Transferring);
    workflow->Resume();
    Raise(std::make_unique<TransferStartEvent>(*workInterface));
  }
  return ReadStatus(held);
}

bool StandardTransfer::CanTransferTo(const std::string& destPath) {
  Held held(*this);
  const std::shared_ptr<const PackageManifest> package = data->package;
  if (data->status->GetState() != TransferState::Initialized || !package) return false;
  file::Filesystem& filesystem = *data->behavior.filesystem;
  std::uint64_t available = 0;
  try {
    // A folder that does not exist yet will be made in its nearest existing parent.
    std::filesystem::path probe(destPath);
    while (!probe.empty() && !filesystem.ExistsQuietly(probe.string()) && probe.has_parent_path() &&
           probe.parent_path() != probe) {
      probe = probe.parent_path();
    }
    available = filesystem.GetAvailableSpace(probe.string());
  } catch (const std::exception&) {
    available = 0;
  }
  std::uint64_t allocated = 0;
  for (const auto& file : DistinctFiles(package->GetFiles())) {
    allocated += filesystem.GetFileSizeQuietly(JoinDestination(destPath, file->GetPath()));
  }
  const std::uint64_t size = data->status->GetTotalBytes();
  const bool answer = available >= size || size - available <= allocated;
  Raise(std::make_unique<CanTransferToEvent>(*workInterface, destPath, allocated, available, size, answer));
  return answer;
}

namespace {

bool InspectableState(TransferState state) {
  return state == TransferState::Initialized || state == TransferState::Complete ||
         state == TransferState::Canceled;
}

// Walks `folder`; false at the first entry that is not a package file, an empty
// folder, or anything but a file or a folder. `failure` names it.
bool OnlyPackageEntries(file::Filesystem& filesystem, const std::string& folder,
                        const std::unordered_set<std::string>& files, bool ignoreHidden, std::string& failure) {
  std::unique_ptr<file::DirectoryIterator> entries = filesystem.OpenDirectory(folder);
  std::string path;
  while (entries->Next(path)) {
    if (ignoreHidden && filesystem.IsHiddenOrSystem(path)) continue;
    switch (filesystem.GetEntryKind(path)) {
      case file::EntryKind::RegularFile:
        if (files.count(path) == 0) {
          failure = path;
          return false;
        }
        break;
      case file::EntryKind::Directory:
        if (filesystem.IsDirectoryEmpty(path, false)) {
          failure = path;
          return false;
        }
        if (!OnlyPackageEntries(filesystem, path, files, ignoreHidden, failure)) return false;
        break;
      default:
        failure = path;
        return false;
    }
  }
  return true;
}

}  // namespace

bool StandardTransfer::IsSuperset(const std::string& destPath, bool ignoreHidden) {
  std::shared_ptr<const PackageManifest> package;
  file::Filesystem* filesystem = nullptr;
  {
    Held held(*this);
    if (!data->package || !InspectableState(data->status->GetState())) return false;
    package = data->package;
    filesystem = data->behavior.filesystem;
  }
  // The walk may be long: it runs without the lock.
  std::unordered_set<std::string> files;
  for (const auto& file : package->GetFiles()) files.insert(JoinDestination(destPath, file->GetPath()));
  std::string failure;
  bool answer = false;
  try {
    answer = OnlyPackageEntries(*filesystem, destPath, files, ignoreHidden, failure);
  } catch (const std::exception&) {
    answer = false;
    if (failure.empty()) failure = destPath;
  }
  Held held(*this);
  Raise(answer ? std::make_unique<IsSupersetEvent>(*workInterface, destPath, ignoreHidden)
               : std::make_unique<IsSupersetEvent>(*workInterface, destPath, ignoreHidden, failure));
  return answer;
}

bool StandardTransfer::IsSubset(const std::string& destPath, bool confirmSize) {
  std::shared_ptr<const PackageManifest> package;
  file::Filesystem* filesystem = nullptr;
  {
    Held held(*this);
    if (!data->package || !InspectableState(data->status->GetState())) return false;
    package = data->package;
    filesystem = data->behavior.filesystem;
  }
  std::unique_ptr<TransferEvent> event;
  bool answer = true;
  for (const auto& file : package->GetFiles()) {
    const std::string path = JoinDestination(destPath, file->GetPath());
    if (!filesystem->ExistsQuietly(path)) {
      Held held(*this);
      Raise(std::make_unique<IsSubsetEvent>(*workInterface, destPath, confirmSize, path));
      return false;
    }
    if (confirmSize) {
      const std::uint64_t actual = filesystem->GetFileSizeQuietly(path);
      if (actual != file->GetSize()) {
        Held held(*this);
        Raise(std::make_unique<IsSubsetEvent>(*workInterface, destPath, confirmSize, path, actual));
        return false;
      }
    }
  }
  Held held(*this);
  Raise(std::make_unique<IsSubsetEvent>(*workInterface, destPath, confirmSize));
  return answer;
}

TransferStatus StandardTransfer::GetStatus() {
  Held held(*this);
  const std::uint64_t interval = static_cast<std::uint64_t>(data->behavior.settings.periodicEventInterval) * 1000;
  if (data->status->GetActiveTime() > interval) {
    Raise(std::make_unique<TransferPeriodicEvent>(*workInterface, *data->status));
  }
  return ReadStatus(held);
}

void StandardTransfer::RemoveRememberedFiles() {
  std::unordered_set<std::string> names;
  names.swap(data->filesToRemove);
  if (names.empty()) return;
  file::Filesystem* filesystem = data->behavior.filesystem;
  WorkManager* control = data->behavior.controlExecutor;
  const std::string destPath = data->params.destPath;
  auto remove = [filesystem, destPath, names = std::move(names)]() {
    for (const std::string& name : names) {
      try {
        filesystem->RemoveFile(destPath, name, true);
      } catch (...) {
      }
    }
  };
  if (control != nullptr) {
    control->Post(std::move(remove));
  } else {
    remove();
  }
}

TransferStatus StandardTransfer::Cancel(Held& held, bool cleanUp) {
  TransferStatusImpl& status = *data->status;
  const bool suspendedClean = status.GetState() == TransferState::Suspended && status.GetError() == TransferError::None;
  if (cleanUp && !suspendedClean) {
    data->cleanupEnabled = true;
    RemoveRememberedFiles();
  }
  if (!status.IsFinished()) {
    SetStateAndStop(TransferState::Canceled);
    Raise(std::make_unique<TransferCancelEvent>(*workInterface, *data->status));
  }
  return ReadStatus(held);
}

TransferStatus StandardTransfer::Pause(Held& held) {
  TransferStatusImpl& status = *data->status;
  const TransferState state = status.GetState();
  if ((state == TransferState::Initializing || state == TransferState::Transferring) && workflow &&
      workflow->Pause()) {
    status.SetState(state == TransferState::Initializing ? TransferState::InitializingPaused
                                                         : TransferState::TransferringPaused);
    Raise(std::make_unique<TransferPauseEvent>(*workInterface));
  }
  return ReadStatus(held);
}

TransferStatus StandardTransfer::Resume(Held& held) {
  TransferStatusImpl& status = *data->status;
  const TransferState state = status.GetState();
  if ((state == TransferState::InitializingPaused || state == TransferState::TransferringPaused) && workflow &&
      workflow->Resume()) {
    status.SetState(state == TransferState::InitializingPaused ? TransferState::Initializing
                                                               : TransferState::Transferring);
    Raise(std::make_unique<TransferResumeEvent>(*workInterface));
  }
  return ReadStatus(held);
}

TransferStatus StandardTransfer::Retry(Held& held) {
  TransferStatusImpl& status = *data->status;
  if (status.GetError() != TransferError::None && status.IsRetryable()) {
    if (status.GetError() == TransferError::Network && data->behavior.sessionFactory != nullptr) {
      workInterface->SetSession(data->behavior.sessionFactory->CreateSession());
    }
    if (workflow && workflow->Retry()) {
      status.SetError(TransferError::None);
      status.SetRetryable(false);
      Raise(std::make_unique<TransferRetryEvent>(*workInterface));
    }
  }
  return ReadStatus(held);
}

TransferStatus StandardTransfer::Suspend(Held& held) {
  TransferStatusImpl& status = *data->status;
  const TransferState state = status.GetState();
  if ((state == TransferState::Initializing || state == TransferState::InitializingPaused ||
       state == TransferState::Initialized) &&
      !data->params.restored) {
    return Cancel(held, false);
  }
  const bool completeClean = state == TransferState::Complete && status.GetError() == TransferError::None;
  if (status.IsFinished() && !completeClean) return ReadStatus(held);
  // Built before the reset, so that it reports the bytes and time of this run.
  std::unique_ptr<TransferEvent> event;
  if (state != TransferState::Complete) event = std::make_unique<TransferSuspendEvent>(*workInterface, *data->status);
  const std::shared_ptr<StandardTransferData> old = data;
  previousRun = workflow;
  ResetData(old->params, old->behavior);
  data->params.restored = true;
  SetStateAndStop(TransferState::Suspended);
  Raise(std::move(event));
  return ReadStatus(held);
}

bool StandardTransfer::CanRestore() {
  // Leaves of the suspended run may still be writing into the same files: a new
  // run starts only once they are gone.
  if (const auto previous = std::dynamic_pointer_cast<StandardWorkflow>(previousRun)) {
    if (previous->GetRunningCount() > 0) return false;
  }
  return data->status->GetState() == TransferState::Suspended && data->status->GetError() == TransferError::None;
}

TransferStatus StandardTransfer::Restore(Held& held, std::shared_ptr<Workflow> fresh) {
  if (!CanRestore()) {
    Dispose(std::move(fresh));
    return ReadStatus(held);
  }
  Dispose(std::move(previousRun));
  if (workflow) {
    Dispose(std::move(fresh));
  } else {
    CreateWorkflow(fresh ? std::move(fresh) : workflowFactory.Create(workInterface));
  }
  if (workflow && workflow->Start()) {
    data->status->SetState(TransferState::Initializing);
    Raise(std::make_unique<TransferRestoreEvent>(*workInterface));
  } else {
    Fail(held, "Transfer::Restore could not start the workflow", TransferError::Internal);
  }
  return ReadStatus(held);
}

std::string StandardTransfer::DescribeNodes() {
  std::shared_ptr<const NodeListManifest> nodeList;
  TransferOptimizer* optimizer = nullptr;
  {
    Held held(*this);
    nodeList = data->nodeList;
    optimizer = data->behavior.transferOptimizer;
  }
  boost::property_tree::ptree list;
  if (nodeList && optimizer != nullptr) {
    for (const auto& node : nodeList->GetNodes()) {
      boost::property_tree::ptree entry;
      if (const auto statistics = optimizer->GetStatistics(*node)) statistics->Write(entry);
      if (entry.empty()) entry.put_value(kJsonEmptyObject);
      list.push_back({"", entry});
    }
  }
  std::string text = ToJson(list);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// --- work callbacks ----------------------------------------------------------------

bool StandardTransfer::IsProgressComplete() {
  const TransferStatus status = data->status->ReadStatus();
  if (status.state != TransferState::Transferring && status.state != TransferState::TransferringPaused) return false;
  if (status.error != TransferError::None || !data->package) return false;
  const std::optional<std::uint64_t> packageSize = DistinctSize(*data->package);
  return status.transferredBytes == status.verifiedBytes && status.verifiedBytes == status.totalBytes &&
         packageSize && status.totalBytes == *packageSize;
}

void StandardTransfer::OnWorkComplete(Held& held, const std::shared_ptr<Work>&, const WorkStatus& status) {
  if (IsFinished()) return;
  switch (status.result) {
    case WorkResult::Success:
      if (IsProgressComplete()) {
        SetStateAndStop(TransferState::Complete);
        Raise(std::make_unique<TransferCompleteEvent>(*workInterface, *data->status));
      } else {
        Fail(held, "Transfer::OnWorkComplete called with Success result but progress is not complete",
             TransferError::Internal);
      }
      return;
    case WorkResult::Interrupted:
    case WorkResult::RetryableError:
      return;
    default:
      break;
  }
  const auto transferData = DataAs<TransferStatusData>(status);
  if (!transferData) {
    Fail(held, "Transfer::OnWorkComplete called with error result but data is not TransferStatusData",
         TransferError::Internal);
    return;
  }
  const TransferError error = transferData->ToTransferError();
  if (error == TransferError::None) {
    Fail(held, "Transfer::OnWorkComplete called with error result but data->ToTransferError() is None",
         TransferError::Internal);
    return;
  }
  data->status->SetError(error);
  data->status->SetRetryable(false);
  Raise(std::make_unique<TransferFatalErrorEvent>(*workInterface, *data->status, status.data.get()));
  if (workflow) {
    workflow->Pause();
    ReleaseWorkflow();
  }
}

template <class Data, class Record>
std::shared_ptr<const Record> StandardTransfer::AcquiredRecord(Held& held, const WorkStatus& status,
                                                               std::shared_ptr<const Record> const Data::*record,
                                                               const char* notInitializing, const char* badData) {
  if (IsFinished() || status.result != WorkResult::Success) return nullptr;
  if (!IsInitializing(data->status->GetState())) {
    Fail(held, notInitializing, TransferError::Internal);
    return nullptr;
  }
  const auto recordData = DataAs<Data>(status);
  if (!recordData || !((*recordData).*record)) {
    Fail(held, badData, TransferError::Internal);
    return nullptr;
  }
  return (*recordData).*record;
}

void StandardTransfer::OnPackageAcquire(Held& held, const std::shared_ptr<Work>&, const WorkStatus& status) {
  const auto package = AcquiredRecord(
      held, status, &PackageStatusData::package, "Transfer::OnPackageAcquire called but transfer is not initializing",
      "Transfer::OnPackageAcquire called but data is not PackageStatusData or package is null");
  if (!package) return;
  if (package->GetPartnerId() != data->params.partnerId || package->GetId() != data->params.packageId) {
    Fail(held, "Transfer::OnPackageAcquire called but package does not match ids", TransferError::ContentUnavailable);
    return;
  }
  data->package = package;
  data->params.versionId = package->GetVersionId();
}

void StandardTransfer::OnNodeListAcquire(Held& held, const std::shared_ptr<Work>&, const WorkStatus& status) {
  if (auto nodeList = AcquiredRecord(
          held, status, &NodeListStatusData::nodeList, "Transfer::OnNodeListAcquire called but transfer is not initializing",
          "Transfer::OnNodeListAcquire called but data is not NodeListStatusData or nodelist is null")) {
    data->nodeList = std::move(nodeList);
  }
}

void StandardTransfer::OnGeolocation(Held& held, const std::shared_ptr<Work>&, const WorkStatus& status) {
  if (auto geolocation = AcquiredRecord(
          held, status, &GeolocationStatusData::geolocation, "Transfer::OnGeolocation called but transfer is not initializing",
          "Transfer::OnGeolocation called but data is not GeolocationStatusData or geolocation is null")) {
    data->geolocation = std::move(geolocation);
  }
}

void StandardTransfer::OnInitialize(Held& held, const std::shared_ptr<Work>&, const WorkStatus& status) {
  if (IsFinished() || status.result != WorkResult::Success) return;
  if (!IsInitializing(data->status->GetState())) {
    Fail(held, "Transfer::OnInitialize called but transfer is not initializing", TransferError::Internal);
    return;
  }
  if (!data->package) return Fail(held, "Transfer::OnInitialize called but package is missing", TransferError::Internal);
  if (!data->nodeList) {
    return Fail(held, "Transfer::OnInitialize called but nodelist is missing", TransferError::Internal);
  }
  if (!data->geolocation) {
    return Fail(held, "Transfer::OnInitialize called but geolocation is missing", TransferError::Internal);
  }
  if (!data->status->LearnPackage(*data->package)) {
    // The sizes add up past 2^64: no destination can hold it and the counters would wrap.
    return Fail(held, "Transfer::OnInitialize called but the package size overflows",
                TransferError::ContentUnavailable);
  }
  data->status->SetState(TransferState::Initialized);
  if (workflow) workflow->Pause();
  Raise(std::make_unique<TransferInitializeCompleteEvent>(*workInterface));
}

void StandardTransfer::OnWorkflowRetryableError(Held& held, const std::shared_ptr<Workflow>& from,
                                                const std::shared_ptr<Work>&, const WorkStatus& status) {
  if (IsFinished() || data->status->GetError() != TransferError::None) return;
  if (from != workflow) {
    return Fail(held, "Transfer::OnWorkflowRetryableError called on wrong workflow", TransferError::Internal);
  }
  if (status.result != WorkResult::RetryableError || status.retry) {
    return Fail(held, "Transfer::OnWorkflowRetryableError called with incorrect status", TransferError::Internal);
  }
  const auto transferData = DataAs<TransferStatusData>(status);
  if (!transferData) {
    return Fail(held, "Transfer::OnWorkflowRetryableError called with invalid data", TransferError::Internal);
  }
  const TransferError error = transferData->ToTransferError();
  if (error == TransferError::None) {
    return Fail(held, "Transfer::OnWorkflowRetryableError called with TransferError::None", TransferError::Internal);
  }
  data->status->SetError(error);
  data->status->SetRetryable(true);
  Raise(std::make_unique<TransferRetryableErrorEvent>(*workInterface, *data->status, status.data.get()));
}

void StandardTransfer::RemoveFileOnCancel(Held&, const std::string& name) {
  // Tested before the finished rule: a cancel with clean-up removes the files
  // of the run that was in progress, even those registered after it.
  if (data->cleanupEnabled) {
    try {
      data->behavior.filesystem->RemoveFile(data->params.destPath, name, true);
    } catch (...) {
    }
    return;
  }
  if (IsFinished()) return;
  data->filesToRemove.insert(name);
}

// --- stored transfers ----------------------------------------------------------------

StoredTransfer::StoredTransfer(TransferWorkflowFactory& workflowFactory, ManifestStore<TransferManifest>& store)
    : StandardTransfer(workflowFactory), store(store) {}

std::shared_ptr<StoredTransfer> StoredTransfer::Create(const TransferParams& params, const TransferBehavior& behavior,
                                                       TransferWorkflowFactory& workflowFactory,
                                                       ManifestStore<TransferManifest>& store) {
  std::shared_ptr<StoredTransfer> transfer(new StoredTransfer(workflowFactory, store));
  transfer->Init(params, behavior);
  return transfer;
}

TransferStatus StoredTransfer::Start(Held& held, const std::string& destPath) {
  const TransferState before = Data()->status->GetState();
  TransferStatus status = StandardTransfer::Start(held, destPath);
  if (before == TransferState::Initialized && status.state == TransferState::Transferring) {
    // Under the lock, so that a Cancel racing this Start cannot erase first.
    store.Save(status.transferId, TransferManifest(Data()->params));
  }
  return status;
}

TransferStatus StoredTransfer::Cancel(Held& held, bool cleanUp) {
  TransferStatus status = StandardTransfer::Cancel(held, cleanUp);
  if (status.state != TransferState::Suspended || status.error != TransferError::None) {
    store.Erase(status.transferId);
  }
  return status;
}

std::shared_ptr<Transfer> StandardTransferFactory::Create(const TransferParams& params,
                                                          const TransferBehavior& behavior) {
  return StandardTransfer::Create(params, behavior, workflowFactory);
}

std::shared_ptr<Transfer> StoredTransferFactory::Create(const TransferParams& params,
                                                        const TransferBehavior& behavior) {
  return StoredTransfer::Create(params, behavior, workflowFactory, store);
}

}  // namespace ombrix
