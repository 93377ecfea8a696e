#include "events/transfer_events.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "events/analytics_manager.h"
#include "events/json_http_analytics_manager.h"
#include "events/track_event_work.h"
#include "events/work_log_manager.h"
#include "manifest/node_list_manifest.h"
#include "selection/node_statistics.h"
#include "transfer/transfer_work_interface.h"
#include "work/work_status_data.h"

namespace ombrix {

namespace {

using boost::property_tree::ptree;

// A new element with an empty key at the end of `list`.
ptree& AppendElement(ptree& list) { return list.push_back(ptree::value_type("", ptree()))->second; }

// Takes the status's counters now: the report covers what accumulated since the
// previous report of this transfer.
TransferAnalyticsRequest TakeReport(const TransferParams& params, TransferStatusImpl& status) {
  const TransferStatusImpl::PeriodicFigures figures = status.TakePeriodicFigures();
  return TransferAnalyticsRequest(params, static_cast<std::uint8_t>(status.GetState()),
                                  figures.downloadedBytes, figures.activeTime);
}

}  // namespace

TransferEvent::TransferEvent(TransferWorkInterface& transfer)
    : params(transfer.GetParams()), behavior(transfer.GetBehavior()) {}

TransferEvent::~TransferEvent() = default;

TransferLogEvent::TransferLogEvent(std::string name, TransferWorkInterface& transfer)
    : TransferEvent(transfer), name(std::move(name)) {}

void TransferLogEvent::Raise() {
  WorkLogManager* log = behavior.workLogManager;
  if (log == nullptr || !log->IsLogged(kTransferEventCategory)) return;
  try {
    auto work = log->CreateWork(kTransferEventCategory);
    if (!work) return;
    Describe(work->GetDocument());
    log->Submit(std::move(work));
  } catch (...) {
    // Reporting never disturbs the transfer: the entry is lost.
  }
}

void TransferLogEvent::Describe(ptree& tree) const {
  tree.put("event", name);
  params.Describe(tree.put_child("params", ptree()));
}

template <typename Returned>
void TransferCallEvent<Returned>::Describe(ptree& tree) const {
  TransferLogEvent::Describe(tree);
  tree.put("returned", returned);
}

template class TransferCallEvent<bool>;

TransferAnalyticsEvent::TransferAnalyticsEvent(std::string name, TransferWorkInterface& transfer)
    : TransferLogEvent(std::move(name), transfer), nodeList(transfer.GetNodeList()) {}

void TransferAnalyticsEvent::Raise() {
  TransferLogEvent::Raise();
  if (behavior.analyticsManager == nullptr) return;
  try {
    SendAnalytics();
  } catch (...) {
    // Reporting never disturbs the transfer: the documents not yet sent are lost.
  }
}

void TransferAnalyticsEvent::Send(std::int32_t category, const OutputManifest& request) {
  AnalyticsManager* analytics = behavior.analyticsManager;
  if (analytics == nullptr) return;
  auto work = analytics->CreateWork(category);
  if (!work) return;
  request.Write(work->GetDocument());
  analytics->Submit(std::move(work));
}

void TransferAnalyticsEvent::SendBatch(const OutputManifest* leading) {
  AnalyticsManager* analytics = behavior.analyticsManager;
  if (analytics == nullptr) return;
  auto work = analytics->CreateWork(kTransferEventCategory);
  if (!work) return;
  ptree& list = work->GetDocument();
  if (leading != nullptr) leading->Write(AppendElement(list));
  if (nodeList) {
    for (const auto& node : nodeList->GetNodes()) {
      if (!node) continue;
      const auto statistics = node->GetStatistics();
      OptimizerAnalyticsRequest(params, node->GetHost(),
                                statistics ? statistics->GetSnapshot() : NodeStatisticsSnapshot{})
          .Write(AppendElement(list));
    }
  }
  analytics->Submit(std::move(work));
}

SimpleTransferEvent::SimpleTransferEvent(std::string name, std::string metric,
                                         TransferWorkInterface& transfer)
    : TransferAnalyticsEvent(std::move(name), transfer), request(params, std::move(metric)) {}

void SimpleTransferEvent::SendAnalytics() { Send(kTransferEventCategory, request); }

TransferStateEvent::TransferStateEvent(std::string name, std::string metric,
                                       TransferWorkInterface& transfer, TransferState state,
                                       std::uint64_t transferBytes, std::uint64_t durationMs)
    : SimpleTransferEvent(std::move(name), std::move(metric), transfer),
      transferRequest(params, static_cast<std::uint8_t>(state), transferBytes, durationMs) {}

void TransferStateEvent::SendAnalytics() {
  Send(kTransferEventCategory, request);
  Send(kTransfersCategory, transferRequest);
}

TransferEndEvent::TransferEndEvent(std::string name, std::string metric,
                                   TransferWorkInterface& transfer, TransferState state,
                                   TransferStatusImpl& status)
    : TransferEndEvent(std::move(name), std::move(metric), transfer, state,
                       status.TakePeriodicFigures()) {}

TransferEndEvent::TransferEndEvent(std::string name, std::string metric,
                                   TransferWorkInterface& transfer, TransferState state,
                                   const TransferStatusImpl::PeriodicFigures& figures)
    : TransferStateEvent(std::move(name), std::move(metric), transfer, state,
                         figures.downloadedBytes, figures.activeTime) {}

void TransferEndEvent::SendAnalytics() {
  Send(kTransfersCategory, transferRequest);
  SendBatch(&request);
}

TransferPeriodicEvent::TransferPeriodicEvent(TransferWorkInterface& transfer,
                                             TransferStatusImpl& status)
    : TransferAnalyticsEvent("PeriodicUpdate", transfer), request(TakeReport(params, status)) {}

void TransferPeriodicEvent::SendAnalytics() {
  Send(kTransfersCategory, request);
  SendBatch(nullptr);
}

TransferErrorEvent::TransferErrorEvent(std::string name, std::string metric,
                                       TransferWorkInterface& transfer, TransferStatusImpl& status,
                                       const WorkStatusData* data)
    : TransferAnalyticsEvent(std::move(name), transfer),
      errorRequest(params, std::move(metric), data != nullptr ? data->GetMessage() : std::string()),
      transferRequest(TakeReport(params, status)) {}

void TransferErrorEvent::SendAnalytics() {
  if (transferRequest.GetTransferBytes() != 0 || transferRequest.GetDurationMs() != 0) {
    Send(kTransfersCategory, transferRequest);
  }
  SendBatch(&errorRequest);
}

CanTransferToEvent::CanTransferToEvent(TransferWorkInterface& transfer, std::string destPath,
                                       std::uint64_t allocatedSpace, std::uint64_t availableSpace,
                                       std::uint64_t transferSize, bool returned)
    : TransferCallEvent<bool>("CanTransferTo", transfer, returned),
      destPath(std::move(destPath)),
      allocatedSpace(allocatedSpace),
      availableSpace(availableSpace),
      transferSize(transferSize) {}

void CanTransferToEvent::Describe(ptree& tree) const {
  TransferCallEvent<bool>::Describe(tree);
  ptree& data = tree.put_child("data", ptree());
  data.put("destPath", destPath);
  data.put("allocatedSpace", allocatedSpace);
  data.put("availableSpace", availableSpace);
  data.put("transferSize", transferSize);
}

IsSupersetEvent::IsSupersetEvent(TransferWorkInterface& transfer, std::string destPath,
                                 bool ignoreHidden)
    : TransferCallEvent<bool>("IsSuperset", transfer, true),
      destPath(std::move(destPath)),
      ignoreHidden(ignoreHidden) {}

IsSupersetEvent::IsSupersetEvent(TransferWorkInterface& transfer, std::string destPath,
                                 bool ignoreHidden, std::string failure)
    : TransferCallEvent<bool>("IsSuperset", transfer, false),
      destPath(std::move(destPath)),
      ignoreHidden(ignoreHidden),
      failure(std::move(failure)) {}

void IsSupersetEvent::Describe(ptree& tree) const {
  TransferCallEvent<bool>::Describe(tree);
  ptree& data = tree.put_child("data", ptree());
  data.put("destPath", destPath);
  data.put("ignoreHidden", ignoreHidden);
  if (!returned) data.put("failure", failure);
}

IsSubsetEvent::IsSubsetEvent(TransferWorkInterface& transfer, std::string destPath,
                             bool confirmSize)
    : TransferCallEvent<bool>("IsSubset", transfer, true),
      destPath(std::move(destPath)),
      confirmSize(confirmSize),
      hasActualSize(false),
      actualSize(0) {}

IsSubsetEvent::IsSubsetEvent(TransferWorkInterface& transfer, std::string destPath,
                             bool confirmSize, std::string failure)
    : TransferCallEvent<bool>("IsSubset", transfer, false),
      destPath(std::move(destPath)),
      confirmSize(confirmSize),
      failure(std::move(failure)),
      hasActualSize(false),
      actualSize(0) {}

IsSubsetEvent::IsSubsetEvent(TransferWorkInterface& transfer, std::string destPath,
                             bool confirmSize, std::string failure, std::uint64_t actualSize)
    : TransferCallEvent<bool>("IsSubset", transfer, false),
      destPath(std::move(destPath)),
      confirmSize(confirmSize),
      failure(std::move(failure)),
      hasActualSize(true),
      actualSize(actualSize) {}

void IsSubsetEvent::Describe(ptree& tree) const {
  TransferCallEvent<bool>::Describe(tree);
  ptree& data = tree.put_child("data", ptree());
  data.put("destPath", destPath);
  data.put("confirmSize", confirmSize);
  if (returned) return;
  data.put("failure", failure);
  if (hasActualSize) data.put("actualSize", actualSize);
}

}  // namespace ombrix
