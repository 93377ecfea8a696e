#include "work/lazy_parallel_work.h"

#include <stdexcept>
#include <vector>

namespace ombrix {

namespace {
constexpr std::size_t kInitialBuckets = 11;
}  // namespace

LazyParallelWork::LazyParallelWork(WorkCompleteCallback* callback, std::uint32_t capacity)
    : CompositeWork(callback), inFlight_(kInitialBuckets), capacity_(capacity) {
  inFlight_.max_load_factor(1.0f);
  LazyParallelWork::Reserve(capacity);
}

void LazyParallelWork::Reserve(std::uint32_t capacity) {
  if (capacity == 0) {
    throw std::invalid_argument("LazyParallelWork::Reserve called with zero capacity");
  }
  std::lock_guard lock(Mutex());
  inFlight_.rehash(capacity);
}

std::uint32_t LazyParallelWork::GetCreatedCount() const {
  std::lock_guard lock(Mutex());
  return created_;
}

bool LazyParallelWork::AddInFlight(const std::shared_ptr<Work>& child) {
  if (!inFlight_.insert(child).second) return false;
  AttachChild(child);
  return true;
}

void LazyParallelWork::Reset() {
  std::lock_guard lock(Mutex());
  CompositeWork::Reset();
  created_ = 0;
}

void LazyParallelWork::PropagateWorkflow(const std::shared_ptr<Workflow>&) {}

void LazyParallelWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  const std::uint32_t start = created_;
  std::vector<std::shared_ptr<Work>> batch;
  while (created_ < capacity_) {
    std::shared_ptr<Work> child = CreateNextChild();
    if (!child) break;
    if (AddInFlight(child)) batch.push_back(std::move(child));
    ++created_;
  }
  for (std::size_t k = 0; k < batch.size(); ++k) {
    QueueChild(batch[k], workflow, start + static_cast<std::uint32_t>(k));
  }
}

bool LazyParallelWork::IsCurrentChild(const std::shared_ptr<Work>& child) {
  std::lock_guard lock(Mutex());
  return inFlight_.count(child) != 0;
}

WorkProgress LazyParallelWork::OnChildComplete(const std::shared_ptr<Work>& child,
                                               const WorkStatus& status) {
  std::lock_guard lock(Mutex());
  if (status.result == WorkResult::Failure) {
    return WorkProgress(WorkStatus(WorkResult::Error, status.data));
  }
  inFlight_.erase(child);
  if (std::shared_ptr<Work> next = CreateNextChild()) {
    const std::uint32_t position = created_++;
    if (AddInFlight(next)) QueueChild(next, GetWorkflow(), position);
  }
  if (inFlight_.empty()) return WorkProgress(WorkStatus(WorkResult::Success));
  return WorkProgress();
}

}  // namespace ombrix
