// A large mixed tree run on several threads while another thread pauses, resumes
// and retries at random. Random choices come from a seeded generator; the checks
// are invariants, never timings.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <thread>

#include "work/asio_work_manager.h"
#include "work/lazy_parallel_work.h"
#include "work/limited_retry_sequential_work.h"
#include "work/limited_retry_simple_work.h"
#include "work/parallel_work.h"
#include "work/sequential_work.h"
#include "work/standard_workflow.h"
#include "work/test_works.h"
#include "work/work_status_data.h"

namespace ombrix {
namespace {

constexpr std::uint32_t kMaximumRunning = 3;

// Shared counters of the whole run.
struct Observed {
  std::atomic<int> executing{0};
  std::atomic<int> maxExecuting{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> successes{0};
  std::atomic<int> interrupted{0};
};

// A leaf that fails transiently a planned number of times (some within its in-place
// retry budget, some beyond it, which stops the workflow until Retry), and may be
// stopped half-way.
class StressLeaf : public LimitedRetrySimpleWork {
 public:
  StressLeaf(Observed& observed, int transientFailures, int spin)
      : LimitedRetrySimpleWork(2), observed_(observed), failuresLeft_(transientFailures), spin_(spin) {}

  WorkStatus ExecuteTask() override {
    if (inTask_.exchange(true)) ++observed_.overlaps;
    const int now = ++observed_.executing;
    int seen = observed_.maxExecuting.load();
    while (now > seen && !observed_.maxExecuting.compare_exchange_weak(seen, now)) {
    }
    WorkStatus status = Attempt();
    --observed_.executing;
    inTask_.store(false);
    return status;
  }
  void Interrupt() override {}

  std::atomic<int> successes{0};

 private:
  WorkStatus Attempt() {
    for (int i = 0; i < spin_; ++i) {
      if (IsStopRequested()) {
        ++observed_.interrupted;
        return WorkStatus(WorkResult::Interrupted);
      }
      std::this_thread::yield();
    }
    if (failuresLeft_ > 0) {
      --failuresLeft_;
      return WorkStatus(WorkResult::RetryableError);
    }
    ++successes;
    ++observed_.successes;
    return WorkStatus(WorkResult::Success);
  }

  Observed& observed_;
  std::atomic<bool> inTask_{false};
  int failuresLeft_;  // only touched by the (single) running task
  const int spin_;
};

class StressLazyWork : public LazyParallelWork {
 public:
  StressLazyWork(std::uint32_t capacity, std::vector<std::shared_ptr<Work>> children)
      : LazyParallelWork(capacity), children_(std::move(children)) {}

  std::shared_ptr<Work> CreateNextChild() override {
    const std::uint32_t index = GetCreatedCount();
    return index < children_.size() ? children_[index] : nullptr;
  }

 private:
  std::vector<std::shared_ptr<Work>> children_;
};

// A first child that fails (Failure) a few times, restarting its limited-retry
// sequence, before it succeeds.
class RestartingLeaf : public SimpleWork {
 public:
  RestartingLeaf(Observed& observed, int failures) : observed_(observed), failuresLeft_(failures) {}

  WorkStatus ExecuteTask() override {
    if (inTask_.exchange(true)) ++observed_.overlaps;
    WorkStatus status(WorkResult::Success);
    if (failuresLeft_ > 0) {
      --failuresLeft_;
      status = WorkStatus(WorkResult::Failure);
    } else {
      ++successes;
    }
    inTask_.store(false);
    return status;
  }
  void Interrupt() override {}

  std::atomic<int> successes{0};

 private:
  Observed& observed_;
  std::atomic<bool> inTask_{false};
  int failuresLeft_;
};

class TreeBuilder {
 public:
  TreeBuilder(Observed& observed, std::uint32_t seed) : observed_(observed), random_(seed) {}

  std::shared_ptr<Work> Leaf() {
    const int roll = Uniform(0, 99);
    const int failures = roll < 80 ? 0 : roll < 95 ? Uniform(1, 2) : Uniform(3, 5);
    auto leaf = std::make_shared<StressLeaf>(observed_, failures, Uniform(0, 3));
    leaves.push_back(leaf);
    return leaf;
  }

  // A subtree of roughly `budget` leaves.
  std::shared_ptr<Work> Subtree(int budget, int depth) {
    if (budget <= 1 || depth >= 4) return Leaf();
    const int parts = std::min(budget, Uniform(2, 12));
    std::vector<std::shared_ptr<Work>> children;
    for (int i = 0; i < parts; ++i) children.push_back(Subtree(budget / parts, depth + 1));
    switch (Uniform(0, 3)) {
      case 0: {
        auto parallel = std::make_shared<ParallelWork>();
        for (auto& child : children) parallel->AddChild(child);
        return parallel;
      }
      case 1:
        return std::make_shared<StressLazyWork>(Uniform(1, 4), std::move(children));
      case 2: {
        auto sequence = std::make_shared<SequentialWork>();
        for (auto& child : children) sequence->AddChild(child);
        return sequence;
      }
      default: {
        auto sequence = std::make_shared<LimitedRetrySequentialWork>(3);
        auto first = std::make_shared<RestartingLeaf>(observed_, Uniform(0, 3));
        restarting.push_back(first);
        sequence->AddChild(first);
        for (auto& child : children) sequence->AddChild(child);
        return sequence;
      }
    }
  }

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  std::mt19937& random() { return random_; }

