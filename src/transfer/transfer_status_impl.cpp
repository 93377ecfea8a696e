#include "transfer/transfer_status_impl.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "manifest/package_manifest.h"

namespace ombrix {

TransferStatusImpl::TransferStatusImpl(const TransferParams& params, TransferState state,
                                       std::int32_t rateWindow, std::uint32_t refreshInterval,
                                       const MillisecondClock& clock)
    : params_(params),
      clock_(clock),
      rateWindow_(static_cast<std::uint64_t>(std::max<std::int32_t>(rateWindow, 0))),
      refreshInterval_(refreshInterval),
      state_(state) {}

void TransferStatusImpl::AddTransferredBytes(std::uint64_t count) {
  transferred_.fetch_add(count, std::memory_order_relaxed);
}

void TransferStatusImpl::RemoveTransferredBytes(std::uint64_t count) {
  std::uint64_t current = transferred_.load(std::memory_order_relaxed);
  while (!transferred_.compare_exchange_weak(current, current > count ? current - count : 0,
                                             std::memory_order_relaxed)) {
  }
}

void TransferStatusImpl::AddVerifiedBytes(std::uint64_t count) {
  verified_.fetch_add(count, std::memory_order_relaxed);
}

void TransferStatusImpl::AddDownloadedBytes(std::uint64_t count) {
  downloadedTotal_.fetch_add(count, std::memory_order_relaxed);
}

TransferStatus TransferStatusImpl::ReadStatus() {
  TransferStatus status;
  status.transferId = params_.transferId;
  status.partnerId = params_.partnerId;
  status.packageId = params_.packageId;
  status.versionId = params_.versionId;
  status.destPath = params_.destPath;
  status.state = state_;
  status.error = error_;
  status.retryable = retryable_;
  if (state_ == TransferState::Complete) status.run = run_;
  status.transferredBytes = transferred_.load(std::memory_order_relaxed);
  status.verifiedBytes = verified_.load(std::memory_order_relaxed);
  status.totalBytes = totalBytes_;

  std::lock_guard<std::mutex> lock(mutex_);
  status.downloadedBytes = downloadedTotal_.load(std::memory_order_relaxed) - downloadedAtPeriod_;
  status.secondsRemaining = SecondsRemainingLocked();
  status.bytesPerSecond = BytesPerSecondLocked();
  return status;
}

bool TransferStatusImpl::LearnPackage(const PackageManifest& package) {
  const std::optional<std::uint64_t> total = DistinctSize(package);
  if (!total) return false;
  run_ = package.GetRun();
  totalBytes_ = *total;
  return true;
}

std::uint64_t TransferStatusImpl::BytesPerSecond() {
  std::lock_guard<std::mutex> lock(mutex_);
  return BytesPerSecondLocked();
}

std::int32_t TransferStatusImpl::SecondsRemaining() {
  std::lock_guard<std::mutex> lock(mutex_);
  return SecondsRemainingLocked();
}

TransferStatusImpl::PeriodicFigures TransferStatusImpl::TakePeriodicFigures() {
  std::lock_guard<std::mutex> lock(mutex_);
  PeriodicFigures figures;
  figures.activeTime = activeTime_.exchange(0, std::memory_order_acq_rel);
  const std::uint64_t downloaded = downloadedTotal_.load(std::memory_order_relaxed);
  figures.downloadedBytes = downloaded - downloadedAtPeriod_;
  downloadedAtPeriod_ = downloaded;
  // The cache is keyed by active time, which just went back to 0: without this
  // the estimate would stay frozen until the active time passed its old value.
  activeTimeAtCache_ = 0;
  return figures;
}

std::uint64_t TransferStatusImpl::BytesPerSecondLocked() {
  if (!IsFinished() &&
      (state_ == TransferState::Transferring || state_ == TransferState::TransferringPaused)) {
    const std::uint32_t now = clock_.Now();
    // Sampled from the count that only grows, so that a periodic event does not
    // make the newest sample smaller than the older ones.
    samples_.push_back({now, downloadedTotal_.load(std::memory_order_relaxed)});
    while (samples_.size() > 2 &&
           static_cast<std::uint32_t>(now - samples_.front().time) / 1000 >= rateWindow_) {
      samples_.pop_front();
    }
    wasTransferring_ = IsTransferringWithoutError();
  }
  if (samples_.size() < 2) return 0;
  const Sample& oldest = samples_.front();
  const Sample& newest = samples_.back();
  const std::uint64_t bytes =
      newest.downloaded > oldest.downloaded ? newest.downloaded - oldest.downloaded : 0;
  const std::uint64_t seconds = static_cast<std::uint32_t>(newest.time - oldest.time) / 1000;
  std::uint64_t divisor = seconds >= rateWindow_ ? seconds : rateWindow_;
  if (divisor == 0) divisor = 1;
  return bytes / divisor;
}

std::int32_t TransferStatusImpl::SecondsRemainingLocked() {
  std::uint64_t done = 0;
  if (params_.progressBasis == TransferParams::kProgressDownloaded) {
    done = downloadedTotal_.load(std::memory_order_relaxed) - downloadedAtPeriod_;
  } else if (params_.progressBasis == TransferParams::kProgressVerified) {
    done = verified_.load(std::memory_order_relaxed);
  }
  const std::uint64_t transferred = transferred_.load(std::memory_order_relaxed);
  const std::uint64_t remaining = totalBytes_ > transferred ? totalBytes_ - transferred : 0;

  std::uint64_t activeTime = activeTime_.load(std::memory_order_acquire);
  if (done != 0 && IsTransferringWithoutError() && !samples_.empty() && wasTransferring_) {
    const std::uint32_t elapsed = clock_.Now() - samples_.back().time;
    activeTime = activeTime_.fetch_add(elapsed, std::memory_order_acq_rel) + elapsed;
  }
  if (done == 0 || activeTime < rateWindow_ * 1000) return -1;
  if (IsTransferringWithoutError() && activeTime < activeTimeAtCache_ + refreshInterval_) {
    return cachedRemaining_;
  }
  const double seconds = std::ceil(static_cast<double>(activeTime) /
                                   (static_cast<double>(done) * 1000.0) *
                                   static_cast<double>(remaining));
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  cachedRemaining_ = seconds >= kMax ? std::numeric_limits<std::int32_t>::max()
                                     : static_cast<std::int32_t>(seconds);
  activeTimeAtCache_ = activeTime;
  return cachedRemaining_;
}

}  // namespace ombrix
