// The interface of a workflow: the scheduler and run state of one work tree.
#pragma once

#include <cstdint>
#include <memory>

#include "work/work_callbacks.h"
#include "work/work_status.h"

namespace ombrix {

class SimpleWork;

// Run state of a workflow. The numeric values never change.
enum class WorkflowState : std::uint8_t {
  NotStarted = 0,
  Running = 1,             // leaves are dispatched
  Paused = 2,              // running leaves were told to stop; nothing is dispatched
  WaitingRetry = 3,        // stopped after a retryable error until Retry
  PausedWaitingRetry = 4,  // both
  Finished = 5,            // the root completed, or a work ended in Error
  Cancelled = 6,
};

// Runs one work tree: keeps the queue of ready leaves, posts them to an executor,
// queues interrupted and transiently failed leaves again, and carries the run state
// (start, pause, resume, retry, cancel, finish). Every completion of every work of
// the tree reaches the workflow first (it is a WorkCompleteCallback).
// All operations are safe to call from any thread; callbacks are called without
// the workflow's lock held. Non-copyable, always owned by a shared handle.
class Workflow : public WorkCompleteCallback {
 public:
  Workflow() = default;
  Workflow(const Workflow&) = delete;
  Workflow& operator=(const Workflow&) = delete;

  // Each answers whether it changed the state.
  virtual bool Start() = 0;
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
  virtual bool Retry() = 0;
  virtual WorkflowState GetState() const = 0;
  virtual bool IsStarted() const = 0;
  virtual bool IsPaused() const = 0;
  virtual bool IsWaitingRetry() const = 0;
  virtual bool IsFinished() const = 0;
  // Stops the run for good and delivers `status` as the root's completion.
  virtual bool Cancel(const WorkStatus& status) = 0;
  // Before Start; the callback must outlive the workflow.
  virtual void AddRetryableErrorCallback(WorkflowRetryableErrorCallback* callback) = 0;
  // Puts a ready leaf on the run queue (reset first); ignored once finished.
  virtual void Enqueue(const std::shared_ptr<SimpleWork>& work) = 0;
  // Called by the executor after a leaf it ran for this workflow has delivered its
  // completion.
  virtual void OnSimpleWorkFinished(const std::shared_ptr<SimpleWork>& work,
                                    const WorkStatus& status) = 0;
};

}  // namespace ombrix
