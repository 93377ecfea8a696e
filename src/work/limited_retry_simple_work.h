// A leaf that retries its task in place a bounded number of times.
#pragma once

#include <atomic>

#include "work/simple_work.h"

namespace ombrix {

// A leaf whose task is attempted at most maxRetries + 1 times per run. The budget
// is renewed by Reset, which the workflow calls each time it queues the leaf.
class LimitedRetrySimpleWork : public SimpleWork {
 public:
  explicit LimitedRetrySimpleWork(unsigned maxRetries) : maxRetries(maxRetries) {}
  LimitedRetrySimpleWork(WorkCompleteCallback* callback, unsigned maxRetries)
      : SimpleWork(callback), maxRetries(maxRetries) {}

  // Counts one retry and answers true while the budget lasts.
  bool ShouldRetry() override;
  void Reset() override;

  unsigned GetRetryCount() const { return retryCount.load(); }

 protected:
  const unsigned maxRetries;
  std::atomic<unsigned> retryCount{0};
};

}  // namespace ombrix
