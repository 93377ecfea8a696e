#include "work/conditional_work.h"

#include <stdexcept>

namespace ombrix {

void ConditionalWork::Fill(std::shared_ptr<Work>& slot, std::shared_ptr<Work> child) {
  if (slot || !child) return;
  slot = std::move(child);
  AttachChild(slot);
}

void ConditionalWork::SetCondition(std::shared_ptr<Work> child) {
  std::lock_guard lock(Mutex());
  if (condition_) return;
  Fill(condition_, std::move(child));
  current_ = condition_;
}

void ConditionalWork::SetOnSuccess(std::shared_ptr<Work> child) {
  std::lock_guard lock(Mutex());
  Fill(onSuccess_, std::move(child));
}

void ConditionalWork::SetOnFailure(std::shared_ptr<Work> child) {
  std::lock_guard lock(Mutex());
  Fill(onFailure_, std::move(child));
}

void ConditionalWork::Reset() {
  std::lock_guard lock(Mutex());
  CompositeWork::Reset();
  current_ = condition_;
  for (const auto* child : {&condition_, &onSuccess_, &onFailure_}) {
    if (*child) (*child)->Reset();
  }
}

void ConditionalWork::PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  for (const auto* child : {&condition_, &onFailure_, &onSuccess_}) {
    if (*child) (*child)->SetWorkflow(workflow);
  }
}

void ConditionalWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  if (!condition_ || !onSuccess_ || !onFailure_) {
    throw std::logic_error("ConditionalWork::QueueAvailableWork called with incomplete children");
  }
  QueueChild(condition_, workflow, 0);
}

bool ConditionalWork::IsCurrentChild(const std::shared_ptr<Work>& child) {
  std::lock_guard lock(Mutex());
  return !IsComplete() && current_ && current_ == child;
}

WorkProgress ConditionalWork::OnChildComplete(const std::shared_ptr<Work>& child,
                                              const WorkStatus& status) {
  std::lock_guard lock(Mutex());
  if (child == condition_ && current_ == condition_) {
    current_ = status.result == WorkResult::Success ? onSuccess_ : onFailure_;
    QueueChild(current_, GetWorkflow(), 0);
    return WorkProgress();
  }
  return WorkProgress(status);
}

}  // namespace ombrix
