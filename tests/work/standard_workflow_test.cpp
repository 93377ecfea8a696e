// The workflow: dispatch order and limit, run-state table, re-queuing, callbacks.
#include <gtest/gtest.h>

#include <set>

#include "work/asio_work_manager.h"
#include "work/conditional_work.h"
#include "work/no_op_work.h"
#include "work/limited_retry_sequential_work.h"
#include "work/parallel_work.h"
#include "work/sequential_work.h"
#include "work/standard_workflow.h"
#include "work/work_status_data.h"
#include "work/test_works.h"

namespace ombrix {
namespace {

using test::CompletionRecorder;
using test::GateWork;
using test::RecordingWorkManager;
using test::Signal;
using test::TaskWork;

struct RetryableErrorLog : WorkflowRetryableErrorCallback {
  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow,
                                const std::shared_ptr<Work>& work, const WorkStatus& status) override {
    // Called without the workflow's lock: calling back in must not block.
    stateSeen = workflow->GetState();
    std::lock_guard lock(mutex);
    works.push_back(work);
    statuses.push_back(status);
  }
  std::size_t Count() {
    std::lock_guard lock(mutex);
    return works.size();
  }
  std::mutex mutex;
  std::vector<std::shared_ptr<Work>> works;
  std::vector<WorkStatus> statuses;
  std::atomic<WorkflowState> stateSeen{WorkflowState::NotStarted};
};

class StandardWorkflowTest : public ::testing::Test {
 protected:
  ~StandardWorkflowTest() override {
    if (workflow) workflow->Cancel(WorkStatus(WorkResult::Interrupted));
  }

  std::shared_ptr<StandardWorkflow> Build(const std::shared_ptr<Work>& root, std::uint32_t maximumRunning) {
    root->AddCompleteCallback(&rootDone);
    workflow = StandardWorkflow::Create(root, recording, maximumRunning);
    workflow->AddRetryableErrorCallback(&retryLog);
    return workflow;
  }
  bool WaitIdle() {
    return test::WaitUntil([&] { return workflow->GetRunningCount() == 0; });
  }

  CompletionRecorder rootDone;
  RetryableErrorLog retryLog;
  AsioWorkManager executor{3, false};
  RecordingWorkManager recording{executor};
  std::shared_ptr<StandardWorkflow> workflow;
};

TEST_F(StandardWorkflowTest, StartsOnceAndReportsItsState) {
  auto root = std::make_shared<GateWork>();
  Build(root, 2);
  EXPECT_FALSE(workflow->IsStarted());
  EXPECT_FALSE(workflow->Pause());
  EXPECT_FALSE(workflow->Resume());
  EXPECT_FALSE(workflow->Retry());
  EXPECT_TRUE(workflow->Start());
  EXPECT_FALSE(workflow->Start());
  EXPECT_TRUE(workflow->IsStarted());
  EXPECT_EQ(workflow->GetState(), WorkflowState::Running);
  EXPECT_FALSE(workflow->Resume());
  EXPECT_FALSE(workflow->Retry());
  root->Open();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_TRUE(workflow->IsFinished());
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
  EXPECT_FALSE(workflow->Pause());
}

TEST_F(StandardWorkflowTest, StartThatThrowsLeavesNothingQueuedAndRefusesAnotherStart) {
  auto parallel = std::make_shared<ParallelWork>();
  auto first = TaskWork::Returning(WorkResult::Success);
  auto conditional = std::make_shared<ConditionalWork>();
  conditional->SetCondition(NoOpWork::Create());
  conditional->SetOnSuccess(NoOpWork::Create());
  parallel->AddChild(first);
  parallel->AddChild(conditional);
  Build(parallel, 2);
  // The first child is queued before the incomplete conditional throws.
  EXPECT_THROW(workflow->Start(), std::logic_error);
  EXPECT_EQ(workflow->GetState(), WorkflowState::NotStarted);
  EXPECT_EQ(workflow->GetQueuedCount(), 0u);
  // The half-queued tree cannot run again, even once it is complete.
  conditional->SetOnFailure(NoOpWork::Create());
  try {
    workflow->Start();
    FAIL() << "started again";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "StandardWorkflow::Start called again after a failed Start");
  }
  EXPECT_EQ(first->attempts, 0);
  EXPECT_TRUE(workflow->Cancel(WorkStatus(WorkResult::Interrupted)));
  ASSERT_EQ(rootDone.Count(), 1u);
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Interrupted);
}

