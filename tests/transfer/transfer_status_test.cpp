#include "transfer/transfer_status_impl.h"

#include <gtest/gtest.h>

#include <barrier>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "manifest/package_manifest.h"

namespace ombrix {
namespace {

TEST(TransferStatus, NamedStatusesCarryPlaceholders) {
  const TransferStatus fresh = TransferStatus::Fresh("id1", TransferState::Initializing);
  EXPECT_EQ(fresh.transferId, "id1");
  for (const auto* text : {&fresh.partnerId, &fresh.packageId, &fresh.versionId, &fresh.destPath}) {
    EXPECT_EQ(*text, "?");
  }
  EXPECT_EQ(fresh.state, TransferState::Initializing);
  EXPECT_EQ(fresh.error, TransferError::None);
  EXPECT_FALSE(fresh.retryable);
  EXPECT_EQ(fresh.secondsRemaining, -1);

  const TransferStatus failed = TransferStatus::CreationFailed();
  EXPECT_EQ(failed.transferId, "");
  EXPECT_EQ(failed.packageId, "?");
  EXPECT_EQ(failed.state, TransferState::Unknown);
  EXPECT_EQ(failed.error, TransferError::Internal);
  EXPECT_TRUE(IsTransferFinished(failed));
}

TEST(TransferState, FinishedWhenEndedOrFailedBeyondRetry) {
  struct Row {
    TransferState state;
    TransferError error;
    bool retryable;
    bool finished;
  };
  const std::vector<Row> rows = {
      {TransferState::Unknown, TransferError::None, false, true},
      {TransferState::Initializing, TransferError::None, false, false},
      {TransferState::InitializingPaused, TransferError::None, false, false},
      {TransferState::Initialized, TransferError::None, false, false},
      {TransferState::Transferring, TransferError::None, false, false},
      {TransferState::TransferringPaused, TransferError::None, false, false},
      {TransferState::Suspended, TransferError::None, false, true},
      {TransferState::Complete, TransferError::None, false, true},
      {TransferState::Canceled, TransferError::None, false, true},
      {TransferState::Transferring, TransferError::Network, true, false},
      {TransferState::Transferring, TransferError::Network, false, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsTransferFinished(row.state, row.error, row.retryable), row.finished)
        << static_cast<int>(row.state) << " " << static_cast<int>(row.error) << " " << row.retryable;
  }
}

// A package of files with the given sizes.
class SizedPackage : public PackageManifest {
 public:
  SizedPackage(std::string run, const std::vector<std::uint64_t>& sizes) : run_(std::move(run)) {
    for (const std::uint64_t size : sizes) {
      files_.push_back(std::make_shared<StandardFileManifest>("f" + std::to_string(files_.size()), 1u << 20, size,
                                                              std::vector<std::uint32_t>{}));
    }
  }
  void Read(const boost::property_tree::ptree&) override {}
  const std::string& GetId() const override { return empty_; }
  const std::string& GetName() const override { return empty_; }
  const std::string& GetPartnerId() const override { return empty_; }
  const std::string& GetVersionId() const override { return empty_; }
  bool IsActive() const override { return true; }
  const Files& GetFiles() const override { return files_; }
  const Files& GetRunFiles() const override { return noFiles_; }
  const Files& GetOtherFiles() const override { return files_; }
  const std::string& GetRun() const override { return run_; }
  std::shared_ptr<const FileManifest> GetRunFile() const override { return nullptr; }
  bool IsAllowed(const std::string&) const override { return true; }

 private:
  std::string run_;
  std::string empty_;
  Files files_;
  Files noFiles_;
};

// Rate window 10 s, refresh interval 500 ms, time driven by hand.
class TransferStatusImplTest : public ::testing::Test {
 protected:
  static constexpr std::uint64_t kStep = 65536;  // bytes per second of the steady download

  TransferStatusImplTest() {
    params.transferId = "t1";
    params.packageId = "pkg";
  }

  // One second of steady downloading: kStep bytes received and placed, then a read.
  TransferStatus DownloadOneSecond() {
    clock.Advance(1000);
    status.AddDownloadedBytes(kStep);
    status.AddTransferredBytes(kStep);
    return status.ReadStatus();
  }