  std::vector<std::shared_ptr<StressLeaf>> leaves;
  std::vector<std::shared_ptr<RestartingLeaf>> restarting;

 private:
  Observed& observed_;
  std::mt19937 random_;
};

TEST(WorkflowStress, MixedTreeCompletesWithEveryLeafSucceedingOnce) {
  Observed observed;
  TreeBuilder builder(observed, 20261209);
  auto root = std::make_shared<ParallelWork>();
  while (builder.leaves.size() < 3000) root->AddChild(builder.Subtree(400, 0));

  test::CompletionRecorder rootDone;
  root->AddCompleteCallback(&rootDone);
  AsioWorkManager executor(4, false);
  auto workflow = StandardWorkflow::Create(root, executor, kMaximumRunning);
  std::atomic<int> retryableErrors{0};
  struct : WorkflowRetryableErrorCallback {
    std::atomic<int>* count;
    void OnWorkflowRetryableError(const std::shared_ptr<Workflow>&, const std::shared_ptr<Work>&,
                                  const WorkStatus&) override {
      ++*count;
    }
  } onRetryable;
  onRetryable.count = &retryableErrors;
  workflow->AddRetryableErrorCallback(&onRetryable);

  int pauses = 0;
  std::thread controller([&, random = std::mt19937(7)]() mutable {
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    ASSERT_TRUE(workflow->Start());
    while (rootDone.Count() == 0) {
      for (int i = uniform(0, 3); i > 0; --i) {
        switch (uniform(0, 2)) {
          case 0: pauses += workflow->Pause() ? 1 : 0; break;
          case 1: workflow->Resume(); break;
          default: workflow->Retry(); break;
        }
        for (int spin = uniform(0, 20); spin > 0; --spin) std::this_thread::yield();
      }
      // Back to Running (or waiting for a retry that came in meanwhile).
      workflow->Resume();
      workflow->Retry();
      workflow->Resume();
      const int target = observed.successes + uniform(1, 15);
      ASSERT_TRUE(test::WaitUntil([&] {
        return observed.successes >= target || rootDone.Count() != 0 || workflow->IsWaitingRetry();
      })) << "no progress; state " << static_cast<int>(workflow->GetState());
    }
  });
  controller.join();

  ASSERT_EQ(rootDone.Count(), 1u);
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Success);
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
  ASSERT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
  EXPECT_EQ(workflow->GetQueuedCount(), 0u);
  EXPECT_EQ(observed.overlaps, 0);
  EXPECT_LE(observed.maxExecuting, static_cast<int>(kMaximumRunning));
  for (const auto& leaf : builder.leaves) ASSERT_EQ(leaf->successes, 1);
  for (const auto& leaf : builder.restarting) ASSERT_EQ(leaf->successes, 1);
  EXPECT_EQ(observed.successes, static_cast<int>(builder.leaves.size()));
  // How much of the machinery the interleaving exercised (not asserted: it depends
  // on thread timing).
  std::cout << builder.leaves.size() << " leaves, " << builder.restarting.size()
            << " restarting sequences, " << pauses << " pauses, " << observed.interrupted
            << " tasks interrupted, " << retryableErrors << " retryable errors, at most "
            << observed.maxExecuting << " running\n";
}

TEST(WorkflowStress, CancelMidRunStopsEverythingAndDeliversTheCallersStatus) {
  for (std::uint32_t seed = 1; seed <= 5; ++seed) {
    Observed observed;
    TreeBuilder builder(observed, seed);
    auto root = std::make_shared<ParallelWork>();
    while (builder.leaves.size() < 600) root->AddChild(builder.Subtree(100, 0));
    test::CompletionRecorder rootDone;
    root->AddCompleteCallback(&rootDone);
    AsioWorkManager executor(4, false);
    auto workflow = StandardWorkflow::Create(root, executor, kMaximumRunning);
    ASSERT_TRUE(workflow->Start());
    const int cancelAfter = std::uniform_int_distribution<int>(0, 300)(builder.random());
    ASSERT_TRUE(test::WaitUntil([&] {
      if (workflow->IsWaitingRetry()) workflow->Retry();
      return observed.successes >= cancelAfter || rootDone.Count() != 0;
    }));
    const WorkStatus cancelled(WorkResult::Error, std::make_shared<WorkErrorData>("cancelled"));
    ASSERT_TRUE(workflow->Cancel(cancelled));
    ASSERT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
    const int successesAtRest = observed.successes;
    const std::size_t queuedAtRest = workflow->GetQueuedCount();
    EXPECT_FALSE(workflow->Resume());
    EXPECT_FALSE(workflow->Retry());
    EXPECT_EQ(workflow->GetRunningCount(), 0u);
    EXPECT_EQ(workflow->GetQueuedCount(), queuedAtRest);
    EXPECT_EQ(observed.successes, successesAtRest);
    EXPECT_EQ(observed.overlaps, 0);
    EXPECT_LE(observed.maxExecuting, static_cast<int>(kMaximumRunning));
    for (const auto& leaf : builder.leaves) ASSERT_LE(leaf->successes, 1) << seed;
    int cancelStatuses = 0;
    for (const auto& entry : rootDone.Entries()) cancelStatuses += entry.status.data == cancelled.data;
    EXPECT_EQ(cancelStatuses, 1) << seed;
  }
}

}  // namespace
}  // namespace ombrix
