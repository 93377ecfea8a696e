// Leaves: the run loop, in-place retries, interruption and captured exceptions.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "work/no_op_work.h"
#include "work/work_status_data.h"
#include "work/test_works.h"

namespace ombrix {
namespace {

using test::LimitedTaskWork;
using test::TaskWork;

struct RetryLog : SimpleWorkRetryCallback {
  void OnSimpleWorkRetry(const std::shared_ptr<SimpleWork>& work, const WorkStatus& status) override {
    works.push_back(work);
    statuses.push_back(status);
  }
  std::vector<std::shared_ptr<SimpleWork>> works;
  std::vector<WorkStatus> statuses;
};

TEST(LimitedRetrySimpleWork, AlwaysRetryableMakesBudgetPlusOneAttempts) {
  auto work = std::make_shared<LimitedTaskWork>(3, [](int) {
    return WorkStatus(WorkResult::RetryableError, std::make_shared<WorkErrorData>("flaky"));
  });
  RetryLog first, second;
  work->AddRetryCallback(&first);
  work->AddRetryCallback(&second);

  const WorkStatus status = work->Run();
  EXPECT_EQ(work->attempts, 4);
  EXPECT_EQ(status.result, WorkResult::RetryableError);
  EXPECT_FALSE(status.retry);
  ASSERT_EQ(first.statuses.size(), 3u);
  EXPECT_EQ(second.statuses.size(), 3u);
  for (const auto& retried : first.statuses) {
    EXPECT_TRUE(retried.retry);
    EXPECT_EQ(retried.data->GetMessage(), "flaky");
  }
  EXPECT_EQ(first.works.front(), work);
}

TEST(LimitedRetrySimpleWork, SucceedsWithinBudgetAndResetRenewsIt) {
  auto work = std::make_shared<LimitedTaskWork>(2, [](int attempt) {
    return WorkStatus(attempt % 3 == 0 ? WorkResult::Success : WorkResult::RetryableError);
  });
  EXPECT_EQ(work->Run().result, WorkResult::Success);  // attempts 1, 2 fail, 3 succeeds
  EXPECT_EQ(work->GetRetryCount(), 2u);
  // Without a reset the budget is spent: attempt 4 fails for good.
  EXPECT_EQ(work->Run().result, WorkResult::RetryableError);
  EXPECT_EQ(work->attempts, 4);
  work->Reset();
  EXPECT_EQ(work->GetRetryCount(), 0u);
  EXPECT_EQ(work->Run().result, WorkResult::Success);  // attempts 5 fails, 6 succeeds
  EXPECT_EQ(work->attempts, 6);
}

TEST(LimitedRetrySimpleWork, FailureIsNeverRetried) {
  auto work = std::make_shared<LimitedTaskWork>(5, [](int) { return WorkStatus(WorkResult::Failure); });
  const WorkStatus status = work->Run();
  EXPECT_EQ(status.result, WorkResult::Failure);
  EXPECT_EQ(work->attempts, 1);
  EXPECT_EQ(work->GetRetryCount(), 0u);  // ShouldRetry is not even asked
}

TEST(SimpleWork, StopRaisedBeforeRunSkipsTheTask) {
  auto work = TaskWork::Returning(WorkResult::Success);
  EXPECT_FALSE(work->RequestStop());
  EXPECT_TRUE(work->RequestStop());
  const WorkStatus status = work->Run();
  EXPECT_EQ(status.result, WorkResult::Interrupted);
  EXPECT_FALSE(status.data);
  EXPECT_EQ(work->attempts, 0);
  work->Reset();
  EXPECT_EQ(work->Run().result, WorkResult::Success);
}

TEST(SimpleWork, StopRaisedDuringAttemptEndsRetriesWithInterrupted) {
  std::shared_ptr<LimitedTaskWork> work;
  work = std::make_shared<LimitedTaskWork>(10, [&work](int attempt) {
    if (attempt == 2) work->RequestStop();
    return WorkStatus(WorkResult::RetryableError);
  });
  EXPECT_EQ(work->Run().result, WorkResult::Interrupted);
  EXPECT_EQ(work->attempts, 2);
}

TEST(SimpleWork, ThrownStandardExceptionBecomesErrorWithExceptionData) {
  auto work = TaskWork::Create([](TaskWork&) -> WorkStatus { throw std::out_of_range("index 7"); });
  const WorkStatus status = work->Run();
  EXPECT_EQ(status.result, WorkResult::Error);
  ASSERT_TRUE(status.data);
  boost::property_tree::ptree tree;
  status.data->Describe(tree);
  EXPECT_EQ(tree.get<std::string>("exception"), "std::out_of_range");
  EXPECT_EQ(tree.get<std::string>("what"), "index 7");
  EXPECT_TRUE(std::dynamic_pointer_cast<const WorkExceptionData>(status.data));
}

TEST(SimpleWork, ThrowingRetryCallbackEndsTheRunWithErrorAndNoFurtherAttempt) {
  auto work = std::make_shared<LimitedTaskWork>(5, [](int) { return WorkStatus(WorkResult::RetryableError); });
  SimpleWorkRetryCallbackRoute throwing([](auto&, auto&) { throw 7; });
  work->AddRetryCallback(&throwing);
  const WorkStatus status = work->Run();
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(status.data->GetMessage(), "Unknown exception type");
  EXPECT_EQ(work->attempts, 1);
}

TEST(NoOpWork, SucceedsWithoutData) {
  auto work = NoOpWork::Create();
  const WorkStatus status = work->Run();
  EXPECT_EQ(status.result, WorkResult::Success);
  EXPECT_FALSE(status.data);
  EXPECT_EQ(work->Self(), work);
}

}  // namespace
}  // namespace ombrix
