#include "work/composite_work.h"

#include "work/work_status_data.h"
#include "work/workflow.h"

namespace ombrix {

void CompositeWork::Reset() {
  std::lock_guard lock(lock_);
  complete_ = false;
  status_ = WorkStatus(WorkResult::Error);
}

std::shared_ptr<Work> CompositeWork::Self() { return shared_from_this(); }

std::shared_ptr<const Work> CompositeWork::SelfConst() const { return shared_from_this(); }

void CompositeWork::AttachChild(const std::shared_ptr<Work>& child) {
  // While a derived composite's constructor adds its children no shared handle
  // owns it yet; QueueChild then makes the link before the child can complete.
  if (const auto self = weak_from_this().lock()) child->SetParent(self);
  if (const auto workflow = GetWorkflow()) child->SetWorkflow(workflow);
}

void CompositeWork::Restart() {
  std::lock_guard lock(lock_);
  Reset();
  if (const auto workflow = GetWorkflow()) QueueAvailableWork(workflow);
}

bool CompositeWork::IsComplete() const {
  std::lock_guard lock(lock_);
  return complete_;
}

void CompositeWork::QueueChild(const std::shared_ptr<Work>& child,
                               const std::shared_ptr<Workflow>& workflow, std::uint32_t position) {
  const WorkPath& own = GetPath();
  const WorkPath& current = child->GetPath();
  // A child queued again keeps the path it had; writing it only when it changes
  // keeps the workflow's concurrent reads of queued paths race-free.
  if (current.size() != own.size() + 1 || current.back() != position ||
      !std::equal(own.begin(), own.end(), current.begin())) {
    WorkPath path;
    path.reserve(own.size() + 1);
    path.assign(own.begin(), own.end());
    path.push_back(position);
    child->SetPath(std::move(path));
  }
  // Written only when missing (a child attached during construction), like the
  // path: a child queued again keeps its link and nobody reads it meanwhile.
  if (child->GetParent().get() != this) child->SetParent(shared_from_this());
  if (workflow) child->QueueAvailableWork(workflow);
}

WorkProgress CompositeWork::ComputeProgress(const std::shared_ptr<Work>& child,
                                            const WorkStatus& status) {
  if (!IsCurrentChild(child)) {
    return WorkProgress(WorkStatus(
        WorkResult::Error,
        std::make_shared<WorkErrorData>("Invalid child progress for CompositeWork::OnWorkComplete")));
  }
  switch (status.result) {
    case WorkResult::Interrupted:
    case WorkResult::RetryableError: {
      WorkProgress unchanged;
      unchanged.complete = complete_;
      unchanged.status = status_;
      return unchanged;
    }
    case WorkResult::Error:
      return WorkProgress(status);
    default:
      return OnChildComplete(child, status);
  }
}

void CompositeWork::OnWorkComplete(const std::shared_ptr<Work>& child, const WorkStatus& status) {
  std::unique_lock lock(lock_);
  if (complete_) return;
  WorkProgress progress;
  try {
    progress = ComputeProgress(child, status);
  } catch (...) {
    // A next child that refuses to be queued would otherwise leave this composite
    // (and the tree above it) waiting forever; like a throwing task, it is an Error.
    progress = WorkProgress(
        WorkStatus(WorkResult::Error, std::make_shared<WorkExceptionData>(std::current_exception())));
  }
  complete_ = progress.complete;
  status_ = std::move(progress.status);
  if (complete_) {
    if (status_.result == WorkResult::Success) status_.data.reset();
    const WorkStatus delivered = status_;
    lock.unlock();
    NotifyComplete(delivered);
    return;
  }
  if (status_.result == WorkResult::RetryableError) {
    status_.retry = ShouldRetry();
    if (!status_.retry) {
      const WorkStatus delivered = status_;
      lock.unlock();
      NotifyComplete(delivered);
      lock.lock();
    }
    Restart();
  }
}

}  // namespace ombrix
