// The updater's poller: one thread that reads the status of every watched transfer
// about ten times a second and turns each status into one callback.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "transfer/transfer_contract.h"

namespace ombrix {

// Callbacks run on the monitor's thread and may call Monitor and Unmonitor.
class TransferMonitorCallback {
 public:
  virtual ~TransferMonitorCallback() = default;
  virtual void OnProgress(const TransferStatus& status) = 0;
  virtual void OnInitialized(const TransferStatus& status) = 0;
  virtual void OnError(const TransferStatus& status) = 0;
  virtual void OnFinished(const TransferStatus& status) = 0;
};

// Guarantees: a finished, initialized or failed transfer is reported once and then
// no longer watched; a transfer whose status read or callback throws is read again
// on the next pass without holding up the others; Stop returns within about one
// interval plus the callback in progress.
class TransferMonitorImpl {
 public:
  explicit TransferMonitorImpl(TransferContract& service,
                               std::chrono::milliseconds interval = std::chrono::milliseconds(100));
  ~TransferMonitorImpl();
  TransferMonitorImpl(const TransferMonitorImpl&) = delete;
  TransferMonitorImpl& operator=(const TransferMonitorImpl&) = delete;

  // Starts the polling thread once.
  void Start();
  // Tells the thread to stop, wakes and joins it. Idempotent.
  void Stop();
  // An identifier already watched keeps its callback.
  void Monitor(const std::string& transferId, TransferMonitorCallback& callback);
  void Unmonitor(const std::string& transferId);

 private:
  bool Wait();
  void Poll();
  void Report(const std::string& transferId, TransferMonitorCallback& callback);

  std::mutex lock;
  TransferContract& service;
  const std::chrono::milliseconds interval;
  bool stopRequested = false;
  std::condition_variable wakeup;
  std::thread thread;
  std::map<std::string, TransferMonitorCallback*> watched;
};

}  // namespace ombrix
