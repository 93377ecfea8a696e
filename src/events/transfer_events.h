// The events of a transfer's life: each writes one work-log entry and, for the
// analytics events, hands its requests to the analytics reporter.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "events/analytics_requests.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_state.h"
#include "transfer/transfer_status_impl.h"

namespace ombrix {

class NodeListManifest;
class TransferWorkInterface;
class WorkStatusData;

// Categories the events hand to the reporters: every log entry and every
// events-endpoint request is 1, a transfers-endpoint request 32
// (kTransfersCategory).
inline constexpr std::int32_t kTransferEventCategory = 1;

// An event is created by the transfer after a step took effect, raised once and
// dropped. Construction copies what the reports need (params, behavior, node list
// handle, counters), so Raise and the queued works never reach back into the
// transfer. Raise only composes documents and queues them on the reporters'
// executors: it never waits for the disk or the network, never throws, and skips
// a reporter that is absent. Construct with the transfer's lock held where the
// constructor takes counters; raise without it.
class TransferEvent {
 public:
  explicit TransferEvent(TransferWorkInterface& transfer);
  TransferEvent(const TransferEvent&) = delete;
  TransferEvent& operator=(const TransferEvent&) = delete;
  virtual ~TransferEvent();

  virtual void Raise() = 0;

 protected:
  const TransferParams params;
  const TransferBehavior behavior;
};

// Writes the log entry "event" = name, "params" = the transfer's params.
class TransferLogEvent : public TransferEvent {
 public:
  TransferLogEvent(std::string name, TransferWorkInterface& transfer);

  void Raise() override;
  virtual void Describe(boost::property_tree::ptree& tree) const;

 protected:
  const std::string name;
};

// The answer to a question asked of the transfer: the entry adds "returned" and
// the subclass's "data".
template <typename Returned>
class TransferCallEvent : public TransferLogEvent {
 public:
  TransferCallEvent(std::string name, TransferWorkInterface& transfer, Returned returned)
      : TransferLogEvent(std::move(name), transfer), returned(returned) {}

  void Describe(boost::property_tree::ptree& tree) const override;

 protected:
  const Returned returned;
};

extern template class TransferCallEvent<bool>;

// An event that is also reported: Raise logs it, then SendAnalytics.
class TransferAnalyticsEvent : public TransferLogEvent {
 public:
  TransferAnalyticsEvent(std::string name, TransferWorkInterface& transfer);

  void Raise() override;
  virtual void SendAnalytics() = 0;
  // One work of `category` holding `request`, submitted to the analytics reporter.
  virtual void Send(std::int32_t category, const OutputManifest& request);

 protected:
  // One events-endpoint work holding a list: `leading` (when given), then one
  // OptimizerAnalyticsRequest per node of the node list, in list order.
  void SendBatch(const OutputManifest* leading);

  const std::shared_ptr<const NodeListManifest> nodeList;  // empty before it is known
};

// Counts one occurrence of `metric` on the events endpoint.
class SimpleTransferEvent : public TransferAnalyticsEvent {
 public:
  SimpleTransferEvent(std::string name, std::string metric, TransferWorkInterface& transfer);

  void SendAnalytics() override;

 protected:
  const SimpleEventAnalyticsRequest request;
};

// Counts the event, then reports the state with bytes and duration to the
// transfers endpoint.
class TransferStateEvent : public SimpleTransferEvent {
 public:
  TransferStateEvent(std::string name, std::string metric, TransferWorkInterface& transfer,
                     TransferState state, std::uint64_t transferBytes, std::uint64_t durationMs);

  void SendAnalytics() override;

 protected:
  const TransferAnalyticsRequest transferRequest;
};

// The end of a run: takes (and resets) the status's downloaded bytes and active
// time, reports them with the state to the transfers endpoint, then sends the
// count together with the node statistics as one batch.
class TransferEndEvent : public TransferStateEvent {
 public:
  TransferEndEvent(std::string name, std::string metric, TransferWorkInterface& transfer,
                   TransferState state, TransferStatusImpl& status);

  void SendAnalytics() override;

 private:
  TransferEndEvent(std::string name, std::string metric, TransferWorkInterface& transfer,
                   TransferState state, const TransferStatusImpl::PeriodicFigures& figures);
};

// The periodic report: takes the counters, reports them with the current state,
// then sends the node statistics batch (an empty list without a node list).
class TransferPeriodicEvent : public TransferAnalyticsEvent {
 public:
  TransferPeriodicEvent(TransferWorkInterface& transfer, TransferStatusImpl& status);

  void SendAnalytics() override;

 protected:
  const TransferAnalyticsRequest request;
};

// An error: takes the counters; reports them with the current state only when
// they are not both zero; then sends the error (its message as the "error"
// dimension) with the node statistics as one batch.
class TransferErrorEvent : public TransferAnalyticsEvent {
 public:
  // `data` is the error's status data; its message is reported (none when null).
  TransferErrorEvent(std::string name, std::string metric, TransferWorkInterface& transfer,
                     TransferStatusImpl& status, const WorkStatusData* data);

  void SendAnalytics() override;

