// The workflow that runs a work tree on a work manager.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "work/workflow.h"

namespace ombrix {

class Work;
class WorkManager;

// Contract:
// - Ready leaves wait in a run queue and are posted in path order (smallest path
//   first); at most `maximumRunning` leaves of this workflow are posted at any time
//   (a maximum of 0 is taken as 1), whatever the executor's thread count. A leaf is
//   never posted while an earlier run of it has not been reported back.
// - Leaves that come back Interrupted or RetryableError are queued again unless the
//   workflow has finished, so Resume and Retry continue where the run stopped.
// - State changes follow the run-state table of WorkflowState: Pause, Resume, Retry
//   and Cancel answer false when they do not apply; an Error from any work, or a
//   root completion other than Interrupted/RetryableError, finishes the run; a
//   RetryableError delivered with retry false stops dispatching (WaitingRetry) and
//   is reported once to every retryable-error callback.
// - Pausing, finishing and waiting for retry raise the stop flag of every posted
//   leaf and call its Interrupt, under the workflow's lock.
// - Cancel delivers the caller's status as the root's completion.
// - A Start that throws (a work of the tree refused to be queued) leaves the
//   workflow NotStarted with nothing queued. The tree is then half-queued (a
//   lazy-parallel work has handed out children, a deferred work has installed its
//   NoOpWork) and cannot run again: every later Start throws std::logic_error
//   "StandardWorkflow::Start called again after a failed Start"; the owner
//   rebuilds the tree and its workflow. Cancel still applies.
// - One recursive lock guards the state; it is released before the retryable-error
//   callbacks run, before Cancel notifies the root and while Start lets the root
//   queue its first leaves. Composites may hold their own locks when they call in
//   (composite lock before workflow lock); the workflow never takes a composite's
//   lock while holding its own.
class StandardWorkflow : public Workflow, public std::enable_shared_from_this<StandardWorkflow> {
 public:
  // Builds the workflow and spreads it over the tree (root->SetWorkflow).
  // `executor` must outlive the workflow's run.
  static std::shared_ptr<StandardWorkflow> Create(std::shared_ptr<Work> root, WorkManager& executor,
                                                  std::uint32_t maximumRunning);

  StandardWorkflow(std::shared_ptr<Work> root, WorkManager& executor, std::uint32_t maximumRunning);

  void OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) override;
  bool Start() override;
  bool Pause() override;
  bool Resume() override;
  bool Retry() override;
  WorkflowState GetState() const override;
  bool IsStarted() const override;
  bool IsPaused() const override;
  bool IsWaitingRetry() const override;
  bool IsFinished() const override;
  bool Cancel(const WorkStatus& status) override;
  void AddRetryableErrorCallback(WorkflowRetryableErrorCallback* callback) override;
  void Enqueue(const std::shared_ptr<SimpleWork>& work) override;
  void OnSimpleWorkFinished(const std::shared_ptr<SimpleWork>& work,
                            const WorkStatus& status) override;

  std::shared_ptr<Work> GetRoot() const { return root_; }
  std::uint32_t GetMaximumRunning() const { return maximumRunning_; }
  // Leaves posted and not yet reported back; leaves waiting in the run queue.
  std::size_t GetRunningCount() const;
  std::size_t GetQueuedCount() const;

 private:
  bool IsFinishedLocked() const;
  void Dispatch();
  void InterruptRunning();
  void Push(const std::shared_ptr<SimpleWork>& work);

  mutable std::recursive_mutex lock_;
  const std::shared_ptr<Work> root_;
  WorkManager& executor_;
  // Binary heap with the leaf of smallest path on top.
  std::vector<std::shared_ptr<SimpleWork>> runQueue_;
  std::unordered_set<std::shared_ptr<SimpleWork>> running_;
  // Leaves queued again while an earlier run of theirs was still posted; they join
  // the run queue when that run is reported back.
  std::unordered_set<std::shared_ptr<SimpleWork>> queuedWhileRunning_;
  const std::uint32_t maximumRunning_;
  WorkflowState state_ = WorkflowState::NotStarted;
  bool starting_ = false;  // Start is letting the root queue its first leaves
  bool startFailed_ = false;  // a Start threw; the tree cannot be queued again
  std::vector<WorkflowRetryableErrorCallback*> retryableErrorCallbacks_;
};

}  // namespace ombrix
