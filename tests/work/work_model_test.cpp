// Statuses, status data, routes, completion delivery and scheduling order.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <string>

#include "work/no_op_work.h"
#include "work/sequential_work.h"
#include "work/work.h"
#include "work/work_status_data.h"
#include "work/workflow.h"
#include "work/test_works.h"

namespace ombrix {
namespace {

using boost::property_tree::ptree;
using test::CompletionRecorder;

std::vector<std::string> Keys(const ptree& tree) {
  std::vector<std::string> keys;
  for (const auto& entry : tree) keys.push_back(entry.first);
  return keys;
}

TEST(WorkStatus, DescribesResultAndRetryAndOnlyPresentData) {
  WorkStatus bare(WorkResult::RetryableError);
  ptree tree;
  bare.Describe(tree);
  EXPECT_EQ(Keys(tree), (std::vector<std::string>{"result", "retry"}));
  EXPECT_EQ(tree.get<std::string>("result"), "3");
  EXPECT_EQ(tree.get<std::string>("retry"), "false");

  WorkStatus retrying(WorkResult::RetryableError, std::make_shared<WorkErrorData>("timed out"));
  retrying.retry = true;
  ptree withData;
  retrying.Describe(withData);
  EXPECT_EQ(Keys(withData), (std::vector<std::string>{"result", "retry", "data"}));
  EXPECT_EQ(withData.get<std::string>("retry"), "true");
  EXPECT_EQ(withData.get<std::string>("data.errorMessage"), "timed out");
}

TEST(WorkExceptionData, DescribesStandardExceptionByTypeAndWhat) {
  WorkExceptionData data(std::make_exception_ptr(std::runtime_error("disk on fire")));
  ptree tree;
  data.Describe(tree);
  EXPECT_EQ(tree.get<std::string>("exception"), "std::runtime_error");
  EXPECT_EQ(tree.get<std::string>("what"), "disk on fire");
  EXPECT_EQ(data.GetMessage(), "std::runtime_error");
  EXPECT_THROW(data.Rethrow(), std::runtime_error);
}

TEST(WorkExceptionData, DescribesNonStandardObjectAsUnknownWithoutWhat) {
  WorkExceptionData data(std::make_exception_ptr(42));
  ptree tree;
  data.Describe(tree);
  EXPECT_EQ(Keys(tree), std::vector<std::string>{"exception"});
  EXPECT_EQ(tree.get<std::string>("exception"), "Unknown exception type");
  EXPECT_EQ(data.GetMessage(), "Unknown exception type");
}

TEST(WorkExceptionData, RethrowWithoutExceptionIsLogicError) {
  WorkExceptionData empty(nullptr);
  try {
    empty.Rethrow();
    FAIL() << "Rethrow returned";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "WorkExceptionData::Rethrow called with no exception_ptr");
  }
  ptree tree;
  empty.Describe(tree);
  EXPECT_EQ(tree.get<std::string>("exception"), "std::logic_error");
}

TEST(WorkCallbackRoutes, ForwardArgumentsAndThrowWhenEmpty) {
  auto work = NoOpWork::Create();
  std::shared_ptr<Work> seenWork;
  WorkResult seenResult = WorkResult::Success;
  WorkCompleteCallbackRoute route([&](const std::shared_ptr<Work>& w, const WorkStatus& s) {
    seenWork = w;
    seenResult = s.result;
  });
  route.OnWorkComplete(work, WorkStatus(WorkResult::Failure));
  EXPECT_EQ(seenWork, work);
  EXPECT_EQ(seenResult, WorkResult::Failure);

  WorkCompleteCallbackRoute empty(nullptr);
  EXPECT_THROW(empty.OnWorkComplete(work, WorkStatus()), std::bad_function_call);
  SimpleWorkRetryCallbackRoute emptyRetry(nullptr);
  EXPECT_THROW(emptyRetry.OnSimpleWorkRetry(work, WorkStatus()), std::bad_function_call);
}

// Records the order in which the workflow, the registered callbacks and the parent
// receive one completion.
class OrderWorkflow : public Workflow {
 public:
  explicit OrderWorkflow(std::vector<std::string>& log) : log_(log) {}
  void OnWorkComplete(const std::shared_ptr<Work>&, const WorkStatus&) override { log_.push_back("workflow"); }
  bool Start() override { return false; }
  bool Pause() override { return false; }
  bool Resume() override { return false; }
  bool Retry() override { return false; }
  WorkflowState GetState() const override { return WorkflowState::NotStarted; }
  bool IsStarted() const override { return false; }
  bool IsPaused() const override { return false; }
  bool IsWaitingRetry() const override { return false; }
  bool IsFinished() const override { return false; }
  bool Cancel(const WorkStatus&) override { return false; }
  void AddRetryableErrorCallback(WorkflowRetryableErrorCallback*) override {}
  void Enqueue(const std::shared_ptr<SimpleWork>&) override {}
  void OnSimpleWorkFinished(const std::shared_ptr<SimpleWork>&, const WorkStatus&) override {}

