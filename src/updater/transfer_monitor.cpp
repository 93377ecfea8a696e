#include "updater/transfer_monitor.h"

#include <vector>

namespace ombrix {

TransferMonitorImpl::TransferMonitorImpl(TransferContract& service, std::chrono::milliseconds interval)
    : service(service), interval(interval) {}

TransferMonitorImpl::~TransferMonitorImpl() {
  Stop();
  watched.clear();
}

void TransferMonitorImpl::Start() {
  std::lock_guard<std::mutex> held(lock);
  if (!thread.joinable() && !stopRequested) thread = std::thread([this] { Poll(); });
}

void TransferMonitorImpl::Stop() {
  {
    std::lock_guard<std::mutex> held(lock);
    stopRequested = true;
    wakeup.notify_all();
  }
  if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

void TransferMonitorImpl::Monitor(const std::string& transferId, TransferMonitorCallback& callback) {
  std::lock_guard<std::mutex> held(lock);
  watched.emplace(transferId, &callback);
}

void TransferMonitorImpl::Unmonitor(const std::string& transferId) {
  std::lock_guard<std::mutex> held(lock);
  watched.erase(transferId);
}

// One pause between passes: at least 90 % of the interval, cut short by Stop.
bool TransferMonitorImpl::Wait() {
  const auto until = std::chrono::steady_clock::now() + interval * 9 / 10;
  std::unique_lock<std::mutex> held(lock);
  wakeup.wait_until(held, until, [this] { return stopRequested; });
  return !stopRequested;
}

void TransferMonitorImpl::Poll() {
  while (Wait()) {
    std::vector<std::pair<std::string, TransferMonitorCallback*>> pass;
    {
      std::lock_guard<std::mutex> held(lock);
      pass.assign(watched.begin(), watched.end());
    }
    for (const auto& [transferId, callback] : pass) {
      {
        std::lock_guard<std::mutex> held(lock);
        if (stopRequested) return;
      }
      try {
        Report(transferId, *callback);
      } catch (...) {
        // This transfer is read again on the next pass; the others go on now.
      }
    }
  }
}

void TransferMonitorImpl::Report(const std::string& transferId, TransferMonitorCallback& callback) {
  const TransferStatus status = service.GetStatus(transferId);
  if (IsTransferFinished(status)) {
    Unmonitor(transferId);
    callback.OnFinished(status);
  } else if (status.state == TransferState::Initialized) {
    Unmonitor(transferId);
    callback.OnInitialized(status);
    if (status.error != TransferError::None) callback.OnError(status);
  } else if (status.error != TransferError::None) {
    Unmonitor(transferId);
    callback.OnError(status);
  } else {
    callback.OnProgress(status);
  }
}

}  // namespace ombrix