  TransferParams params;
  ManualMillisecondClock clock{0xFFFFF000u};  // wraps during the tests
  TransferStatusImpl status{params, TransferState::Initializing, 10, 500, clock};
};

TEST_F(TransferStatusImplTest, ReadsIdentityCountersAndStoredPart) {
  status.SetState(TransferState::Transferring);
  status.AddVerifiedBytes(5);
  status.AddDownloadedBytes(7);
  params.versionId = "42";
  const TransferStatus read = status.ReadStatus();
  EXPECT_EQ(read.transferId, "t1");
  EXPECT_EQ(read.packageId, "pkg");
  EXPECT_EQ(read.versionId, "42");
  EXPECT_EQ(read.destPath, "?");
  EXPECT_EQ(read.state, TransferState::Transferring);
  EXPECT_EQ(read.verifiedBytes, 5u);
  EXPECT_EQ(read.downloadedBytes, 7u);
  EXPECT_EQ(read.bytesPerSecond, 0u);  // a single sample
  EXPECT_EQ(read.secondsRemaining, -1);
}

TEST_F(TransferStatusImplTest, RateSpreadsOverTheWholeWindowUntilItFills) {
  status.SetState(TransferState::Transferring);
  status.ReadStatus();
  status.AddDownloadedBytes(1000000);
  clock.Advance(2000);
  EXPECT_EQ(status.ReadStatus().bytesPerSecond, 100000u);  // 1,000,000 / 10, not / 2
  for (int i = 0; i < 10; ++i) {
    clock.Advance(2000);
    status.AddDownloadedBytes(1000000);
    status.ReadStatus();
  }
  // Only samples younger than the window remain: 4,000,000 bytes over the
  // last 8 s, still spread over the 10 s window.
  EXPECT_EQ(status.ReadStatus().bytesPerSecond, 400000u);
}

TEST_F(TransferStatusImplTest, PeriodicEventResetsItsFiguresButNotTheRate) {
  status.SetState(TransferState::Transferring);
  status.ReadStatus();
  for (int i = 0; i < 12; ++i) DownloadOneSecond();
  EXPECT_EQ(status.GetActiveTime(), 12000u);

  const TransferStatusImpl::PeriodicFigures figures = status.TakePeriodicFigures();
  EXPECT_EQ(figures.activeTime, 12000u);
  EXPECT_EQ(figures.downloadedBytes, 12 * kStep);
  EXPECT_EQ(status.GetActiveTime(), 0u);

  clock.Advance(1000);
  const TransferStatus read = status.ReadStatus();
  EXPECT_EQ(read.downloadedBytes, 0u);
  EXPECT_EQ(read.transferredBytes, 12 * kStep);
  EXPECT_EQ(read.bytesPerSecond, kStep * 8 / 10);  // samples of the last 9 s; none new
  EXPECT_EQ(read.secondsRemaining, -1);             // nothing downloaded in this period
}

TEST_F(TransferStatusImplTest, RemainingWaitsForAWindowThenRefreshesOnInterval) {
  status.SetTotalBytes(100 * kStep);
  status.SetState(TransferState::Transferring);
  EXPECT_EQ(status.ReadStatus().secondsRemaining, -1);  // the first sample
  // Read k has k seconds of active time and k * kStep bytes: the estimate is
  // exactly 100 - k once a window of active time has passed.
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(DownloadOneSecond().secondsRemaining, k < 10 ? -1 : 90) << k;
  }
  clock.Advance(400);
  status.AddDownloadedBytes(kStep);
  EXPECT_EQ(status.ReadStatus().secondsRemaining, 90);  // within the refresh interval
  clock.Advance(100);
  EXPECT_EQ(status.ReadStatus().secondsRemaining, 86);  // ceil(10.5 / (11 * kStep) * 90 * kStep)

  // After a periodic event the estimate starts again from the new period and is
  // not held at the value cached in the previous one.
  status.TakePeriodicFigures();
  for (int k = 1; k < 10; ++k) DownloadOneSecond();
  EXPECT_EQ(DownloadOneSecond().secondsRemaining, 80);  // 10 / (10 * kStep) * 80 * kStep
}

TEST_F(TransferStatusImplTest, PausedTimeDoesNotCountAsActive) {
  status.SetTotalBytes(100 * kStep);
  status.SetState(TransferState::Transferring);
  status.ReadStatus();
  DownloadOneSecond();
  status.SetState(TransferState::TransferringPaused);
  status.ReadStatus();
  clock.Advance(60000);
  status.ReadStatus();
  status.SetState(TransferState::Transferring);
  DownloadOneSecond();
  EXPECT_EQ(status.GetActiveTime(), 1000u);  // the second before the pause only
}

TEST_F(TransferStatusImplTest, RemovalLowersTransferredToZeroAtMostAndNeverDownloaded) {
  status.AddDownloadedBytes(100);
  status.AddTransferredBytes(100);
  status.RemoveTransferredBytes(30);
  EXPECT_EQ(status.ReadStatus().transferredBytes, 70u);
  status.RemoveTransferredBytes(500);
  const TransferStatus read = status.ReadStatus();
  EXPECT_EQ(read.transferredBytes, 0u);
  EXPECT_EQ(read.downloadedBytes, 100u);
}

TEST_F(TransferStatusImplTest, LearnsPackageSizeAndRunAndRefusesAWrappingTotal) {
  EXPECT_TRUE(status.LearnPackage(SizedPackage("bin/app", {10, 0, 32})));
  EXPECT_EQ(status.GetTotalBytes(), 42u);
  EXPECT_EQ(status.ReadStatus().run, "");  // only once complete
  status.SetState(TransferState::Complete);
  EXPECT_EQ(status.ReadStatus().run, "bin/app");

  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  EXPECT_FALSE(status.LearnPackage(SizedPackage("other", {kMax, 1})));
  EXPECT_FALSE(status.LearnPackage(SizedPackage("other", {kMax / 2 + 1, kMax / 2 + 1})));
  EXPECT_EQ(status.GetTotalBytes(), 42u);
  EXPECT_EQ(status.GetRun(), "bin/app");
}

// Two readers at the same moment: the second must see the first's sample, or the
// same interval is counted as active time twice.
TEST_F(TransferStatusImplTest, ConcurrentReadsCountEachIntervalOnce) {
  constexpr int kRounds = 200;
  status.SetState(TransferState::Transferring);
  status.AddDownloadedBytes(1);
  status.ReadStatus();
  std::barrier sync(3);
  auto reader = [&] {
    for (int i = 0; i < kRounds; ++i) {
      sync.arrive_and_wait();  // clock advanced
      status.ReadStatus();
      sync.arrive_and_wait();  // both read
    }
  };
  std::thread first(reader);
  std::thread second(reader);
  for (int i = 0; i < kRounds; ++i) {
    clock.Advance(1000);
    sync.arrive_and_wait();
    sync.arrive_and_wait();
  }
  first.join();
  second.join();
  EXPECT_EQ(status.GetActiveTime(), kRounds * 1000u);
}

}  // namespace
}  // namespace ombrix
