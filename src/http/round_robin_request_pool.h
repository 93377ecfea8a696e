// The request pool that reuses idle requests oldest-released first.
#pragma once

#include <deque>
#include <mutex>
#include <unordered_set>

#include "http/request_pool.h"

namespace ombrix::http {

// Idle requests wait in a first-in-first-out queue and are never queued twice. A
// request that refuses its Reset in Acquire (it is still running), or whose Reset
// throws, is forgotten.
// The pool does not bound its size. Thread-safe: every operation holds the pool's
// lock for its whole duration, including the Reset of the acquired request.
class RoundRobinRequestPool : public RequestPool {
 public:
  void Add(const std::shared_ptr<Request>& request, bool available) override;
  std::shared_ptr<Request> Acquire(const RequestOptions& options,
                                   std::shared_ptr<Proxy> proxy) override;
  void Release(const std::shared_ptr<Request>& request) override;

  // For inspection: the number of members and of idle requests.
  std::size_t MemberCount();
  std::size_t IdleCount();

 private:
  void Enqueue(const std::shared_ptr<Request>& request);

  std::recursive_mutex lock_;
  std::unordered_set<std::shared_ptr<Request>> members_;  // guarded by lock_
  std::unordered_set<std::shared_ptr<Request>> idleSet_;  // guarded by lock_
  std::deque<std::shared_ptr<Request>> idle_;             // guarded by lock_
};

}  // namespace ombrix::http