TEST_F(StandardWorkflowTest, PostsAtMostTheMaximumInPathOrder) {
  auto parallel = std::make_shared<ParallelWork>();
  std::vector<std::shared_ptr<GateWork>> gates;
  for (int i = 0; i < 5; ++i) {
    gates.push_back(std::make_shared<GateWork>());
    parallel->AddChild(gates.back());
  }
  Build(parallel, 2);
  workflow->Start();
  ASSERT_TRUE(gates[0]->WaitEntered(1));
  ASSERT_TRUE(gates[1]->WaitEntered(1));
  EXPECT_EQ(recording.Posted(), (std::vector<WorkPath>{{0}, {1}}));
  EXPECT_EQ(workflow->GetQueuedCount(), 3u);
  gates[1]->Open();
  ASSERT_TRUE(gates[2]->WaitEntered(1));
  EXPECT_EQ(workflow->GetRunningCount(), 2u);
  for (int i : {0, 2, 3, 4}) {
    ASSERT_TRUE(gates[i]->WaitEntered(1));
    gates[i]->Open();
  }
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(recording.Posted(), (std::vector<WorkPath>{{0}, {1}, {2}, {3}, {4}}));
}

TEST_F(StandardWorkflowTest, ZeroMaximumStillRunsOneLeafAtATime) {
  auto parallel = std::make_shared<ParallelWork>();
  parallel->AddChild(TaskWork::Returning(WorkResult::Success));
  parallel->AddChild(TaskWork::Returning(WorkResult::Success));
  Build(parallel, 0);
  EXPECT_EQ(workflow->GetMaximumRunning(), 1u);
  workflow->Start();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Success);
}

TEST_F(StandardWorkflowTest, PauseInterruptsRunningLeavesAndResumeRunsThemAgain) {
  auto parallel = std::make_shared<ParallelWork>();
  auto first = std::make_shared<GateWork>();
  auto second = std::make_shared<GateWork>();
  parallel->AddChild(first);
  parallel->AddChild(second);
  Build(parallel, 2);
  workflow->Start();
  ASSERT_TRUE(first->WaitEntered(1));
  ASSERT_TRUE(second->WaitEntered(1));
  EXPECT_TRUE(workflow->Pause());
  EXPECT_FALSE(workflow->Pause());
  EXPECT_TRUE(workflow->IsPaused());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(workflow->GetQueuedCount(), 2u);
  EXPECT_EQ(recording.Posted().size(), 2u);
  EXPECT_TRUE(first->IsStopRequested() == false);  // queuing again resets the leaf
  EXPECT_TRUE(workflow->Resume());
  ASSERT_TRUE(first->WaitEntered(2));
  ASSERT_TRUE(second->WaitEntered(2));
  first->Open();
  second->Open();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Success);
  EXPECT_EQ(recording.Posted(), (std::vector<WorkPath>{{0}, {1}, {0}, {1}}));
}

