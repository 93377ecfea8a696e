// The leaf that downloads one chunk from a node the selector chooses.
#pragma once

#include <memory>
#include <mutex>

#include "http/request.h"
#include "work/limited_retry_simple_work.h"
#include "workflow/optimized_request_params.h"
#include "workflow/transfer_work.h"

namespace ombrix {

// One attempt asks the selector for a node and limits, requests the chunk's range
// from it straight into the chunk's map, and accounts the outcome in the node's
// statistics (always) and in the selector (for Success and RetryableError only).
// Results: Complete is Success, Cancelled Interrupted, network, server, client and
// range failures RetryableError, a full disk RetryableError (InsufficientSpace)
// without an inline retry,
// any other write failure, OutOfMemory and anything unexpected Error. A failed
// node leaves the candidates until every node was tried in this pass.
//
// Retries: maxRetries counted retries per run; an attempt that timed out while the
// shared timeouts can still grow, or one made on a node chosen for exploration, is
// retried without counting — at most maxRetries + 1 times per run, so a chunk that
// always times out still ends. Reset renews both budgets and keeps the candidates.
//
// Thread-safety: ExecuteTask runs on one thread at a time; Interrupt may run
// concurrently from the workflow's thread and only touches currentRequest under
// requestLock.
class OptimizedRequestChunkWork : public TransferWork, public LimitedRetrySimpleWork {
 public:
  OptimizedRequestChunkWork(std::shared_ptr<TransferWorkInterface> transfer,
                            std::shared_ptr<TransferSharedMapData> chunk, unsigned maxRetries);

  void Describe(boost::property_tree::ptree& tree) const override;
  bool ShouldRetry() override;
  void Reset() override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override;

  // Attempts retried without counting in this run.
  unsigned GetFreeRetryCount() const { return freeRetryCount; }

 private:
  WorkStatus Attempt(const std::shared_ptr<file::MemoryMappedData>& map);
  void SetCurrentRequest(std::shared_ptr<http::Request> request);

  const std::shared_ptr<TransferSharedMapData> chunk;
  OptimizedRequestParams params;
  std::mutex requestLock;
  std::shared_ptr<http::Request> currentRequest;  // guarded by requestLock
  unsigned freeRetryCount = 0;                     // touched by the running thread only
  bool diskFull = false;                           // the last attempt found the disk full
};

}  // namespace ombrix