 private:
  std::vector<std::string>& log_;
};

TEST(Work, NotifyCompleteReachesWorkflowThenCallbacksInOrderThenParent) {
  std::vector<std::string> log;
  WorkCompleteCallbackRoute first([&](auto&, auto&) { log.push_back("first"); });
  WorkCompleteCallbackRoute second([&](auto&, auto&) { log.push_back("second"); });
  WorkCompleteCallbackRoute parentCallback([&](auto&, auto&) { log.push_back("parent"); });

  auto parent = std::make_shared<SequentialWork>();
  parent->AddCompleteCallback(&parentCallback);
  auto child = NoOpWork::Create(&first);
  child->AddCompleteCallback(&second);
  parent->AddChild(child);
  auto workflow = std::make_shared<OrderWorkflow>(log);
  parent->SetWorkflow(workflow);

  child->NotifyComplete(WorkStatus(WorkResult::Success));
  // The parent (a one-child sequence) completes in turn and notifies its own
  // workflow and callback.
  EXPECT_EQ(log, (std::vector<std::string>{"workflow", "first", "second", "workflow", "parent"}));
}

TEST(Work, NotifyCompleteSkipsReferencesThatAreGone) {
  auto root = NoOpWork::Create();
  root->NotifyComplete(WorkStatus(WorkResult::Success));  // nothing set: nothing happens

  CompletionRecorder recorder;
  auto child = NoOpWork::Create(&recorder);
  {
    auto parent = std::make_shared<SequentialWork>();
    parent->AddChild(child);
    std::vector<std::string> log;
    parent->SetWorkflow(std::make_shared<OrderWorkflow>(log));
  }
  EXPECT_FALSE(child->GetParent());
  EXPECT_FALSE(child->GetWorkflow());
  child->NotifyComplete(WorkStatus(WorkResult::Success));
  EXPECT_EQ(recorder.Count(), 1u);
}

TEST(Work, DescribeCompletionAddsStatusUnderWorkStatus) {
  auto work = NoOpWork::Create();
  ptree tree;
  work->DescribeCompletion(WorkStatus(WorkResult::Failure), tree);
  EXPECT_EQ(Keys(tree), (std::vector<std::string>{"name", "workStatus"}));
  EXPECT_EQ(tree.get<std::string>("name"), "NoOpWork");
  EXPECT_EQ(tree.get<std::string>("workStatus.result"), "1");
}

TEST(WorkPath, SchedulingOrderIsLexicographicWithPrefixFirst) {
  const std::vector<WorkPath> ordered = {{}, {0}, {0, 0}, {0, 1}, {1}, {2}, {10}, {4000000000u}};
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    for (std::size_t j = 0; j < ordered.size(); ++j) {
      EXPECT_EQ(PathPrecedes(ordered[i], ordered[j]), i < j) << i << " vs " << j;
    }
  }
}

}  // namespace
}  // namespace ombrix