TEST_F(StandardWorkflowTest, RetryableErrorWaitsForRetryAndCallsEachCallbackOnce) {
  auto flaky = TaskWork::Create([](TaskWork& self) {
    return WorkStatus(self.attempts == 1 ? WorkResult::RetryableError : WorkResult::Success,
                      std::make_shared<WorkErrorData>("network"));
  });
  auto sequence = std::make_shared<SequentialWork>();
  sequence->AddChild(flaky);
  Build(sequence, 2);
  RetryableErrorLog second;
  workflow->AddRetryableErrorCallback(&second);
  workflow->Start();
  ASSERT_TRUE(test::WaitUntil([&] { return second.Count() == 1; }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(workflow->GetState(), WorkflowState::WaitingRetry);
  EXPECT_EQ(retryLog.stateSeen, WorkflowState::WaitingRetry);
  ASSERT_EQ(retryLog.Count(), 1u);
  EXPECT_EQ(retryLog.works[0], flaky);
  EXPECT_EQ(retryLog.statuses[0].data->GetMessage(), "network");
  EXPECT_FALSE(retryLog.statuses[0].retry);
  EXPECT_EQ(workflow->GetQueuedCount(), 1u);
  EXPECT_EQ(rootDone.Count(), 0u);  // composites let a retryable leaf run again

  EXPECT_TRUE(workflow->Retry());
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Success);
  EXPECT_EQ(flaky->attempts, 2);
}

TEST_F(StandardWorkflowTest, SecondRetryableErrorWhileWaitingCallsNoCallback) {
  Signal release;
  auto fast = TaskWork::Returning(WorkResult::RetryableError);
  // Ignores its stop flag, so it reports its own retryable error later.
  auto stubborn = TaskWork::Create([&](TaskWork&) {
    release.Wait();
    return WorkStatus(WorkResult::RetryableError);
  });
  auto parallel = std::make_shared<ParallelWork>();
  parallel->AddChild(stubborn);
  parallel->AddChild(fast);
  Build(parallel, 2);
  workflow->Start();
  ASSERT_TRUE(test::WaitUntil([&] { return retryLog.Count() == 1; }));
  EXPECT_EQ(stubborn->interrupts, 1);
  release.Notify();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(retryLog.Count(), 1u);
  EXPECT_EQ(workflow->GetQueuedCount(), 2u);
}

TEST_F(StandardWorkflowTest, RunStateTableAcrossPauseAndRetry) {
  Signal release;
  auto stubborn = TaskWork::Create([&](TaskWork& self) {
    if (self.attempts == 1) release.Wait();
    return WorkStatus(self.attempts == 1 ? WorkResult::RetryableError : WorkResult::Success);
  });
  Build(stubborn, 1);
  workflow->Start();
  ASSERT_TRUE(test::WaitUntil([&] { return stubborn->attempts == 1; }));
  EXPECT_TRUE(workflow->Pause());
  EXPECT_EQ(workflow->GetState(), WorkflowState::Paused);
  release.Notify();  // a retryable error arrives while paused
  ASSERT_TRUE(test::WaitUntil([&] { return retryLog.Count() == 1; }));
  EXPECT_EQ(workflow->GetState(), WorkflowState::PausedWaitingRetry);
  EXPECT_TRUE(workflow->IsPaused());
  EXPECT_TRUE(workflow->IsWaitingRetry());
  EXPECT_TRUE(workflow->Resume());
  EXPECT_EQ(workflow->GetState(), WorkflowState::WaitingRetry);
  EXPECT_FALSE(workflow->Resume());
  EXPECT_TRUE(workflow->Pause());
  EXPECT_EQ(workflow->GetState(), WorkflowState::PausedWaitingRetry);
  EXPECT_TRUE(workflow->Retry());
  EXPECT_EQ(workflow->GetState(), WorkflowState::Paused);
  EXPECT_FALSE(workflow->Retry());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(stubborn->attempts, 1);  // nothing runs while paused
  EXPECT_TRUE(workflow->Resume());
  // The root is the leaf itself: its callbacks saw the retryable error too.
  ASSERT_TRUE(rootDone.WaitCount(2));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::RetryableError);
  EXPECT_EQ(rootDone.Entries()[1].status.result, WorkResult::Success);
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
}

TEST_F(StandardWorkflowTest, ErrorDeepInTheTreeFinishesAndStopsEverything) {
  auto blocked = std::make_shared<GateWork>();
  auto sibling = std::make_shared<GateWork>();
  auto inner = std::make_shared<ParallelWork>();
  inner->AddChild(blocked);
  inner->AddChild(TaskWork::Create([&](TaskWork&) -> WorkStatus {
    EXPECT_TRUE(blocked->WaitEntered(1));
    throw std::runtime_error("corrupt");
  }));
  auto sequence = std::make_shared<SequentialWork>();
  sequence->AddChild(inner);
  auto root = std::make_shared<ParallelWork>();
  root->AddChild(sequence);
  root->AddChild(sibling);
  Build(root, 3);
  workflow->Start();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Error);
  EXPECT_EQ(rootDone.Entries()[0].status.data->GetMessage(), "std::runtime_error");
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(workflow->GetQueuedCount(), 0u);
  EXPECT_EQ(blocked->interrupts + sibling->interrupts, 2);
  EXPECT_EQ(rootDone.Count(), 1u);
}

TEST_F(StandardWorkflowTest, ThrowingCompletionCallbackStillLetsTheTreeAdvance) {
  WorkCompleteCallbackRoute empty{WorkCompleteCallbackRoute::Function()};  // throws when called
  auto first = TaskWork::Returning(WorkResult::Success);
  auto second = TaskWork::Returning(WorkResult::Success);
  first->AddCompleteCallback(&empty);
  auto sequence = std::make_shared<SequentialWork>();
  sequence->AddChild(first);
  sequence->AddChild(second);
  Build(sequence, 1);
  workflow->Start();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Success);
  EXPECT_EQ(second->attempts, 1);
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
}

TEST_F(StandardWorkflowTest, NextChildThatCannotBeQueuedEndsTheRunWithError) {
  auto incomplete = std::make_shared<ConditionalWork>();
  incomplete->SetCondition(NoOpWork::Create());
  auto sequence = std::make_shared<SequentialWork>();
  sequence->AddChild(TaskWork::Returning(WorkResult::Success));
  sequence->AddChild(incomplete);
  Build(sequence, 1);
  workflow->Start();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Error);
  EXPECT_EQ(rootDone.Entries()[0].status.data->GetMessage(), "std::logic_error");
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
}

