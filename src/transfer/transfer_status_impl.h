// The live status of one transfer: byte counters, rate and time-remaining estimate.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "common/millisecond_clock.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_progress_updater.h"
#include "transfer/transfer_status.h"

namespace ombrix {

class PackageManifest;

// Keeps what a transfer reports about itself.
//
// Threads:
// - The TransferProgressUpdater operations are lock-free and may run on any number
//   of executor threads at once.
// - The stored part (state, error, retryable, run, total bytes) and the params
//   behind the reference are read and written only under the transfer's lock;
//   ReadStatus, LearnPackage, the setters and TakePeriodicFigures are therefore
//   called with that lock held.
// - The rate samples, the cached estimate and the downloaded count's period base
//   are guarded by this object's own mutex; ReadStatus holds it across the
//   estimate and the rate, so two reads never interleave their updates.
//
// Time comes from the injected clock, a 32-bit millisecond counter; every
// interval is a difference in unsigned 32-bit arithmetic and so survives its wrap.
class TransferStatusImpl final : public TransferProgressUpdater {
 public:
  // What a periodic event reports: the active transferring time and the bytes
  // received since the previous event.
  struct PeriodicFigures {
    std::uint64_t activeTime = 0;  // milliseconds
    std::uint64_t downloadedBytes = 0;
  };

  // `params` must outlive this object. `rateWindow` is in seconds (negative
  // counts as 0), `refreshInterval` in milliseconds.
  TransferStatusImpl(const TransferParams& params, TransferState state, std::int32_t rateWindow,
                     std::uint32_t refreshInterval,
                     const MillisecondClock& clock = SteadyMillisecondClock::Instance());

  void AddTransferredBytes(std::uint64_t count) override;
  // Saturates at 0: removing more than was counted leaves 0.
  void RemoveTransferredBytes(std::uint64_t count) override;
  void AddVerifiedBytes(std::uint64_t count) override;
  void AddDownloadedBytes(std::uint64_t count) override;

  TransferState GetState() const { return state_; }
  void SetState(TransferState state) { state_ = state; }
  TransferError GetError() const { return error_; }
  void SetError(TransferError error) { error_ = error; }
  bool IsRetryable() const { return retryable_; }
  void SetRetryable(bool retryable) { retryable_ = retryable; }
  const std::string& GetRun() const { return run_; }
  void SetRun(std::string run) { run_ = std::move(run); }
  std::uint64_t GetTotalBytes() const { return totalBytes_; }
  void SetTotalBytes(std::uint64_t totalBytes) { totalBytes_ = totalBytes; }
  bool IsFinished() const { return IsTransferFinished(state_, error_, retryable_); }

  // The full status: the stored part, the params' texts as they are now, the
  // counters, then SecondsRemaining and BytesPerSecond in that order (the
  // estimate uses the samples up to the previous read). run is empty unless the
  // state is Complete.
  TransferStatus ReadStatus();

  // Takes the package's launch path and total size. Returns false, changing
  // nothing, when the sizes of its files add up beyond 2^64 - 1: such a package
  // cannot be downloaded, and the caller ends the transfer with
  // ContentUnavailable.
  bool LearnPackage(const PackageManifest& package);

  // The recent download rate in bytes per second; while transferring, each call
  // also takes a sample. Before a full rate window has passed the bytes are
  // divided by the whole window, so the rate starts low.
  std::uint64_t BytesPerSecond();
  // Seconds to completion from the active time and the work done so far; -1
  // until there is work done and a rate window of active time. While
  // transferring, recomputed at most once per refresh interval of active time.
  std::int32_t SecondsRemaining();

  // Milliseconds of active transferring since the last periodic event.
  std::uint64_t GetActiveTime() const { return activeTime_.load(std::memory_order_acquire); }
  // Takes the active time and the downloaded count and resets both to 0. The
  // rate is unaffected: it is sampled from the count of every byte ever received.
  PeriodicFigures TakePeriodicFigures();

 private:
  struct Sample {
    std::uint32_t time;
    std::uint64_t downloaded;  // every byte received so far
  };

  std::uint64_t BytesPerSecondLocked();
  std::int32_t SecondsRemainingLocked();
  bool IsTransferringWithoutError() const {
    return state_ == TransferState::Transferring && error_ == TransferError::None;
  }

  // Constant after construction.
  const TransferParams& params_;
  const MillisecondClock& clock_;
  const std::uint64_t rateWindow_;       // seconds
  const std::uint64_t refreshInterval_;  // milliseconds

  // Guarded by the transfer's lock.
  TransferState state_;
  TransferError error_ = TransferError::None;
  bool retryable_ = false;
  std::string run_;
  std::uint64_t totalBytes_ = 0;

  // Lock-free.
  std::atomic<std::uint64_t> transferred_{0};
  std::atomic<std::uint64_t> verified_{0};
  std::atomic<std::uint64_t> downloadedTotal_{0};  // only grows
  std::atomic<std::uint64_t> activeTime_{0};

  // Guarded by mutex_.
  std::mutex mutex_;
  std::uint64_t downloadedAtPeriod_ = 0;  // downloadedTotal_ at the last periodic event
  std::deque<Sample> samples_;            // oldest first
  bool wasTransferring_ = false;
  std::int32_t cachedRemaining_ = -1;
  std::uint64_t activeTimeAtCache_ = 0;
};

}  // namespace ombrix
