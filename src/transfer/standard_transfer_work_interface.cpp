#include "transfer/standard_transfer_work_interface.h"

#include "transfer/standard_transfer.h"

namespace ombrix {


template <class Call>
void StandardTransferWorkInterface::WithTransfer(Call call) {
  const std::shared_ptr<StandardTransfer> owner = transfer.lock();
  if (!owner) return;
  StandardTransfer::Held held(*owner);
  if (attached) call(*owner, held);
}

StandardTransferWorkInterface::StandardTransferWorkInterface(std::weak_ptr<StandardTransfer> transfer,
                                                             std::shared_ptr<StandardTransferData> data)
    : transfer(std::move(transfer)),
      data(std::move(data)),
      workCompleteRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) { t.OnWorkComplete(held, work, status); });
      }),
      packageRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) { t.OnPackageAcquire(held, work, status); });
      }),
      nodeListRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) { t.OnNodeListAcquire(held, work, status); });
      }),
      geolocationRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) { t.OnGeolocation(held, work, status); });
      }),
      initializeRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) { t.OnInitialize(held, work, status); });
      }) {}

TransferParams StandardTransferWorkInterface::GetParams() {
  TransferParams copy;
  if (const std::shared_ptr<StandardTransfer> owner = transfer.lock()) {
    StandardTransfer::Held held(*owner);
    copy = data->params;
  } else {
    copy = data->params;  // nobody else writes the params once the transfer is gone
  }
  return copy;
}

const TransferParams& StandardTransferWorkInterface::Params() { return data->params; }
TransferParams& StandardTransferWorkInterface::MutableParams() { return data->params; }
void StandardTransferWorkInterface::SetPreallocate(bool preallocate) {
  if (const std::shared_ptr<StandardTransfer> owner = transfer.lock()) {
    StandardTransfer::Held held(*owner);
    data->params.preallocate = preallocate;
  } else {
    data->params.preallocate = preallocate;
  }
}

const TransferBehavior& StandardTransferWorkInterface::GetBehavior() { return data->behavior; }
std::shared_ptr<const PackageManifest> StandardTransferWorkInterface::GetPackage() { return data->package; }
std::shared_ptr<const NodeListManifest> StandardTransferWorkInterface::GetNodeList() { return data->nodeList; }
std::shared_ptr<const GeolocationManifest> StandardTransferWorkInterface::GetGeolocation() {
  return data->geolocation;
}
std::shared_ptr<TransferProgressUpdater> StandardTransferWorkInterface::GetProgressUpdater() { return data->status; }

std::shared_ptr<http::Session> StandardTransferWorkInterface::GetSession() {
  std::lock_guard<std::mutex> guard(sessionLock);
  return data->session;
}

void StandardTransferWorkInterface::SetSession(std::shared_ptr<http::Session> session) {
  std::lock_guard<std::mutex> guard(sessionLock);
  data->session = std::move(session);
}

void StandardTransferWorkInterface::RemoveFileOnCancel(const std::string& name) {
  WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) { t.RemoveFileOnCancel(held, name); });
}

void StandardTransferWorkInterface::OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow,
                                                             const std::shared_ptr<Work>& work,
                                                             const WorkStatus& status) {
  WithTransfer([&](StandardTransfer& t, StandardTransfer::Held& held) {
    t.OnWorkflowRetryableError(held, workflow, work, status);
  });
}

}  // namespace ombrix