TEST_F(StandardWorkflowTest, CancelDeliversTheCallersStatusOnce) {
  auto gate = std::make_shared<GateWork>();
  auto parallel = std::make_shared<ParallelWork>();
  parallel->AddChild(gate);
  parallel->AddChild(std::make_shared<GateWork>());
  Build(parallel, 1);
  workflow->Start();
  ASSERT_TRUE(gate->WaitEntered(1));
  const WorkStatus cancelled(WorkResult::Failure, std::make_shared<WorkErrorData>("user cancelled"));
  EXPECT_TRUE(workflow->Cancel(cancelled));
  EXPECT_FALSE(workflow->Cancel(WorkStatus(WorkResult::Error)));
  ASSERT_EQ(rootDone.Count(), 1u);
  EXPECT_EQ(rootDone.Entries()[0].status.data->GetMessage(), "user cancelled");
  EXPECT_EQ(rootDone.Entries()[0].work, parallel);
  EXPECT_EQ(workflow->GetState(), WorkflowState::Cancelled);
  EXPECT_TRUE(workflow->IsFinished());
  ASSERT_TRUE(WaitIdle());
  // The interrupted leaf is not queued again; the one still waiting is never posted.
  EXPECT_EQ(workflow->GetQueuedCount(), 1u);
  EXPECT_EQ(recording.Posted().size(), 1u);
  EXPECT_FALSE(workflow->Resume());
}

TEST_F(StandardWorkflowTest, CancelBeforeStartStillNotifiesTheRoot) {
  Build(TaskWork::Returning(WorkResult::Success), 1);
  EXPECT_TRUE(workflow->Cancel(WorkStatus(WorkResult::Interrupted)));
  EXPECT_EQ(rootDone.Count(), 1u);
  EXPECT_FALSE(workflow->Start());
}

// Runs leaves as the executor does, but can hold a leaf between its completion and
// the report to the workflow, and counts leaves posted again while still held.
class SteppedWorkManager : public WorkManager {
 public:
  explicit SteppedWorkManager(WorkManager& target) : target_(target) {}

  void Post(std::function<void()> function) override { target_.Post(std::move(function)); }
  void RunDetached(std::shared_ptr<SimpleWork> work) override { target_.RunDetached(std::move(work)); }
  void RunForWorkflow(std::shared_ptr<SimpleWork> work, std::shared_ptr<Workflow> workflow) override {
    {
      std::lock_guard lock(mutex_);
      if (!inFlight_.insert(work.get()).second) ++postedWhileInFlight;
    }
    target_.Post([this, work, workflow] {
      const WorkStatus status = work->Run();
      work->NotifyComplete(status);
      if (afterComplete) afterComplete(work);
      {
        std::lock_guard lock(mutex_);
        inFlight_.erase(work.get());
      }
      workflow->OnSimpleWorkFinished(work, status);
    });
  }

  std::function<void(const std::shared_ptr<SimpleWork>&)> afterComplete;
  std::atomic<int> postedWhileInFlight{0};

 private:
  WorkManager& target_;
  std::mutex mutex_;
  std::set<SimpleWork*> inFlight_;
};

TEST_F(StandardWorkflowTest, LeafRestartedBeforeItsRunIsReportedIsNotPostedTwice) {
  SteppedWorkManager stepped(executor);
  auto flaky = TaskWork::Create([](TaskWork& self) {
    return WorkStatus(self.attempts == 1 ? WorkResult::Failure : WorkResult::Success);
  });
  Signal held, go;
  stepped.afterComplete = [&](const std::shared_ptr<SimpleWork>& work) {
    if (work == flaky && flaky->attempts == 1) {
      held.Notify();
      go.Wait();
    }
  };
  auto sequence = std::make_shared<LimitedRetrySequentialWork>(3);
  sequence->AddChild(flaky);
  sequence->AddCompleteCallback(&rootDone);
  workflow = StandardWorkflow::Create(sequence, stepped, 2);
  workflow->Start();
  ASSERT_TRUE(held.Wait());
  // The sequence has queued its child again while the first run is not reported
  // yet; a dispatch now must leave it alone.
  EXPECT_TRUE(workflow->Pause());
  EXPECT_TRUE(workflow->Resume());
  EXPECT_EQ(workflow->GetRunningCount(), 1u);
  go.Notify();
  ASSERT_TRUE(rootDone.WaitCount(1));
  EXPECT_EQ(rootDone.Entries()[0].status.result, WorkResult::Success);
  EXPECT_EQ(flaky->attempts, 2);
  EXPECT_EQ(stepped.postedWhileInFlight, 0);
  ASSERT_TRUE(WaitIdle());
}

}  // namespace
}  // namespace ombrix
