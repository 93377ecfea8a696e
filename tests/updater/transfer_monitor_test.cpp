#include "updater/transfer_monitor.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "fake_transfer_contract.h"
#include "support/wait.h"

namespace ombrix {
namespace {

// Answers a fixed status per identifier; "throws" throws on every read.
class FixedStatuses : public test::FakeTransferContract {
 public:
  TransferStatus GetStatus(const std::string& transferId) override {
    std::lock_guard<std::mutex> held(lock);
    if (transferId == "throws") throw std::runtime_error("read failed");
    TransferStatus status = table.at(transferId);
    status.transferId = transferId;
    return status;
  }
  void Set(const std::string& transferId, TransferState state, TransferError error = TransferError::None,
           bool retryable = false) {
    std::lock_guard<std::mutex> held(lock);
    TransferStatus& status = table[transferId];
    status.state = state;
    status.error = error;
    status.retryable = retryable;
  }

 private:
  std::mutex lock;
  std::map<std::string, TransferStatus> table;
};

class Recorder : public TransferMonitorCallback {
 public:
  void OnProgress(const TransferStatus& s) override { Add("progress " + s.transferId); }
  void OnInitialized(const TransferStatus& s) override { Add("initialized " + s.transferId); }
  void OnError(const TransferStatus& s) override { Add("error " + s.transferId); }
  void OnFinished(const TransferStatus& s) override { Add("finished " + s.transferId); }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> held(lock);
    return calls;
  }
  std::size_t Count(const std::string& call) {
    const auto all = Calls();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), call));
  }

 private:
  void Add(std::string call) {
    std::lock_guard<std::mutex> held(lock);
    calls.push_back(std::move(call));
  }
  std::mutex lock;
  std::vector<std::string> calls;
};

// Every report happens once and ends the watch, except progress; a transfer whose
// read throws holds up nobody. "z-running" sorts last and counts the passes.
TEST(TransferMonitor, ReportsEachEndOnceAndKeepsPollingPastFailures) {
  FixedStatuses service;
  service.Set("a-complete", TransferState::Complete);
  service.Set("b-retryable", TransferState::Transferring, TransferError::Network, true);
  service.Set("c-initialized-with-error", TransferState::Initialized, TransferError::Network, true);
  service.Set("d-initialized", TransferState::Initialized);
  service.Set("z-running", TransferState::Transferring);
  Recorder recorder;
  Recorder other;
  TransferMonitorImpl monitor(service, std::chrono::milliseconds(5));
  for (const char* id : {"a-complete", "b-retryable", "c-initialized-with-error", "d-initialized", "throws",
                         "z-running"}) {
    monitor.Monitor(id, recorder);
  }
  monitor.Monitor("z-running", other);  // already watched: keeps its callback
  monitor.Start();
  test::WaitUntil([&] { return recorder.Count("progress z-running") >= 3; });
  monitor.Stop();

  const auto calls = recorder.Calls();
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6),
            (std::vector<std::string>{"finished a-complete", "error b-retryable", "initialized c-initialized-with-error",
                                      "error c-initialized-with-error", "initialized d-initialized",
                                      "progress z-running"}));
  EXPECT_EQ(recorder.Count("progress z-running") + 5, calls.size());
  EXPECT_TRUE(other.Calls().empty());
}

TEST(TransferMonitor, StopsPromptlyWithNothingWatched) {
  FixedStatuses service;
  TransferMonitorImpl monitor(service, std::chrono::hours(1));
  monitor.Start();
  monitor.Stop();  // would hang for the interval if the wait were not woken
}

}  // namespace
}  // namespace ombrix
