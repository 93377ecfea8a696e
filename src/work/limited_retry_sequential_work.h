// A sequence retried as a whole, a bounded number of times, when a child fails.
#pragma once

#include "work/sequential_work.h"

namespace ombrix {

// A sequence that starts again from its first child when a child reports Failure,
// at most maxRetries times. The budget survives restarts and is refilled only by a
// Reset from outside (a parent's Reset). When the budget is spent, RetryableError
// with retry false (carrying the failed child's data) is delivered upward and the
// sequence restarts anyway, so its first child is already queued when the workflow
// is told to retry.
class LimitedRetrySequentialWork : public SequentialWork {
 public:
  explicit LimitedRetrySequentialWork(unsigned maxRetries)
      : LimitedRetrySequentialWork(nullptr, maxRetries) {}
  LimitedRetrySequentialWork(WorkCompleteCallback* callback, unsigned maxRetries)
      : SequentialWork(callback, 2), maxRetries(maxRetries) {}

  bool ShouldRetry() override;
  // Refills the budget, then the sequential reset.
  void Reset() override;
  WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                               const WorkStatus& status) override;
  // The sequential reset only (keeping the budget), then queued again.
  void Restart() override;

  unsigned GetRetryCount() const;

 private:
  const unsigned maxRetries;
  unsigned retryCount = 0;  // guarded by Mutex()
};

}  // namespace ombrix
