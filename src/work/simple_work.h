// A leaf of a work tree: one synchronous task, retried in place.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "work/work.h"

namespace ombrix {

// Contract:
// - Run (called only by an executor, on one thread at a time per work) executes
//   the task until it ends the loop: a result other than RetryableError, or a
//   RetryableError that ShouldRetry declines (returned with retry false). Before
//   each attempt the stop flag is checked; when raised, Run returns Interrupted
//   without starting another attempt. Retries are immediate, and every retry is
//   announced to the retry callbacks (in registration order) with retry true.
// - Nothing thrown by the task or a retry callback escapes Run: it becomes an
//   Error status carrying a WorkExceptionData, and no retry follows.
// - stopRequested is the only state written from another thread (by the workflow);
//   it is raised before Interrupt is called, and cleared by Reset.
// - Interrupt may be called while Run executes on another thread; subclasses that
//   implement it must be safe against that.
class SimpleWork : public Work, public std::enable_shared_from_this<SimpleWork> {
 public:
  SimpleWork() = default;
  explicit SimpleWork(WorkCompleteCallback* callback) : Work(callback) {}

  void Reset() override;
  std::shared_ptr<Work> Self() override;
  std::shared_ptr<const Work> SelfConst() const override;
  void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  // Hands this leaf to the workflow's run queue (Workflow::Enqueue).
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  // Performs the task once. May throw; should return Interrupted when it sees
  // stopRequested raised at a convenient point of a long task.
  virtual WorkStatus ExecuteTask() = 0;
  // Asks a task blocked in a call to give up; called right after stopRequested is
  // raised.
  virtual void Interrupt() = 0;

  // Appends a retry callback; it must outlive the work. Only before queuing.
  void AddRetryCallback(SimpleWorkRetryCallback* callback);
  WorkStatus Run();

  // Raises the stop flag; answers whether it was already raised.
  bool RequestStop() { return stopRequested.exchange(true); }
  bool IsStopRequested() const { return stopRequested.load(); }

 protected:
  std::atomic<bool> stopRequested{false};

 private:
  std::vector<SimpleWorkRetryCallback*> retryCallbacks_;
};

}  // namespace ombrix
