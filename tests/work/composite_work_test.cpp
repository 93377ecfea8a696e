// The composite families, run by a real workflow on a real executor.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "work/asio_work_manager.h"
#include "work/conditional_work.h"
#include "work/deferred_work.h"
#include "work/lazy_parallel_work.h"
#include "work/limited_retry_sequential_work.h"
#include "work/no_op_work.h"
#include "work/parallel_work.h"
#include "work/sequential_work.h"
#include "work/standard_workflow.h"
#include "work/work_status_data.h"
#include "work/test_works.h"

namespace ombrix {
namespace {

using test::CompletionRecorder;
using test::GateWork;
using test::TaskWork;

WorkStatus FailureWith(const std::string& message) {
  return WorkStatus(WorkResult::Failure, std::make_shared<WorkErrorData>(message));
}

class CompositeWorkTest : public ::testing::Test {
 protected:
  // Stops leaves still blocked so that the executor's workers can be joined.
  ~CompositeWorkTest() override {
    if (workflow) workflow->Pause();
  }

  // Runs `root` on a fresh workflow; the root's completions go to rootDone.
  std::shared_ptr<StandardWorkflow> Start(const std::shared_ptr<Work>& root,
                                          std::uint32_t maximumRunning = 4) {
    root->AddCompleteCallback(&rootDone);
    workflow = StandardWorkflow::Create(root, executor, maximumRunning);
    EXPECT_TRUE(workflow->Start());
    return workflow;
  }
  WorkStatus WaitRootStatus(std::size_t completion = 1) {
    EXPECT_TRUE(rootDone.WaitCount(completion));
    auto entries = rootDone.Entries();
    return entries.size() >= completion ? entries[completion - 1].status : WorkStatus();
  }

  CompletionRecorder rootDone;
  AsioWorkManager executor{3, false};
  std::shared_ptr<StandardWorkflow> workflow;
};

TEST_F(CompositeWorkTest, SequenceStopsAtFailureAndNeverQueuesTheRest) {
  auto sequence = std::make_shared<SequentialWork>();
  auto first = TaskWork::Returning(WorkResult::Success);
  auto second = TaskWork::Create([](TaskWork&) { return FailureWith("missing"); });
  auto third = TaskWork::Returning(WorkResult::Success);
  for (const auto& child : {first, second, third}) sequence->AddChild(child);
  Start(sequence);
  const WorkStatus status = WaitRootStatus();
  EXPECT_EQ(status.result, WorkResult::Failure);
  EXPECT_EQ(status.data->GetMessage(), "missing");
  EXPECT_EQ(third->attempts, 0);
  EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
  EXPECT_EQ(second->GetPath(), (WorkPath{0}));
}

TEST_F(CompositeWorkTest, ParallelSucceedsOnlyAfterTheLastChild) {
  auto parallel = std::make_shared<ParallelWork>();
  std::vector<std::shared_ptr<GateWork>> gates;
  for (int i = 0; i < 3; ++i) {
    gates.push_back(std::make_shared<GateWork>());
    EXPECT_TRUE(parallel->AddChild(gates.back()));
  }
  EXPECT_FALSE(parallel->AddChild(gates.front()));  // a child is kept once
  Start(parallel);
  for (auto& gate : gates) ASSERT_TRUE(gate->WaitEntered(1));
  gates[2]->Open();
  gates[0]->Open();
  ASSERT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 1; }));
  EXPECT_FALSE(parallel->IsComplete());
  EXPECT_EQ(rootDone.Count(), 0u);
  gates[1]->Open();
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Success);
  EXPECT_EQ(gates[1]->GetPath(), (WorkPath{1}));
}

TEST_F(CompositeWorkTest, ParallelFailsAtOnceWithErrorCarryingTheChildData) {
  auto parallel = std::make_shared<ParallelWork>();
  auto slow = std::make_shared<GateWork>();
  auto failing = TaskWork::Create([&](TaskWork&) {
    EXPECT_TRUE(slow->WaitEntered(1));
    return FailureWith("no such file");
  });
  parallel->AddChild(slow);
  parallel->AddChild(failing);
  Start(parallel);
  const WorkStatus status = WaitRootStatus();
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(status.data->GetMessage(), "no such file");
  // The finished workflow stopped the other child; it is not queued again and its
  // late completion changes nothing.
  ASSERT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
  EXPECT_TRUE(slow->IsStopRequested());
  EXPECT_EQ(slow->Entered(), 1);
  EXPECT_EQ(workflow->GetQueuedCount(), 0u);
  EXPECT_EQ(rootDone.Count(), 1u);
}

