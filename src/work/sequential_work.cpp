#include "work/sequential_work.h"

namespace ombrix {

SequentialWork::SequentialWork(WorkCompleteCallback* callback, std::size_t capacity)
    : CompositeWork(callback) {
  children_.reserve(capacity);
}

void SequentialWork::AddChild(std::shared_ptr<Work> child) {
  std::lock_guard lock(Mutex());
  children_.push_back(child);
  AttachChild(child);
}

void SequentialWork::Reset() {
  std::lock_guard lock(Mutex());
  CompositeWork::Reset();
  index_ = 0;
  for (const auto& child : children_) child->Reset();
}

void SequentialWork::PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  for (const auto& child : children_) child->SetWorkflow(workflow);
}

void SequentialWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  if (!children_.empty()) QueueChild(children_.front(), workflow, 0);
}

bool SequentialWork::IsCurrentChild(const std::shared_ptr<Work>& child) {
  std::lock_guard lock(Mutex());
  return !IsComplete() && index_ < children_.size() && children_[index_] == child;
}

WorkProgress SequentialWork::OnChildComplete(const std::shared_ptr<Work>&,
                                             const WorkStatus& status) {
  std::lock_guard lock(Mutex());
  if (status.result == WorkResult::Failure || index_ + 1 >= children_.size()) {
    return WorkProgress(status);
  }
  ++index_;
  QueueChild(children_[index_], GetWorkflow(), 0);
  return WorkProgress();
}

}  // namespace ombrix
