#include "work/parallel_work.h"

namespace ombrix {

namespace {
// The smallest prime not below 11: the pending set starts with this many buckets.
constexpr std::size_t kInitialBuckets = 11;
}  // namespace

ParallelWork::ParallelWork(WorkCompleteCallback* callback)
    : CompositeWork(callback), pending_(kInitialBuckets) {
  pending_.max_load_factor(1.0f);
  ParallelWork::Reserve(2);
}

void ParallelWork::Reserve(std::size_t n) {
  std::lock_guard lock(Mutex());
  children_.reserve(n);
  pending_.rehash(n);
}

bool ParallelWork::AddChild(std::shared_ptr<Work> child) {
  std::lock_guard lock(Mutex());
  if (!pending_.insert(child).second) return false;
  children_.push_back(child);
  AttachChild(child);
  return true;
}

void ParallelWork::Reset() {
  std::lock_guard lock(Mutex());
  CompositeWork::Reset();
  pending_.clear();
  for (const auto& child : children_) {
    pending_.insert(child);
    child->Reset();
  }
}

void ParallelWork::PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  for (const auto& child : children_) child->SetWorkflow(workflow);
}

void ParallelWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  for (std::size_t i = 0; i < children_.size(); ++i) {
    QueueChild(children_[i], workflow, static_cast<std::uint32_t>(i));
  }
}

bool ParallelWork::IsCurrentChild(const std::shared_ptr<Work>& child) {
  std::lock_guard lock(Mutex());
  return pending_.count(child) != 0;
}

WorkProgress ParallelWork::OnChildComplete(const std::shared_ptr<Work>& child,
                                           const WorkStatus& status) {
  std::lock_guard lock(Mutex());
  if (status.result == WorkResult::Failure) {
    return WorkProgress(WorkStatus(WorkResult::Error, status.data));
  }
  pending_.erase(child);
  if (pending_.empty()) return WorkProgress(WorkStatus(WorkResult::Success));
  return WorkProgress();
}

}  // namespace ombrix
