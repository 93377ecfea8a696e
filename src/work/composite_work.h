// The common machinery of works whose outcome is computed from child works.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "work/work.h"

namespace ombrix {

// What a composite knows after a child completed: whether it is complete now, and
// with which status.
struct WorkProgress {
  // Not complete; status Error with no data.
  WorkProgress() = default;
  // Complete unless `status` is Interrupted or RetryableError; status copied.
  explicit WorkProgress(const WorkStatus& status)
      : complete(status.result != WorkResult::Interrupted &&
                 status.result != WorkResult::RetryableError),
        status(status) {}

  bool complete = false;
  WorkStatus status{WorkResult::Error};
};

// A work that never runs on an executor itself: queuing it queues some of its
// children, and each child completion advances it.
//
// Contract:
// - Child completions are processed one at a time under the composite's recursive
//   lock, on the thread that delivered them. Interrupted and RetryableError leave
//   the composite as it is (the workflow runs the leaf again); Error completes it at
//   once with a copy of the child's status; other results go to OnChildComplete. A
//   completion from a child that is not expected now (IsCurrentChild false)
//   completes the composite with Error "Invalid child progress for
//   CompositeWork::OnWorkComplete". An exception while advancing (a next child
//   that cannot be queued) completes it with Error carrying a WorkExceptionData.
// - Once complete, the composite ignores child completions until Reset/Restart; a
//   Success is delivered without data.
// - A RetryableError progress (limited-retry families) is retried while
//   ShouldRetry allows; once it declines, the status is delivered upward with retry
//   false. In both cases the composite restarts.
// - The lock is released before NotifyComplete: no lock is held across levels of
//   the tree. Queuing children (and Restart) happen under the lock, so the lock
//   order is always ancestor composite, then descendant, then workflow.
class CompositeWork : public Work,
                      public WorkCompleteCallback,
                      public std::enable_shared_from_this<CompositeWork> {
 public:
  CompositeWork() = default;
  explicit CompositeWork(WorkCompleteCallback* callback) : Work(callback) {}

  // complete = false, status = Error with no data. Families extend it.
  void Reset() override;
  std::shared_ptr<Work> Self() override;
  std::shared_ptr<const Work> SelfConst() const override;
  // Makes this composite the child's parent and hands it the workflow if known.
  // Children may be attached from the constructor of a derived composite: the
  // parent link is then made when the child is first queued (QueueChild).
  virtual void AttachChild(const std::shared_ptr<Work>& child);
  // Whether a completion of `child` is expected now. Called under the lock.
  virtual bool IsCurrentChild(const std::shared_ptr<Work>& child) = 0;
  // Called under the lock for child results other than Interrupted,
  // RetryableError and Error.
  virtual WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                                       const WorkStatus& status) = 0;
  // Reset, then queue again with the workflow (if it still exists).
  virtual void Restart();

  void OnWorkComplete(const std::shared_ptr<Work>& child, const WorkStatus& status) final;

  bool IsComplete() const;
  // Sets the child's path to this path followed by `position` and its parent to
  // this composite, then lets the child queue its runnable leaves (nothing is
  // queued without a workflow). The composite must be owned by a shared handle.
  void QueueChild(const std::shared_ptr<Work>& child, const std::shared_ptr<Workflow>& workflow,
                  std::uint32_t position);

 protected:
  std::recursive_mutex& Mutex() const { return lock_; }

 private:
  WorkProgress ComputeProgress(const std::shared_ptr<Work>& child, const WorkStatus& status);

  mutable std::recursive_mutex lock_;
  bool complete_ = false;    // guarded by lock_
  WorkStatus status_{WorkResult::Error};  // guarded by lock_
};

}  // namespace ombrix