// Hands out `total` leaves and checks, at every creation, that fewer than
// `capacity` earlier children are still in flight.
class CountingLazyWork : public LazyParallelWork {
 public:
  CountingLazyWork(std::uint32_t capacity, int total) : LazyParallelWork(capacity), total_(total) {}

  std::shared_ptr<Work> CreateNextChild() override {
    if (static_cast<int>(GetCreatedCount()) >= total_) return nullptr;
    EXPECT_EQ(GetCreatedCount(), children.size());
    maxInFlightBefore = std::max(maxInFlightBefore, static_cast<int>(children.size()) - done.load());
    auto child = TaskWork::Returning(WorkResult::Success);
    child->AddCompleteCallback(&counter_);
    children.push_back(child);
    return child;
  }

  std::vector<std::shared_ptr<TaskWork>> children;
  std::atomic<int> done{0};
  int maxInFlightBefore = 0;

 private:
  WorkCompleteCallbackRoute counter_{[this](auto&, auto&) { ++done; }};
  const int total_;
};

TEST_F(CompositeWorkTest, LazyParallelNeverExceedsCapacityAndNumbersChildrenInCreationOrder) {
  auto lazy = std::make_shared<CountingLazyWork>(2, 5);
  Start(lazy, 8);
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Success);
  ASSERT_EQ(lazy->children.size(), 5u);
  EXPECT_LT(lazy->maxInFlightBefore, 2);
  for (std::uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(lazy->children[i]->GetPath(), (WorkPath{i}));
    EXPECT_EQ(lazy->children[i]->attempts, 1);
  }
}

TEST(LazyParallelWork, ZeroCapacityIsRejected) {
  try {
    CountingLazyWork lazy(0, 1);
    FAIL() << "constructed";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "LazyParallelWork::Reserve called with zero capacity");
  }
}

struct Branches {
  std::shared_ptr<ConditionalWork> conditional = std::make_shared<ConditionalWork>();
  std::shared_ptr<TaskWork> onSuccess = TaskWork::Returning(WorkResult::Failure);
  std::shared_ptr<TaskWork> onFailure = TaskWork::Returning(WorkResult::Success);

  explicit Branches(WorkResult conditionResult) {
    conditional->SetCondition(TaskWork::Returning(conditionResult));
    conditional->SetOnSuccess(onSuccess);
    conditional->SetOnFailure(onFailure);
  }
};

TEST_F(CompositeWorkTest, ConditionalRunsOnlyTheSuccessBranchAndTakesItsStatus) {
  Branches branches(WorkResult::Success);
  Start(branches.conditional);
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Failure);
  EXPECT_EQ(branches.onSuccess->attempts, 1);
  EXPECT_EQ(branches.onFailure->attempts, 0);
  EXPECT_EQ(branches.onSuccess->GetPath(), (WorkPath{0}));
}

TEST_F(CompositeWorkTest, ConditionalTakesTheFailureBranchAfterFailure) {
  Branches branches(WorkResult::Failure);
  Start(branches.conditional);
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Success);
  EXPECT_EQ(branches.onSuccess->attempts, 0);
  EXPECT_EQ(branches.onFailure->attempts, 1);
}

TEST_F(CompositeWorkTest, ConditionalEndsAtOnceOnConditionError) {
  Branches branches(WorkResult::Error);
  Start(branches.conditional);
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Error);
  EXPECT_EQ(branches.onSuccess->attempts + branches.onFailure->attempts, 0);
}

TEST_F(CompositeWorkTest, ConditionalWithMissingChildCannotBeQueued) {
  auto conditional = std::make_shared<ConditionalWork>();
  conditional->SetCondition(NoOpWork::Create());
  conditional->SetOnSuccess(NoOpWork::Create());
  workflow = StandardWorkflow::Create(conditional, executor, 2);
  try {
    workflow->Start();
    FAIL() << "started";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "ConditionalWork::QueueAvailableWork called with incomplete children");
  }
}