 protected:
  const ErrorAnalyticsRequest errorRequest;
  const TransferAnalyticsRequest transferRequest;
};

class TransferInitializeEvent : public SimpleTransferEvent {
 public:
  explicit TransferInitializeEvent(TransferWorkInterface& transfer)
      : SimpleTransferEvent("Initialize", "numInitializes", transfer) {}
};

class TransferInitializeCompleteEvent : public SimpleTransferEvent {
 public:
  explicit TransferInitializeCompleteEvent(TransferWorkInterface& transfer)
      : SimpleTransferEvent("InitializeComplete", "numInitializeCompletes", transfer) {}
};

class TransferStartEvent : public TransferStateEvent {
 public:
  explicit TransferStartEvent(TransferWorkInterface& transfer)
      : TransferStateEvent("Start", "numStarts", transfer, TransferState::Transferring, 0, 0) {}
};

class TransferRestoreEvent : public TransferStateEvent {
 public:
  explicit TransferRestoreEvent(TransferWorkInterface& transfer)
      : TransferStateEvent("Restore", "numRestores", transfer, TransferState::Initializing, 0, 0) {}
};

class TransferPauseEvent : public SimpleTransferEvent {
 public:
  explicit TransferPauseEvent(TransferWorkInterface& transfer)
      : SimpleTransferEvent("Pause", "numPauses", transfer) {}
};

class TransferResumeEvent : public SimpleTransferEvent {
 public:
  explicit TransferResumeEvent(TransferWorkInterface& transfer)
      : SimpleTransferEvent("Resume", "numResumes", transfer) {}
};

class TransferRetryEvent : public SimpleTransferEvent {
 public:
  explicit TransferRetryEvent(TransferWorkInterface& transfer)
      : SimpleTransferEvent("Retry", "numRetries", transfer) {}
};

class TransferSuspendEvent : public TransferEndEvent {
 public:
  TransferSuspendEvent(TransferWorkInterface& transfer, TransferStatusImpl& status)
      : TransferEndEvent("Suspend", "numSuspends", transfer, TransferState::Suspended, status) {}
};

class TransferCancelEvent : public TransferEndEvent {
 public:
  TransferCancelEvent(TransferWorkInterface& transfer, TransferStatusImpl& status)
      : TransferEndEvent("Cancel", "numCancels", transfer, TransferState::Canceled, status) {}
};

class TransferCompleteEvent : public TransferEndEvent {
 public:
  TransferCompleteEvent(TransferWorkInterface& transfer, TransferStatusImpl& status)
      : TransferEndEvent("Complete", "numCompletes", transfer, TransferState::Complete, status) {}
};

class TransferRetryableErrorEvent : public TransferErrorEvent {
 public:
  TransferRetryableErrorEvent(TransferWorkInterface& transfer, TransferStatusImpl& status,
                              const WorkStatusData* data)
      : TransferErrorEvent("RetryableError", "numRetryableErrors", transfer, status, data) {}
};

class TransferFatalErrorEvent : public TransferErrorEvent {
 public:
  TransferFatalErrorEvent(TransferWorkInterface& transfer, TransferStatusImpl& status,
                          const WorkStatusData* data)
      : TransferErrorEvent("FatalError", "numFatalErrors", transfer, status, data) {}
};

// "data": "destPath", "allocatedSpace", "availableSpace", "transferSize".
class CanTransferToEvent : public TransferCallEvent<bool> {
 public:
  CanTransferToEvent(TransferWorkInterface& transfer, std::string destPath,
                     std::uint64_t allocatedSpace, std::uint64_t availableSpace,
                     std::uint64_t transferSize, bool returned);

  void Describe(boost::property_tree::ptree& tree) const override;

 private:
  const std::string destPath;
  const std::uint64_t allocatedSpace;
  const std::uint64_t availableSpace;
  const std::uint64_t transferSize;
};

// "data": "destPath", "ignoreHidden", and "failure" for a false answer.
class IsSupersetEvent : public TransferCallEvent<bool> {
 public:
  // The answer true.
  IsSupersetEvent(TransferWorkInterface& transfer, std::string destPath, bool ignoreHidden);
  // The answer false, with the first mismatch.
  IsSupersetEvent(TransferWorkInterface& transfer, std::string destPath, bool ignoreHidden,
                  std::string failure);

  void Describe(boost::property_tree::ptree& tree) const override;

 private:
  const std::string destPath;
  const bool ignoreHidden;
  const std::string failure;
};

// "data": "destPath", "confirmSize", and for a false answer "failure" and, when
// the failing file's size is known, "actualSize".
class IsSubsetEvent : public TransferCallEvent<bool> {
 public:
  // The answer true.
  IsSubsetEvent(TransferWorkInterface& transfer, std::string destPath, bool confirmSize);
  // The answer false: the file `failure` is missing.
  IsSubsetEvent(TransferWorkInterface& transfer, std::string destPath, bool confirmSize,
                std::string failure);
  // The answer false: the file `failure` has `actualSize` bytes.
  IsSubsetEvent(TransferWorkInterface& transfer, std::string destPath, bool confirmSize,
                std::string failure, std::uint64_t actualSize);

  void Describe(boost::property_tree::ptree& tree) const override;

 private:
  const std::string destPath;
  const bool confirmSize;
  const std::string failure;
  const bool hasActualSize;
  const std::uint64_t actualSize;
};

}  // namespace ombrix
