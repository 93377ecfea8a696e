#include "work/limited_retry_sequential_work.h"

namespace ombrix {

bool LimitedRetrySequentialWork::ShouldRetry() {
  std::lock_guard lock(Mutex());
  if (retryCount >= maxRetries) return false;
  ++retryCount;
  return true;
}

void LimitedRetrySequentialWork::Reset() {
  std::lock_guard lock(Mutex());
  retryCount = 0;
  SequentialWork::Reset();
}

WorkProgress LimitedRetrySequentialWork::OnChildComplete(const std::shared_ptr<Work>& child,
                                                         const WorkStatus& status) {
  if (status.result == WorkResult::Failure) {
    return WorkProgress(WorkStatus(WorkResult::RetryableError, status.data));
  }
  return SequentialWork::OnChildComplete(child, status);
}

void LimitedRetrySequentialWork::Restart() {
  std::lock_guard lock(Mutex());
  SequentialWork::Reset();
  if (const auto workflow = GetWorkflow()) QueueAvailableWork(workflow);
}

unsigned LimitedRetrySequentialWork::GetRetryCount() const {
  std::lock_guard lock(Mutex());
  return retryCount;
}

}  // namespace ombrix