TEST_F(CompositeWorkTest, DeferredWithoutChildRunsNoOpAndIgnoresLateChild) {
  auto deferred = DeferredWork::Create();
  Start(deferred);
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Success);
  EXPECT_TRUE(std::dynamic_pointer_cast<NoOpWork>(deferred->GetChild()));
  EXPECT_FALSE(deferred->SetChild(TaskWork::Returning(WorkResult::Failure)));
  boost::property_tree::ptree tree;
  deferred->Describe(tree);
  EXPECT_EQ(tree.get<std::string>("name"), "DeferredWork");
}

TEST_F(CompositeWorkTest, DeferredRunsTheChildSuppliedByAnEarlierTask) {
  auto sequence = std::make_shared<SequentialWork>();
  auto deferred = DeferredWork::Create();
  auto supplied = TaskWork::Create([](TaskWork&) { return FailureWith("from the built tree"); });
  sequence->AddChild(TaskWork::Create([&](TaskWork&) {
    EXPECT_TRUE(deferred->SetChild(supplied));
    return WorkStatus(WorkResult::Success);
  }));
  sequence->AddChild(deferred);
  Start(sequence);
  const WorkStatus status = WaitRootStatus();
  EXPECT_EQ(status.result, WorkResult::Failure);
  EXPECT_EQ(status.data->GetMessage(), "from the built tree");
  EXPECT_EQ(supplied->GetPath(), (WorkPath{0, 0}));
}

// Composites that add their children in their own constructors, as the concrete
// works of a transfer do; every leaf they create is kept in `leaves`.
using Leaves = std::vector<std::shared_ptr<TaskWork>>;

std::shared_ptr<TaskWork> NewLeaf(Leaves& leaves, WorkResult result = WorkResult::Success) {
  leaves.push_back(TaskWork::Returning(result));
  return leaves.back();
}

struct SelfBuiltConditional : ConditionalWork {
  explicit SelfBuiltConditional(Leaves& leaves) {
    SetCondition(NewLeaf(leaves));
    SetOnSuccess(NewLeaf(leaves));
    SetOnFailure(NewLeaf(leaves, WorkResult::Error));
  }
};

struct SelfBuiltParallel : ParallelWork {
  explicit SelfBuiltParallel(Leaves& leaves) {
    AddChild(NewLeaf(leaves));
    AddChild(std::make_shared<SelfBuiltConditional>(leaves));
  }
};

struct SelfBuiltSequence : SequentialWork {
  explicit SelfBuiltSequence(Leaves& leaves) {
    AddChild(NewLeaf(leaves));
    AddChild(std::make_shared<SelfBuiltParallel>(leaves));
    AddChild(NewLeaf(leaves));
  }
};

TEST_F(CompositeWorkTest, CompositesMayAddChildrenInTheirOwnConstructors) {
  Leaves leaves;
  auto sequence = std::make_shared<SelfBuiltSequence>(leaves);
  Start(sequence);
  EXPECT_EQ(WaitRootStatus().result, WorkResult::Success);
  ASSERT_EQ(leaves.size(), 6u);
  // Every leaf ran once except the failure branch of the conditional.
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    EXPECT_EQ(leaves[i]->attempts, leaves[i] == leaves[4] ? 0 : 1) << i;
  }
  EXPECT_EQ(leaves[3]->GetPath(), (WorkPath{0, 1, 0}));
  EXPECT_EQ(rootDone.Count(), 1u);
}

TEST(LazyParallelWork, FailureEndsItWithErrorWithoutReplacingTheChild) {
  CompletionRecorder recorder;
  auto lazy = std::make_shared<CountingLazyWork>(2, 5);
  lazy->AddCompleteCallback(&recorder);
  lazy->QueueAvailableWork(nullptr);
  ASSERT_EQ(lazy->children.size(), 2u);
  const WorkStatus failure = FailureWith("range refused");
  lazy->OnWorkComplete(lazy->children[0], failure);
  ASSERT_EQ(recorder.Count(), 1u);
  const WorkStatus status = recorder.Entries()[0].status;
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(status.data, failure.data);
  EXPECT_EQ(lazy->children.size(), 2u);
  // The sibling still in flight finishes late: nothing changes.
  lazy->OnWorkComplete(lazy->children[1], WorkStatus(WorkResult::Success));
  EXPECT_EQ(recorder.Count(), 1u);
  EXPECT_EQ(lazy->children.size(), 2u);
  EXPECT_EQ(lazy->GetCreatedCount(), 2u);
}

