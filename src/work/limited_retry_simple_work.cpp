#include "work/limited_retry_simple_work.h"

namespace ombrix {

bool LimitedRetrySimpleWork::ShouldRetry() {
  if (retryCount.load() >= maxRetries) return false;
  retryCount.fetch_add(1);
  return true;
}

void LimitedRetrySimpleWork::Reset() {
  stopRequested.exchange(false);
  retryCount.store(0);
}

}  // namespace ombrix