TEST_F(CompositeWorkTest, LimitedRetrySequenceSpendsItsBudgetThenReportsRetryableError) {
  auto sequence = std::make_shared<LimitedRetrySequentialWork>(2);
  auto failing = TaskWork::Create([](TaskWork&) { return FailureWith("checksum"); });
  auto second = TaskWork::Returning(WorkResult::Success);
  sequence->AddChild(failing);
  sequence->AddChild(second);
  Start(sequence);
  WorkStatus status = WaitRootStatus();
  EXPECT_EQ(status.result, WorkResult::RetryableError);
  EXPECT_FALSE(status.retry);
  EXPECT_EQ(status.data->GetMessage(), "checksum");
  EXPECT_EQ(failing->attempts, 3);
  EXPECT_EQ(second->attempts, 0);
  // The sequence restarted anyway: its first child waits in the queue.
  ASSERT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
  EXPECT_EQ(workflow->GetState(), WorkflowState::WaitingRetry);
  EXPECT_EQ(workflow->GetQueuedCount(), 1u);
  // Restarts keep the spent budget: the next failure is reported at once.
  EXPECT_TRUE(workflow->Retry());
  status = WaitRootStatus(2);
  EXPECT_EQ(status.result, WorkResult::RetryableError);
  EXPECT_EQ(failing->attempts, 4);
  // A reset from outside refills it.
  sequence->Reset();
  EXPECT_EQ(sequence->GetRetryCount(), 0u);
}

TEST_F(CompositeWorkTest, LimitedRetrySequenceRestartsFromItsFirstChild) {
  auto sequence = std::make_shared<LimitedRetrySequentialWork>(3);
  auto first = TaskWork::Returning(WorkResult::Success);
  auto flaky = TaskWork::Create([](TaskWork& self) {
    return self.attempts < 3 ? FailureWith("again")
                             : WorkStatus(WorkResult::Success, std::make_shared<WorkErrorData>("x"));
  });
  sequence->AddChild(first);
  sequence->AddChild(flaky);
  Start(sequence);
  const WorkStatus status = WaitRootStatus();
  EXPECT_EQ(status.result, WorkResult::Success);
  EXPECT_FALSE(status.data);  // a composite's success carries no data
  EXPECT_EQ(first->attempts, 3);
  EXPECT_EQ(flaky->attempts, 3);
  EXPECT_EQ(sequence->GetRetryCount(), 2u);
  EXPECT_EQ(rootDone.Count(), 1u);
}

TEST(CompositeWork, CompletionOfAStrangerCompletesWithInvalidChildProgress) {
  CompletionRecorder recorder;
  auto sequence = std::make_shared<SequentialWork>(&recorder);
  auto child = NoOpWork::Create();
  sequence->AddChild(child);
  sequence->OnWorkComplete(NoOpWork::Create(), WorkStatus(WorkResult::Success));
  ASSERT_EQ(recorder.Count(), 1u);
  const WorkStatus status = recorder.Entries()[0].status;
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(status.data->GetMessage(), "Invalid child progress for CompositeWork::OnWorkComplete");
  EXPECT_TRUE(sequence->IsComplete());
  sequence->OnWorkComplete(child, WorkStatus(WorkResult::Success));  // ignored now
  EXPECT_EQ(recorder.Count(), 1u);
  sequence->Reset();
  EXPECT_FALSE(sequence->IsComplete());
  sequence->OnWorkComplete(child, WorkStatus(WorkResult::Success));
  EXPECT_EQ(recorder.Count(), 2u);
}

TEST(CompositeWork, InterruptedAndRetryableChildrenLeaveTheCompositeAsItIs) {
  CompletionRecorder recorder;
  auto parallel = std::make_shared<ParallelWork>(&recorder);
  auto child = NoOpWork::Create();
  parallel->AddChild(child);
  parallel->OnWorkComplete(child, WorkStatus(WorkResult::Interrupted));
  parallel->OnWorkComplete(child, WorkStatus(WorkResult::RetryableError));
  EXPECT_EQ(recorder.Count(), 0u);
  EXPECT_FALSE(parallel->IsComplete());
  parallel->OnWorkComplete(child, WorkStatus(WorkResult::Success));
  EXPECT_EQ(recorder.Count(), 1u);
}

}  // namespace
}  // namespace ombrix
